#include "app/app_state.h"
#include "fetch/progress_window.h"
#include "fetch/retrieval_worker.h"
#include "res/resource.h"
#include "tests/win/test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const Tokyo19All = "/program/gridNormal.php?frame=off&tikicd=0002&way=h&genre=all&hour_select=6&s_jikan=190000";
const char* const Bs19All = "/program/gridNormal.php?frame=off&tikicd=3001&way=h&genre=all&hour_select=6&s_jikan=190000";
const char* const Cs19All = "/program/gridNormal.php?frame=off&tikicd=3003&way=h&genre=all&hour_select=6&s_jikan=190000";

void Choose(HWND combo, const char* label)
{
    SendMessageA(combo, CB_SETCURSEL, SendMessageA(combo, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(label)),
                 0);
}

void StartTokyoEvening(const std::string& settings)
{
    WriteSettingsFile(settings);
    StartMainWindow();
    Choose(TimeCombo, "19:00～25:00");
    Choose(GenreCombo, "全て");
    Choose(RegionCombo, "東京");
    Choose(DayCombo, "今日");
    EmptyPageCount = 0;
    SendMessageA(MainWnd, WM_COMMAND, IDC_FETCH, 0);
}

std::string Number(int value)
{
    return std::to_string(value);
}

} // namespace

