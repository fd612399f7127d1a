// Whole retrievals through the main window against the simulator, with one
// and with several detail connections.
#include "app/app_state.h"
#include "fetch/progress_window.h"
#include "res/resource.h"
#include "tests/win/test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Grid(const char* region)
{
    return std::string("/program/gridNormal.php?frame=off&tikicd=") + region +
           "&way=h&genre=all&hour_select=6&s_jikan=190000";
}
const std::string Tokyo = Grid("0002"), Bs = Grid("3001"), Cs = Grid("3003");

void StartTokyoEvening(const std::string& settings, int connections = 4)
{
    WriteSettingsFileWithSite(settings, "Connections=" + std::to_string(connections));
    StartMainWindow();
    ChooseTokyoEvening();
    EmptyPageCount = 0;
    SendMessageA(MainWnd, WM_COMMAND, IDC_FETCH, 0);
}

// The simulator's records of these grid pages, one after the other.
std::vector<std::vector<std::string>> Truth(const std::vector<std::string>& grids)
{
    std::vector<std::vector<std::string>> truth;
    for (const std::string& grid : grids) {
        const auto part = SimulatorGridTruth(grid);
        EXPECT_FALSE(part.empty()) << grid;
        truth.insert(truth.end(), part.begin(), part.end());
    }
    return truth;
}

// The list view's rows: eight texts, the item data and the tick of each.
std::vector<std::vector<std::string>> Rows()
{
    std::vector<std::vector<std::string>> rows;
    for (int row = 0; row < ListRowCount(MainListView); ++row) {
        std::vector<std::string> texts;
        for (int column = 0; column < 8; ++column)
            texts.push_back(ListText(MainListView, row, column));
        texts.push_back(std::to_string(ListItemData(MainListView, row)));
        texts.push_back(std::to_string(SendMessageA(MainListView, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK)));
        rows.push_back(texts);
    }
    return rows;
}

// Checks that the records are the first ones of `truth` and each has its row.
void ExpectPrefixOfTruth(const std::vector<std::vector<std::string>>& truth, const char* what)
{
    ASSERT_LE(ProgrammeCount, static_cast<int>(truth.size())) << what;
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
int RowsShown, Paints;
std::vector<DWORD> NewRowShows;

LRESULT CALLBACK WatchingListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Paints += message == WM_PAINT;
    if (message == WM_PAINT || (message == WM_SETREDRAW && wParam)) {
        const int rows = static_cast<int>(CallWindowProcA(ListProc, window, LVM_GETITEMCOUNT, 0, 0));
        if (rows > RowsShown) {
            RowsShown = rows;
            NewRowShows.push_back(GetTickCount());
        }
    }
    return CallWindowProcA(ListProc, window, message, wParam, lParam);
}

void WatchList()
{
    RowsShown = Paints = 0;
    NewRowShows.clear();
    ListProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(MainListView, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchingListProc)));
}

void Finish()
{
    CloseMainWindow();
    ResetSimulator();
    RemoveSettingsFile();
}

} // namespace

TEST(Retrieval, OneAndFourConnectionsGiveTheSiteRecordsAndRowsInGridOrder)
{
    ResetSimulator();
    // A little latency, so that fetches overlap and finish out of order.
    SimulatorGet("/_control?latency_ms=5");
    const auto truth = Truth({Tokyo, Bs, Cs + "&page=1", Cs + "&page=2", Cs + "&page=3"});
    std::vector<std::vector<std::string>> rows[2];
    for (int k : {1, 4}) {
        StartTokyoEvening("[section1]\r\nBS=1\r\nCS=1\r\nchaeck=1", k);
        ASSERT_TRUE(WaitForRetrieval(120000));
        EXPECT_EQ(ProgrammeCount, static_cast<int>(truth.size())) << k << " connections";
        ExpectPrefixOfTruth(truth, k == 1 ? "one connection" : "four connections");
        EXPECT_FALSE(IsWindow(ProgressWnd));
        rows[k == 4] = Rows();
        for (const auto& row : rows[k == 4])
            ASSERT_EQ(row[9], std::to_string(INDEXTOSTATEIMAGEMASK(2))) << "every row ticked at the end";
        CloseMainWindow();
    }
    EXPECT_EQ(rows[1], rows[0]) << "the same rows in the same order";
    Finish();
}

