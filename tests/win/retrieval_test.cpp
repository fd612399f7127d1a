// Whole retrievals through the main window against the simulator, with one and with several detail connections.
#include "fetch/choices.h"
#include "fetch/progress_window.h"
#include "tests/win/test_support.h"

namespace {

const std::string Tokyo = GridPath("0002"), Bs = GridPath("3001"), Cs = GridPath("3003");
const std::vector<std::string> CsPages = {Cs + "&page=1", Cs + "&page=2", Cs + "&page=3"};
const std::string Ticked = std::to_string(INDEXTOSTATEIMAGEMASK(2));

// The list view's rows: eight texts, the item data and the tick of each.
std::vector<std::vector<std::string>> Rows()
{
    std::vector<std::vector<std::string>> rows(ListRowCount(MainListView));
    for (int row = 0; row < int(rows.size()); ++row) {
        for (int column = 0; column < 8; ++column)
            rows[row].push_back(ListText(MainListView, row, column));
        rows[row].push_back(std::to_string(ListItemData(MainListView, row)));
        rows[row].push_back(std::to_string(SendMessageW(MainListView, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK)));
    }
    return rows;
}

// Checks that the records are `truth`, or with `whole` false its first ones, and each has its row.
void ExpectRecordsOfTruth(const std::vector<std::vector<std::string>>& truth, const std::string& what, bool whole = true)
{
    ASSERT_TRUE(whole ? ProgrammeCount == int(truth.size()) : ProgrammeCount <= int(truth.size())) << what;
    ASSERT_EQ(ListRowCount(MainListView), ProgrammeCount) << what;
    for (int i = 0, mismatches = 0; i < ProgrammeCount && mismatches < 5; ++i) {
        const TELOMI& record = ProgrammeList[i];
        if (RecordFields(record) != truth[i] || ListItemData(MainListView, i) != i ||
            ListText(MainListView, i, 0) != record.Title || ListText(MainListView, i, 3) != record.DateText) {
            ++mismatches;
            ADD_FAILURE() << what << ": record or row " << i << " is not the site's " << truth[i][0];
        }
    }
}

// Watches the list view: when it first shows more rows than before (a paint,
// or being let draw again, which counts rows below the visible part in its
// scroll bar), and how often it paints.
WNDPROC ListProc;
int RowsShown, Paints, NewRowShows;

LRESULT CALLBACK WatchingListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Paints += message == WM_PAINT;
    if (message == WM_PAINT || (message == WM_SETREDRAW && wParam)) {
        const int rows = static_cast<int>(CallWindowProcW(ListProc, window, LVM_GETITEMCOUNT, 0, 0));
        NewRowShows += rows > RowsShown;
        RowsShown = std::max(rows, RowsShown);
    }
    return CallWindowProcW(ListProc, window, message, wParam, lParam);
}

void WatchList()
{
    RowsShown = Paints = NewRowShows = 0;
    ListProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(MainListView, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchingListProc)));
}

} // namespace

