// Whole retrievals, with one connection and with four, from a site that misbehaves: slow, dropping
// connections, failing, cutting answers short, empty or huge grids, broken details, going away.
#include "fetch/http_fetch.h"
#include "tests/win/test_support.h"

namespace {

template <size_t N> bool Ends(const char (&field)[N]) { return std::memchr(field, '\0', N) != nullptr; }

// A text as the list view gives it back: it keeps UTF-16, so byte pairs that
// code page 932 leaves unassigned come back as its default character.
std::string AsShown(const char* text) { return FromWide(ToWide(text).c_str()); }

} // namespace

TEST(Fault, RetrievalSurvivesEachSiteFaultWithOneAndFourConnections)
{
    // Before: faults from the start. Moment: the records that exist then are noted, to be found unchanged at the
    // end. Then: more faults at that moment, or "stop" to press the stop button. PagesAreTrue: only delays or
    // retries, so every record with its page equals the site's. MostPagesArrive: three attempts per page get
    // nearly all through. AllLinksTaken: every link of the terrestrial grid gives its record.
    struct FaultCase { const char *Name, *Before, *Then; int Moment, BoundMilliseconds; bool WithBS, PagesAreTrue,
        MostPagesArrive, AllLinksTaken; };
    const FaultCase cases[] = {
        {"latency 200 ms", "latency_ms=200", "stop", 8, 60000, false, true, true, false},
        {"30 % closed before the answer", "close_rate=0.3&fault_seed=11", "", 3, 90000, false, true, true, true},
        {"30 % reset", "reset_rate=0.3&fault_seed=12", "", 3, 90000, false, true, true, true},
        {"30 % HTTP 500", "error500_rate=0.3&fault_seed=13", "", 3, 90000, false, true, true, true},
        {"30 % cut short", "cut_rate=0.3&fault_seed=14", "", 3, 90000, false, true, true, true},
        {"grids without links from the middle on", "latency_ms=30", "empty_grids=1", 3, 60000, true, true, true, true},
        {"grids of 3 MB", "huge=1", "", 3, 60000, false, true, true, true},
        {"every detail page malformed", "malformed=1&fault_seed=15", "", 3, 60000, false, false, false, true},
        {"over-long detail fields", "malformed=long_texts", "", 3, 60000, false, false, false, true},
        {"half the detail pages malformed", "malformed=0.5&fault_seed=16", "", 3, 60000, false, false, false, true},
        {"invalid EUC-JP bytes", "invalid_euc=1", "", 3, 60000, false, false, false, true},
        {"site stopped before the start", "down_ms=2000", "", 3, 60000, false, true, true, true},
        // Detail pages get their three attempts right after each other, so
        // those asked for while the site is away stay empty.
        {"site stopped in the middle", "latency_ms=40", "down_ms=1500", 5, 60000, false, true, false, true}};
    auto simulatorUp = [] { return PumpUntil([] { return !SimulatorGet("/_stats").empty(); }, 10000); };
    const auto truth = SimulatorGridTruth({GridPath("0002")});
    ASSERT_GT(truth.size(), 20u) << "the site knows the evening's programmes";
    const int pagesBefore = LivePageCount();

    // One retrieval; a failed ASSERT returns here and the cleanup below still runs.
    auto runCase = [&](const FaultCase& c, int connections) {
        const std::string where = std::string(c.Name) + ", " + std::to_string(connections) + " connection(s)";
        ResetSimulator();
        SimulatorGet(std::string("/_control?") + c.Before);
        const DWORD started = GetTickCount();
        StartTokyoEvening(std::string("[section1]\r\nchaeck=1\r\nCS=0\r\nBS=") + (c.WithBS ? "1" : "0"), connections);
        HWND progress = ProgressWnd;
        ASSERT_TRUE(IsWindow(progress) && DetailConnections == connections) << where;

        PumpUntil([&] { return ProgrammeCount >= c.Moment || !RetrievalRunning; }, c.BoundMilliseconds);
        std::vector<std::string> noted;
        for (int i = 0; i < ProgrammeCount; ++i)
            noted.push_back(ProgrammeList[i].Title);
        ASSERT_TRUE(RetrievalRunning || !*c.Then) << where << ": ended before the moment for " << c.Then;
        if (std::string(c.Then) == "stop") {
            SendMessageW(progress, WM_COMMAND, IDC_ABORT, 0);
            const DWORD pressed = GetTickCount();
            ASSERT_TRUE(WaitForRetrieval(10000)) << where;
            // Far less than the pages still due would take; a busy machine may be slow to schedule.
            EXPECT_LT(GetTickCount() - pressed, 5000u) << where << ": ends at the press, not after the pages";
        } else {
            SimulatorGet(std::string("/_control?") + c.Then);
            ASSERT_TRUE(WaitForRetrieval(c.BoundMilliseconds - static_cast<int>(GetTickCount() - started)))
                << where << ": still running after " << c.BoundMilliseconds << " ms";
        }
        PumpFor(20);
        EXPECT_FALSE(IsWindow(progress) || AbortFlag) << where << ": the progress window is gone";
        EXPECT_EQ(LivePageCount(), pagesBefore) << where << ": every page buffer was released";
        ASSERT_TRUE(ListRowCount(MainListView) == ProgrammeCount && int(noted.size()) <= ProgrammeCount &&
                    ProgrammeCount <= int(truth.size())) << where << ": rows, records lost or too many";
        // Whatever the fault, the grids list the same links, so record i is the site's i-th; row i shows it
        // unchanged since it was noted, and no text runs past its field.
        int withPage = 0;
        for (int i = 0, wrong = 0; i < ProgrammeCount && wrong < 5; ++i) {
            const TELOMI& r = ProgrammeList[i];
            bool right = Ends(r.Title) && Ends(r.Subtitle) && Ends(r.Station) && Ends(r.Performers) && Ends(r.Other) &&
                         Ends(r.DateText) && Ends(r.StartText) && Ends(r.EndText) && Ends(r.DetailPath);
            const char* texts[] = {r.Title, r.Subtitle, r.Station, r.DateText, r.StartText, r.EndText, r.Performers, r.Other};
            for (int column = 0; right && column < 8; ++column)
                right = ListText(MainListView, i, column) == AsShown(texts[column]);
            const std::vector<std::string> fields = right ? RecordFields(r) : std::vector<std::string>(12);
            const bool gotPage = std::any_of(fields.begin() + 1, fields.end(), [](auto& f) { return !f.empty() && f != "0"; });
            withPage += gotPage;
            right = right && ListItemData(MainListView, i) == i && (i >= int(noted.size()) || noted[i] == r.Title) &&
                    truth[i][0] == fields[0] && !(c.PagesAreTrue && gotPage && fields != truth[i]);
            if (!right && ++wrong)
                ADD_FAILURE() << where << ": record " << i << " is not the site's " << truth[i][0] << " as its row shows";
        }
        if (c.AllLinksTaken)
            EXPECT_EQ(ProgrammeCount, static_cast<int>(truth.size())) << where << ": every link gave a record";
        // Without the three attempts, 30 % of the pages would stay empty; with them nearly none do,
        // though which requests fail depends on how the connections interleave.
        if (c.MostPagesArrive)
            EXPECT_GT(withPage, ProgrammeCount * 4 / 5) << where << ": most detail pages arrived in the end";
        ASSERT_TRUE(simulatorUp()) << where;
        if (c.WithBS)
            EXPECT_EQ(std::ranges::count(SimulatorLog(), GridPath("3001")), 4) << where << ": four empty BS grids";
    };

    for (const FaultCase& c : cases) {
        for (int connections : {1, 4}) {
            runCase(c, connections);
            simulatorUp();
            CloseMainWindow(); // stops a retrieval that a failed check left running
        }
    }
}
