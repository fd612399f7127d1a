// Fetching one page: whole, cut at the buffer's size, or nothing on a failure.
#include "fetch/http_fetch.h"
#include "tests/win/test_support.h"

TEST(HttpFetch, PagesArriveWholeOrCutAtTheLimitAndFailuresLeaveNothing)
{
    constexpr size_t Whole = SIZE_MAX; // the grid page from "<" to "</html>"
    const struct { const char* Fault; bool Ok; size_t Length; } cases[] = {
        // 1000001 bytes exactly fill the buffer; a connection closed before the answer gives an empty page;
        // no fault text: a refused connection.
        {"", true, Whole}, {"/size?n=1000001", true, 1000001}, {"/size?n=3000000", true, 1000001},
        {"?close_rate=1", true, 0}, {"?error500_rate=1", false, 0}, {"?cut_rate=1", false, 0}, {nullptr, false, 0}};
    for (const auto& c : cases) {
        ResetSimulator();
        const std::string name = c.Fault ? c.Fault : "refused";
        SimulatorGet(std::string("/_control") + (c.Fault ? c.Fault : "?"));
        char* page = nullptr;
        size_t length = 0;
        const bool ok = FetchPage(c.Fault ? SimulatorHost().c_str() : "127.0.0.1:1", GridPath("0002").c_str(), &page, &length);
        EXPECT_EQ(ok, c.Ok) << name;
        if (ok) {
            EXPECT_EQ(page[length] | page[PageBufferSize - 1], 0) << name;
            if (c.Length == Whole)
                EXPECT_TRUE(page[0] == '<' && std::string(page, length).ends_with("</html>\n") && length > 1000) << length;
            else
                EXPECT_EQ(length, c.Length) << name;
            ReleasePage(page);
        }
        EXPECT_EQ(LivePageCount(), 0) << name;
    }
}