TEST(Retrieval, PassesFollowTheSatelliteSettings)
{
    struct Case {
        const char* Settings;
        std::vector<std::string> Grids;
    };
    const Case cases[] = {
        {"[section1]\r\nBS=0\r\nCS=0", {Tokyo}},
        {"[section1]\r\nBS=1\r\nCS=0", {Tokyo, Bs}},
        {"[section1]\r\nBS=0\r\nCS=1", {Tokyo, Cs + "&page=1", Cs + "&page=2", Cs + "&page=3"}},
        {"[section1]\r\nBS=1\r\nCS=1", {Tokyo, Bs, Cs + "&page=1", Cs + "&page=2", Cs + "&page=3"}},
    };
    for (const Case& test : cases) {
        ResetSimulator();
        StartTokyoEvening(test.Settings);
        ASSERT_TRUE(WaitForRetrieval(120000)) << test.Settings;
        std::vector<std::string> grids;
        for (const std::string& path : SimulatorLog())
            if (path.rfind("/program/gridNormal.php", 0) == 0)
                grids.push_back(path);
        EXPECT_EQ(grids, test.Grids) << test.Settings;
        CloseMainWindow();
    }
    RemoveSettingsFile();
}

TEST(Retrieval, FourEmptyPagesMoveOnAndTheNextAddressAfterOne)
{
    ResetSimulator();
    SimulatorGet("/_control?empty_grids=1");
    StartTokyoEvening("[section1]\r\nBS=1\r\nCS=0");
    ASSERT_TRUE(WaitForRetrieval(60000));
    EXPECT_EQ(SimulatorLog(), (std::vector<std::string>{Tokyo, Tokyo, Tokyo, Tokyo, Bs}));
    EXPECT_EQ(ProgrammeCount, 0);
    EXPECT_FALSE(IsWindow(ProgressWnd));
    Finish();
}

TEST(Retrieval, StopKeepsAnUnbrokenPrefixAndEndsWithinHalfASecond)
{
    ResetSimulator();
    SimulatorGet("/_control?latency_ms=100");
    const auto truth = Truth({Tokyo, Bs});
    for (int k : {1, 4}) {
        StartTokyoEvening("[section1]\r\nBS=1\r\nCS=1\r\nchaeck=1", k);
        HWND progress = ProgressWnd;
        char title[64] = {};
        GetWindowTextA(progress, title, sizeof title);
        EXPECT_STREQ(title, "状況");
        ASSERT_TRUE(PumpUntil([] { return ProgrammeCount >= 6; }, 30000));

        SendMessageA(progress, WM_COMMAND, IDC_ABORT, 0);
        EXPECT_STREQ(ProgressText, "中断中");
        const DWORD pressed = GetTickCount();
        ASSERT_TRUE(WaitForRetrieval(5000));
        EXPECT_LT(GetTickCount() - pressed, 500u) << k << " connections";
        EXPECT_FALSE(IsWindow(progress));
        EXPECT_FALSE(AbortFlag);
        EXPECT_LT(ProgrammeCount, static_cast<int>(truth.size())) << "the stop came too late to test anything";
        ExpectPrefixOfTruth(truth, k == 1 ? "one connection" : "four connections");
        for (const auto& row : Rows())
            EXPECT_EQ(row[9], std::to_string(INDEXTOSTATEIMAGEMASK(2))) << "the end steps ran";
        CloseMainWindow();
    }
    Finish();
}

TEST(Retrieval, NeverMoreFetchesAtOnceThanConnections)
{
    ResetSimulator();
    // Latency keeps each fetch open long enough for the fetches to overlap.
    SimulatorGet("/_control?latency_ms=60");
    for (int k : {2, 4}) {
        SimulatorGet("/_stats/clear");
        StartTokyoEvening("[section1]\r\nBS=0\r\nCS=0", k);
        ASSERT_TRUE(WaitForRetrieval(60000));
        EXPECT_GT(ProgrammeCount, 50);
        CloseMainWindow();
        const long long most = SimulatorNumber("/_stats", "max_in_flight");
        EXPECT_LE(most, k) << "grid and detail pages at once with " << k << " connections";
        EXPECT_GE(most, 2) << "the detail pages were fetched one at a time with " << k << " connections";
    }
    Finish();
}