TEST(Retrieval, RecordsMatchTheSiteInGridOrderWithOneRowEach)
{
    ResetSimulator();
    StartTokyoEvening("[section1]\r\nBS=1\r\nCS=1\r\nchaeck=1");
    ASSERT_TRUE(WaitForRetrieval(120000));

    std::vector<std::vector<std::string>> truth;
    for (std::string grid : {std::string(Tokyo19All), std::string(Bs19All), std::string(Cs19All) + "&page=1",
                             std::string(Cs19All) + "&page=2", std::string(Cs19All) + "&page=3"}) {
        auto part = SimulatorGridTruth(grid);
        ASSERT_FALSE(part.empty()) << grid;
        truth.insert(truth.end(), part.begin(), part.end());
    }
    ASSERT_EQ(ProgrammeCount, static_cast<int>(truth.size()));
    ASSERT_EQ(ListRowCount(MainListView), ProgrammeCount);
    int mismatches = 0;
    for (int i = 0; i < ProgrammeCount && mismatches < 5; ++i) {
        const TELOMI& record = ProgrammeList[i];
        const auto& expected = truth[i];
        ASSERT_EQ(expected.size(), 12u);
        const std::vector<std::string> actual = {record.DetailPath,         record.Station,
                                                 Number(record.Month),      Number(record.Day),
                                                 Number(record.StartHour),  Number(record.StartMinute),
                                                 Number(record.EndHour),    Number(record.EndMinute),
                                                 record.Title,              record.Subtitle,
                                                 record.Performers,         record.Other};
        if (actual != expected) {
            ++mismatches;
            ADD_FAILURE() << "record " << i << " differs from the site: " << expected[0];
        }
        EXPECT_EQ(ListItemData(MainListView, i), i);
        EXPECT_EQ(ListText(MainListView, i, 0), record.Title);
        EXPECT_EQ(ListText(MainListView, i, 3), record.DateText);
        EXPECT_EQ(ListText(MainListView, i, 4), record.StartText);
        EXPECT_EQ(ListText(MainListView, i, 7), record.Other);
        EXPECT_EQ(SendMessageA(MainListView, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(2))
            << "ticked at the end";
    }
    EXPECT_FALSE(IsWindow(ProgressWnd)) << "the progress window is gone";
    CloseMainWindow();
    RemoveSettingsFile();
}

TEST(Retrieval, PassesFollowTheSatelliteSettings)
{
    struct Case {
        const char* Name;
        const char* Settings;
        std::vector<std::string> Grids;
    };
    const std::string t = Tokyo19All, b = Bs19All, c = Cs19All;
    const Case cases[] = {
        {"terrestrial only", "[section1]\r\nBS=0\r\nCS=0", {t}},
        {"with BS", "[section1]\r\nBS=1\r\nCS=0", {t, b}},
        {"CS without BS", "[section1]\r\nBS=0\r\nCS=1", {t, c + "&page=1", c + "&page=2", c + "&page=3"}},
        {"everything", "[section1]\r\nBS=1\r\nCS=1", {t, b, c + "&page=1", c + "&page=2", c + "&page=3"}},
    };
    for (const Case& test : cases) {
        ResetSimulator();
        StartTokyoEvening(test.Settings);
        ASSERT_TRUE(WaitForRetrieval(120000)) << test.Name;
        std::vector<std::string> grids;
        for (const std::string& path : SimulatorLog()) {
            if (path.rfind("/program/gridNormal.php", 0) == 0)
                grids.push_back(path);
        }
        EXPECT_EQ(grids, test.Grids) << test.Name;
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
    const std::vector<std::string> expected = {Tokyo19All, Tokyo19All, Tokyo19All, Tokyo19All, Bs19All};
    EXPECT_EQ(SimulatorLog(), expected);
    EXPECT_EQ(ProgrammeCount, 0);
    EXPECT_FALSE(IsWindow(ProgressWnd));
    CloseMainWindow();
    ResetSimulator();
    RemoveSettingsFile();
}

TEST(Retrieval, StopKeepsTheRecordsSoFarAndRunsTheEndSteps)
{
    ResetSimulator();
    SimulatorGet("/_control?latency_ms=150");
    StartTokyoEvening("[section1]\r\nBS=1\r\nCS=1\r\nchaeck=1");
    HWND progress = ProgressWnd;
    ASSERT_TRUE(IsWindow(progress));
    char text[64] = {};
    GetWindowTextA(progress, text, sizeof text);
    EXPECT_STREQ(text, "状況");
    ASSERT_TRUE(PumpUntil([] { return ProgrammeCount >= 3; }, 30000));

    SendMessageA(progress, WM_COMMAND, IDC_ABORT, 0);
    EXPECT_STREQ(ProgressText, "中断中");
    const DWORD pressed = GetTickCount();
    ASSERT_TRUE(WaitForRetrieval(5000));
    EXPECT_LT(GetTickCount() - pressed, 1000u) << "ends within a second of the press";
    EXPECT_FALSE(IsWindow(progress));
    EXPECT_FALSE(AbortFlag);
    EXPECT_GE(ProgrammeCount, 3);
    EXPECT_EQ(ListRowCount(MainListView), ProgrammeCount);
    for (int i = 0; i < ProgrammeCount; ++i) {
        EXPECT_EQ(ListItemData(MainListView, i), i);
        EXPECT_NE(ProgrammeList[i].Title[0], '\0') << "record " << i << " was completed";
        EXPECT_EQ(SendMessageA(MainListView, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(2));
    }
    CloseMainWindow();
    ResetSimulator();
    RemoveSettingsFile();
}

TEST(Retrieval, ASecondPressWhileRunningChangesNothing)
{
    ResetSimulator();
    SimulatorGet("/_control?latency_ms=50");
    StartTokyoEvening("[section1]\r\nBS=0\r\nCS=0");
    HWND progress = ProgressWnd;
    ASSERT_TRUE(PumpUntil([] { return ProgrammeCount >= 2; }, 30000));
    const int before = ProgrammeCount;
    Choose(RegionCombo, "沖縄");
    SendMessageA(MainWnd, WM_COMMAND, IDC_FETCH, 0);
    EXPECT_EQ(ProgressWnd, progress) << "no second progress window";
    EXPECT_GE(ProgrammeCount, before) << "nothing was emptied";
    ASSERT_TRUE(WaitForRetrieval(120000));
    for (const std::string& path : SimulatorLog())
        EXPECT_EQ(path.find("tikicd=0A01"), std::string::npos) << "no request for the second choice";
    CloseMainWindow();
    ResetSimulator();
    RemoveSettingsFile();
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
    CloseMainWindow();
    RemoveSettingsFile();
}