// The grids asked for follow the satellite settings; four empty grid pages in a row move on to the next
// address. The records are the site's in grid order, every row ends ticked, one and four connections give the
// same rows, and with several connections no more pages are fetched at once than there are.
TEST(Retrieval, GridsFollowTheSettingsAndGiveTheSiteRecordsInGridOrder)
{
    // Latency, so that fetches overlap and finish out of order; 60 ms keeps them open long enough to overlap.
    const struct { const char* Settings; int Connections; const char* Fault; std::vector<std::string> Grids; } cases[] = {
        {"BS=1\r\nCS=1\r\nchaeck=1", 1, "latency_ms=5", {Tokyo, Bs, CsPages[0], CsPages[1], CsPages[2]}},
        {"BS=1\r\nCS=1\r\nchaeck=1", 4, "latency_ms=5", {Tokyo, Bs, CsPages[0], CsPages[1], CsPages[2]}},
        {"BS=0\r\nCS=0", 2, "latency_ms=60", {Tokyo}}, {"BS=1\r\nCS=0", 4, "latency_ms=60", {Tokyo, Bs}},
        {"BS=0\r\nCS=1", 4, "", {Tokyo, CsPages[0], CsPages[1], CsPages[2]}},
        {"BS=1\r\nCS=0", 4, "empty_grids=1", {Tokyo, Tokyo, Tokyo, Tokyo, Bs}}};
    std::vector<std::vector<std::string>> rows[2];
    for (const auto& c : cases) {
        const std::string where = std::string(c.Settings) + ", " + c.Fault + ", " + std::to_string(c.Connections);
        ResetSimulator();
        SimulatorGet("/_stats/clear");
        const bool empty = std::string(c.Fault) == "empty_grids=1";
        const auto truth = empty ? decltype(Rows()){} : SimulatorGridTruth(c.Grids);
        SimulatorGet(std::string("/_control?") + c.Fault);
        StartTokyoEvening(std::string("[section1]\r\n") + c.Settings, c.Connections);
        ASSERT_TRUE(WaitForRetrieval(120000)) << where;
        auto grids = SimulatorLog();
        std::erase_if(grids, [](const std::string& path) { return path.rfind("/program/gridNormal.php", 0) != 0; });
        EXPECT_EQ(grids, c.Grids) << where;
        ExpectRecordsOfTruth(truth, where);
        EXPECT_FALSE(IsWindow(ProgressWnd)) << where;
        EXPECT_TRUE(Boxes.empty()) << where;
        for (const auto& row : Rows())
            ASSERT_EQ(row[9], Ticked) << where << ": every row ticked at the end";
        if (c.Grids.size() == 5 && !empty) // the two with both satellites
            rows[c.Connections == 4] = Rows();
        const long long most = SimulatorNumber("/_stats", "max_in_flight"); // grid and detail pages at once
        if (std::string(c.Fault) == "latency_ms=60")
            EXPECT_TRUE(most <= c.Connections && most >= 2) << where << ": " << most << " fetches at once";
        CloseMainWindow();
    }
    EXPECT_EQ(rows[1], rows[0]) << "the same rows in the same order";
}

// A second press while one runs, also with other choices, changes nothing; the stop keeps what was read.
TEST(Retrieval, StopKeepsAnUnbrokenPrefixAndEndsAtThePress)
{
    SimulatorGet("/_control?latency_ms=100");
    const auto truth = SimulatorGridTruth({Tokyo, Bs});
    for (int k : {1, 4}) {
        StartTokyoEvening("[section1]\r\nBS=1\r\nCS=1\r\nchaeck=1", k);
        HWND progress = ProgressWnd;
        EXPECT_EQ(WindowText(progress), "状況");
        ASSERT_TRUE(PumpUntil([] { return ProgrammeCount >= 6; }, 30000));
        const int before = ProgrammeCount;
        SelectLabel(RegionCombo, "沖縄");
        SendMessageW(MainWnd, WM_COMMAND, IDC_FETCH, 0);
        EXPECT_TRUE(ProgressWnd == progress && ProgrammeCount >= before) << "a second retrieval or emptied rows";
        SendMessageW(progress, WM_COMMAND, IDC_ABORT, 0);
        EXPECT_STREQ(ProgressText, "中断中");
        const DWORD pressed = GetTickCount();
        ASSERT_TRUE(WaitForRetrieval(5000));
        // The pages still due take many seconds; a busy machine may be slow to schedule the end.
        EXPECT_LT(GetTickCount() - pressed, 5000u) << k << " connections";
        EXPECT_FALSE(IsWindow(progress) || AbortFlag);
        EXPECT_LT(ProgrammeCount, static_cast<int>(truth.size())) << "the stop came too late to test anything";
        ExpectRecordsOfTruth(truth, std::to_string(k) + " connections", false);
        for (const auto& row : Rows())
            EXPECT_EQ(row[9], Ticked) << "the end steps ran";
        PumpFor(100);
        for (const std::string& path : SimulatorLog())
            EXPECT_EQ(path.find("tikicd=0A01"), std::string::npos) << "a request for the second choice";
        CloseMainWindow();
    }
}