TEST(Retrieval, ASecondPressWhileRunningChangesNothing)
{
    ResetSimulator();
    SimulatorGet("/_control?latency_ms=50");
    StartTokyoEvening("[section1]\r\nBS=0\r\nCS=0");
    HWND progress = ProgressWnd;
    ASSERT_TRUE(PumpUntil([] { return ProgrammeCount >= 2; }, 30000));
    const int before = ProgrammeCount;
    SelectLabel(RegionCombo, "沖縄");
    SendMessageA(MainWnd, WM_COMMAND, IDC_FETCH, 0);
    EXPECT_EQ(ProgressWnd, progress) << "no second progress window";
    EXPECT_GE(ProgrammeCount, before) << "nothing was emptied";
    ASSERT_TRUE(WaitForRetrieval(120000));
    for (const std::string& path : SimulatorLog())
        EXPECT_EQ(path.find("tikicd=0A01"), std::string::npos) << "no request for the second choice";
    Finish();
}

TEST(Retrieval, AutoInTheSettingsStartsARetrievalDuringCreation)
{
    ResetSimulator();
    WriteSettingsFile("[section1]\r\nAuto=1\r\nBS=0\r\nCS=0\r\n[section2]\r\nGenre=14");
    StartMainWindow();
    EXPECT_TRUE(RetrievalRunning || ProgrammeCount > 0);
    ASSERT_TRUE(WaitForRetrieval(120000));
    EXPECT_GT(ProgrammeCount, 0);
    EXPECT_EQ(ListRowCount(MainListView), ProgrammeCount);
    Finish();
}

