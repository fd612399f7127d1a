#include "fetch/http_fetch.h"
#include "tests/win/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char* const Grid = "/program/gridNormal.php?frame=off&tikicd=0002&way=h&genre=all&hour_select=6&s_jikan=190000";

struct Outcome {
    bool Ok;
    size_t Length;
    bool ZeroAfter;
    std::string Head;
};

Outcome Fetch(const std::string& host, const char* path)
{
    char* page = nullptr;
    size_t length = 0;
    Outcome outcome{FetchPage(host.c_str(), path, &page, &length), 0, false, ""};
    if (outcome.Ok) {
        outcome.Length = length;
        outcome.ZeroAfter = page[length] == '\0' && page[PageBufferSize - 1] == '\0';
        outcome.Head.assign(page, length < 64 ? length : 64);
        ReleasePage(page);
    }
    return outcome;
}

} // namespace

TEST(HttpFetch, PagesArriveWholeOrCutAtTheLimitAndFailuresLeaveNothing)
{
    struct Case {
        const char* Name;
        const char* Control; // simulator fault setting, or null
        bool UseSimulator;
        bool Ok;
        size_t Length; // 0 with Ok: empty page; SIZE_MAX: not checked
    };
    const size_t any = static_cast<size_t>(-1);
    const Case cases[] = {
        {"a normal page arrives whole", nullptr, true, true, any},
        {"exactly the limit fills the buffer", "/_control/size?n=1000001", true, true, 1000001},
        {"a longer page is cut at the limit", "/_control/size?n=3000000", true, true, 1000001},
        {"a connection closed before the answer is an empty page", "/_control?close_rate=1", true, true, 0},
        {"a server error page is a failure", "/_control?error500_rate=1", true, false, 0},
        {"an answer cut short is a failure", "/_control?cut_rate=1", true, false, 0},
        // Depending on when the reset arrives the platform reports a failure or
        // an empty page; callers treat both as no page.
        {"a reset connection brings no page", "/_control?reset_rate=1", true, false, 0},
        {"a refused connection is a failure", nullptr, false, false, 0},
    };
    for (const Case& c : cases) {
        ResetSimulator();
        if (c.Control)
            SimulatorGet(c.Control);
        const std::string host = c.UseSimulator ? SimulatorHost() : "127.0.0.1:1";
        Outcome outcome = Fetch(host, Grid);
        const bool reset = c.Control && std::string(c.Control) == "/_control?reset_rate=1";
        if (c.Ok || !reset)
            EXPECT_EQ(outcome.Ok, c.Ok) << c.Name;
        else
            EXPECT_TRUE(!outcome.Ok || outcome.Length == 0) << c.Name;
        EXPECT_EQ(LivePageCount(), 0) << c.Name;
        if (!c.Ok || !outcome.Ok)
            continue;
        EXPECT_TRUE(outcome.ZeroAfter) << c.Name;
        if (c.Length != any)
            EXPECT_EQ(outcome.Length, c.Length) << c.Name;
        else
            EXPECT_EQ(outcome.Head.rfind("<", 0), 0u) << c.Name << ": " << outcome.Head;
    }
    ResetSimulator();
    // The whole normal page: as long as the simulator says.
    std::string direct = SimulatorGet(Grid);
    EXPECT_GT(direct.size(), 1000u);
    EXPECT_NE(direct.find("/genre/detail.php3?"), std::string::npos);
}
