#include "fetch/http_fetch.h"
#include "tests/win/test_support.h"

#include <gtest/gtest.h>

#include <string>

TEST(HttpFetch, PagesArriveWholeOrCutAtTheLimitAndFailuresLeaveNothing)
{
    const char* const grid =
        "/program/gridNormal.php?frame=off&tikicd=0002&way=h&genre=all&hour_select=6&s_jikan=190000";
    constexpr size_t Whole = SIZE_MAX; // the grid page from "<" to "</html>"
    const struct { const char* Fault; bool Ok; size_t Length; } cases[] = {
        {"", true, Whole},
        {"/size?n=1000001", true, 1000001}, // exactly fills the buffer
        {"/size?n=3000000", true, 1000001},
        {"?close_rate=1", true, 0}, // closed before the answer: an empty page
        {"?error500_rate=1", false, 0},
        {"?cut_rate=1", false, 0},
        {"?reset_rate=1", false, 0},
        {nullptr, false, 0}, // a refused connection
    };
    for (const auto& c : cases) {
        ResetSimulator();
        const std::string name = c.Fault ? c.Fault : "refused";
        if (c.Fault)
            SimulatorGet("/_control" + name);
        char* page = nullptr;
        size_t length = 0;
        const bool ok = FetchPage(c.Fault ? SimulatorHost().c_str() : "127.0.0.1:1", grid, &page, &length);
        // Depending on its moment a reset fails or brings an empty page; callers take both as no page.
        if (name == "?reset_rate=1")
            EXPECT_TRUE(!ok || length == 0);
        else
            EXPECT_EQ(ok, c.Ok) << name;
        if (ok) {
            const std::string body(page, length);
            EXPECT_EQ(page[length] | page[PageBufferSize - 1], 0) << name;
            if (c.Length == Whole)
                EXPECT_TRUE(body.rfind("<", 0) == 0 && body.ends_with("</html>\n") && length > 1000) << length;
            else
                EXPECT_EQ(length, c.Length) << name;
            ReleasePage(page);
        }
        EXPECT_EQ(LivePageCount(), 0) << name;
    }
    ResetSimulator();
}