TEST(Retrieval, RowsAreShownInBatchesWhileTheRetrievalRuns)
{
    ResetSimulator();
    SimulatorGet("/_control?latency_ms=10");
    for (int k : {1, 4}) {
        StartTokyoEvening("[section1]\r\nBS=1\r\nCS=0", k);
        WatchList();
        // Alt+F4 on the progress window: it adds the rows, so only the end steps may close it.
        SendMessageA(ProgressWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(IsWindow(ProgressWnd));
        ASSERT_TRUE(WaitForRetrieval(120000));
        const int rows = ProgrammeCount;
        ASSERT_GT(rows, 100);
        ASSERT_EQ(ListRowCount(MainListView), rows);
        EXPECT_GE(NewRowShows.size(), 2u) << k << " connections: rows were shown before the end";
        EXPECT_LT(Paints, rows / 3) << "the list must not redraw for every row";

        // Afterwards the list draws as usual again: a new top row asks for a paint.
        PumpFor(50);
        ValidateRect(MainListView, nullptr);
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.pszText = const_cast<char*>("x");
        SendMessageA(MainListView, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        EXPECT_TRUE(GetUpdateRect(MainListView, nullptr, FALSE)) << k << " connections";
        CloseMainWindow();
    }
    Finish();
}

TEST(Retrieval, WhileNoRowArrivesTheListIsStillDrawnEverySecond)
{
    ResetSimulator();
    SimulatorGet("/_control?latency_ms=10");
    StartTokyoEvening("[section1]\r\nBS=0\r\nCS=0");
    WatchList();
    ASSERT_TRUE(PumpUntil([] { return ProgrammeCount >= 3; }, 30000));
    // Every page from now on takes far longer than the test looks.
    SimulatorGet("/_control?latency_ms=4000");
    PumpFor(400);
    const int rows = ProgrammeCount;
    Paints = 0;
    PumpFor(2500);
    EXPECT_EQ(ProgrammeCount, rows) << "the stall came too late";
    EXPECT_GE(Paints, 1) << "a tick or sort made now would not be seen";
    EXPECT_LE(Paints, 6) << "an unchanged list need not be drawn five times a second";
    Finish();
}

TEST(Retrieval, TheSameChoicesPressedAgainGiveTheSameRows)
{
    ResetSimulator();
    const auto truth = Truth({Tokyo});
    for (int k : {1, 4}) {
        // Stopped right after the first programme, then pressed again: the
        // first link must not count as a repeat of the one seen before.
        SimulatorGet("/_control?latency_ms=100");
        StartTokyoEvening("[section1]\r\nBS=0\r\nCS=0", k);
        ASSERT_TRUE(PumpUntil([] { return ProgrammeCount >= 1; }, 30000));
        StopRetrieval();
        ASSERT_TRUE(WaitForRetrieval(10000));
        SimulatorGet("/_control?latency_ms=0");
        for (int press = 0; press < 2; ++press) {
            SendMessageA(MainWnd, WM_COMMAND, IDC_FETCH, 0);
            ASSERT_TRUE(WaitForRetrieval(60000));
            EXPECT_EQ(ProgrammeCount, static_cast<int>(truth.size())) << k << " connections, press " << press;
            ExpectPrefixOfTruth(truth, "pressed again");
        }
        CloseMainWindow();
    }
    Finish();
}

TEST(Retrieval, AStopEndsHungRequestsAndANewPressStartsAtOnce)
{
    ResetSimulator();
    const auto truth = Truth({Tokyo});
    for (const char* hung : {"grid", "detail"}) {
        for (int k : {1, 4}) {
            const std::string where = std::string(hung) + ", " + std::to_string(k) + " connections";
            SimulatorGet(std::string("/_control?stall=") + hung);
            StartTokyoEvening("[section1]\r\nBS=0\r\nCS=0", k);
            ASSERT_TRUE(PumpUntil([] { return SimulatorNumber("/_stats", "stalled_now") > 0; }, 10000)) << where;
            HWND progress = ProgressWnd;
            SendMessageA(progress, WM_COMMAND, IDC_ABORT, 0);
            // The site holds the request for a minute: only closing it ends the wait.
            ASSERT_TRUE(PumpUntil([&] { return !IsWindow(progress); }, 10000)) << where;
            SimulatorGet("/_control?stall=off");
            SendMessageA(MainWnd, WM_COMMAND, IDC_FETCH, 0);
            EXPECT_TRUE(IsWindow(ProgressWnd)) << where << ": the new retrieval started";
            ASSERT_TRUE(WaitForRetrieval(60000)) << where;
            EXPECT_EQ(ProgrammeCount, static_cast<int>(truth.size())) << where;
            ExpectPrefixOfTruth(truth, where.c_str());
            EXPECT_TRUE(Boxes.empty()) << where << ": a stopped retrieval reports nothing";
            CloseMainWindow();
        }
    }
    Finish();
}

TEST(Retrieval, PagesThatNeverArriveAreGivenUpAndReportedOnce)
{
    struct Case {
        const char* Name;
        const char* Faults;
        int GridTries;           // requests for the BS grid
        const char* Box;         // "" for none
    } cases[] = {
        {"everything arrives", "", 1, ""},
        {"the BS grid always fails", "fail_grids=tikicd%3D3001",
         5, "てろみや|受信できなかったページがあります。\n番組表: 1ページ\n番組の詳細: 0ページ"},
    };
    for (const Case& c : cases) {
        ResetSimulator();
        SimulatorGet(std::string("/_control?") + c.Faults);
        StartTokyoEvening("[section1]\r\nBS=1\r\nCS=0");
        ASSERT_TRUE(WaitForRetrieval(60000)) << c.Name << ": the retrieval ends on its own";
        PumpFor(200);
        const auto log = SimulatorLog();
        EXPECT_EQ(std::count(log.begin(), log.end(), Bs), c.GridTries) << c.Name;
        EXPECT_EQ(ProgrammeCount, static_cast<int>(Truth({Tokyo}).size()) + (*c.Box ? 0 : static_cast<int>(Truth({Bs}).size())))
            << c.Name;
        EXPECT_EQ(Boxes, *c.Box ? std::vector<std::string>{c.Box} : std::vector<std::string>{}) << c.Name;
        CloseMainWindow();
    }
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
    EXPECT_EQ(Boxes, std::vector<std::string>{"てろみや|受信できなかったページがあります。\n番組表: 0ページ\n番組の詳細: " +
                                              std::to_string(empty) + "ページ"});
    Finish();
}

TEST(Retrieval, ClosingTheMainWindowMidRetrievalEndsTheProgramCleanly)
{
    // Closed while pages arrive, and while a detail page hangs.
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
            PostMessageA(FindWindowA("Main", nullptr), WM_CLOSE, 0, 0);
        }, 100);
        EXPECT_EQ(exitCode, 0) << faults;
        EXPECT_TRUE(WasRunning) << faults << ": closed while the retrieval ran (" << ProgrammeCount << " records)";
        EXPECT_FALSE(RetrievalRunning) << faults << ": the worker ended before the program";
        EXPECT_LT(GetTickCount() - ClosedAt, 10000u) << faults << ": a hung page does not hold the end";
        const int count = ProgrammeCount;
        PumpFor(300);
        EXPECT_EQ(ProgrammeCount, count) << faults << ": nothing writes records after the end";
    }
    Finish();
}