// Rows appear in batches while the retrieval runs, and the list is drawn even while no row arrives.
TEST(Retrieval, RowsAreShownInBatchesAndTheListIsDrawnWhileNoneArrives)
{
    for (int k : {1, 4}) {
        ResetSimulator();
        SimulatorGet("/_control?latency_ms=10");
        StartTokyoEvening("[section1]\r\nBS=1\r\nCS=0", k);
        WatchList();
        // Alt+F4 on the progress window: it adds the rows, so only the end steps may close it.
        SendMessageW(ProgressWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(IsWindow(ProgressWnd));
        ASSERT_TRUE(PumpUntil([] { return ProgrammeCount >= 3; }, 30000));
        // Every page for a while takes far longer than the test looks.
        SimulatorGet("/_control?latency_ms=4000");
        PumpFor(400);
        const int stalledAt = ProgrammeCount, paintsBefore = Paints;
        PumpFor(2500);
        EXPECT_EQ(ProgrammeCount, stalledAt) << "the stall came too late";
        // Not at all: a tick or sort made now would not be seen; an unchanged list need not be drawn five times a second.
        EXPECT_TRUE(Paints - paintsBefore >= 1 && Paints - paintsBefore <= 6) << Paints - paintsBefore << " paints";
        SimulatorGet("/_control?latency_ms=10");
        ASSERT_TRUE(WaitForRetrieval(120000));
        const int rows = ProgrammeCount;
        ASSERT_TRUE(rows > 100 && ListRowCount(MainListView) == rows);
        EXPECT_GE(NewRowShows, 2) << k << " connections: rows were shown before the end";
        EXPECT_LT(Paints, rows / 3) << "the list must not redraw for every row";
        // Afterwards the list draws as usual again: a new top row asks for a paint.
        PumpFor(50);
        ValidateRect(MainListView, nullptr);
        LVITEMW item = {LVIF_TEXT, 0, 0, 0, 0, const_cast<wchar_t*>(L"x")};
        SendMessageW(MainListView, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        EXPECT_TRUE(GetUpdateRect(MainListView, nullptr, FALSE)) << k << " connections";
        CloseMainWindow();
    }
}

// Stopped right after the first programme, or while the site holds a grid or detail request (for a minute:
// only closing it ends the wait), a retrieval ends at once and says nothing. Pressed again, the same choices
// give the same rows: the first link must not count as a repeat of the one seen before.
TEST(Retrieval, AStopEndsHungRequestsAndTheSameChoicesPressedAgainGiveTheSameRows)
{
    const auto truth = SimulatorGridTruth({Tokyo});
    for (const std::string hung : {"", "grid", "detail"}) {
        for (int k : {1, 4}) {
            const std::string where = (hung.empty() ? "first programme" : hung) + ", " + std::to_string(k) + " connections";
            ResetSimulator();
            SimulatorGet(hung.empty() ? "/_control?latency_ms=100" : "/_control?stall=" + hung);
            StartTokyoEvening("[section1]\r\nBS=0\r\nCS=0", k);
            HWND progress = ProgressWnd;
            if (hung.empty()) {
                ASSERT_TRUE(PumpUntil([] { return ProgrammeCount >= 1; }, 30000)) << where;
                StopRetrieval();
                ASSERT_TRUE(WaitForRetrieval(10000)) << where;
            } else {
                ASSERT_TRUE(PumpUntil([] { return SimulatorNumber("/_stats", "stalled_now") > 0; }, 10000)) << where;
                SendMessageW(progress, WM_COMMAND, IDC_ABORT, 0);
                ASSERT_TRUE(PumpUntil([&] { return !IsWindow(progress); }, 10000)) << where;
            }
            SimulatorGet(hung.empty() ? "/_control?latency_ms=0" : "/_control?stall=off");
            for (int press = 0; press < (hung.empty() ? 2 : 1); ++press) {
                SendMessageW(MainWnd, WM_COMMAND, IDC_FETCH, 0);
                EXPECT_TRUE(IsWindow(ProgressWnd)) << where << ": the new retrieval started";
                ASSERT_TRUE(WaitForRetrieval(60000)) << where;
                ExpectRecordsOfTruth(truth, where + ", pressed again " + std::to_string(press));
            }
            EXPECT_TRUE(Boxes.empty()) << where << ": a stopped retrieval reports nothing";
            CloseMainWindow();
        }
    }
}

// A grid of one programme: its link is the first and the last one seen, and
// the next press must take it again.
TEST(Retrieval, AOneProgrammeGridGivesItsProgrammeAtEveryPress)
{
    for (int genre = 0; genre < GenreChoiceCount - 1; ++genre) {
        for (int time = 0; time < TimeChoiceCount; ++time) {
            const std::string grid = std::string("/program/gridNormal.php?frame=off&tikicd=0002&way=h&genre=") +
                                     GenreChoices[genre].Code + "&hour_select=6&s_jikan=" + TimeChoices[time].Code;
            if (SimulatorGridTruth({grid}).size() != 1)
                continue;
            WriteSettingsFileWithSite("[section1]\r\nBS=0\r\nCS=0");
            StartMainWindow();
            SelectLabel(GenreCombo, GenreChoices[genre].Label);
            SelectLabel(TimeCombo, TimeChoices[time].Label);
            SelectLabel(RegionCombo, "東京");
            for (int press = 0; press < 2; ++press) {
                SendMessageW(MainWnd, WM_COMMAND, IDC_FETCH, 0);
                ASSERT_TRUE(WaitForRetrieval(60000));
                EXPECT_EQ(ProgrammeCount, 1) << grid << ", press " << press;
            }
            return;
        }
    }
    FAIL() << "the site has no grid of one programme today";
}

TEST(Retrieval, PagesThatNeverArriveAreGivenUpAndReportedOnce)
{
    const std::string box = "てろみや|受信できなかったページがあります。\n番組表: ";
    const auto tokyo = SimulatorGridTruth({Tokyo});
    SimulatorGet("/_control?fail_grids=tikicd%3D3001"); // the BS grid always fails
    StartTokyoEvening("[section1]\r\nBS=1\r\nCS=0");
    ASSERT_TRUE(WaitForRetrieval(60000)) << "the retrieval ends on its own";
    PumpFor(200);
    EXPECT_EQ(std::ranges::count(SimulatorLog(), Bs), 5);
    EXPECT_EQ(ProgrammeCount, static_cast<int>(tokyo.size()));
    EXPECT_EQ(Boxes, std::vector<std::string>{box + "1ページ\n番組の詳細: 0ページ"});
    CloseMainWindow();
    // Detail pages that never arrive keep their rows and are counted.
    ResetSimulator();
    SimulatorGet("/_control?fail_details=0.2&fault_seed=3");
    StartTokyoEvening("[section1]\r\nBS=0\r\nCS=0");
    ASSERT_TRUE(WaitForRetrieval(60000));
    PumpFor(200);
    int empty = 0;
    for (int i = 0; i < ProgrammeCount; ++i)
        empty += ProgrammeList[i].Month == 0;
    EXPECT_GT(empty, 0);
    EXPECT_EQ(ListRowCount(MainListView), ProgrammeCount);
    EXPECT_EQ(Boxes, std::vector<std::string>{box + "0ページ\n番組の詳細: " + std::to_string(empty) + "ページ"});
}

TEST(Retrieval, ClosingTheMainWindowMidRetrievalEndsTheProgramCleanly)
{
    // Auto in the settings starts a retrieval at start-up; the window is closed while pages arrive, and
    // while a detail page hangs.
    for (const char* faults : {"latency_ms=50", "stall=detail"}) {
        ResetSimulator();
        SimulatorGet(std::string("/_control?") + faults);
        WriteSettingsFileWithSite("[section1]\r\nAuto=1\r\nBS=1\r\nCS=1\r\n[section2]\r\nGenre=14\r\nTime=7", "Connections=4");
        static DWORD ClosedAt;
        static bool WasRunning;
        static int Ticks;
        Ticks = 0;
        // Closed a second after the start while the retrieval runs, else after ten.
        const int exitCode = RunProgram([](HWND, UINT, UINT_PTR timer, DWORD) {
            if (++Ticks < 10 || (!RetrievalRunning && Ticks < 100))
                return;
            KillTimer(nullptr, timer);
            ClosedAt = GetTickCount();
            WasRunning = RetrievalRunning;
            PostMessageW(FindWindowA("Main", nullptr), WM_CLOSE, 0, 0);
        }, 100);
        EXPECT_EQ(exitCode, 0) << faults;
        EXPECT_TRUE(WasRunning) << faults << ": closed while the retrieval ran (" << ProgrammeCount << " records)";
        EXPECT_FALSE(RetrievalRunning) << faults << ": the worker ended before the program";
        EXPECT_LT(GetTickCount() - ClosedAt, 10000u) << faults << ": a hung page does not hold the end";
        const int count = ProgrammeCount;
        PumpFor(300);
        EXPECT_EQ(ProgrammeCount, count) << faults << ": nothing writes records after the end";
    }
}
