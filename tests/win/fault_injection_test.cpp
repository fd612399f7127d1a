// A whole retrieval against a site that misbehaves: slow answers, dropped
// connections, server errors, short answers, empty or huge grids, broken
// detail pages and a site that goes away for a while. Each fault runs with
// one connection and with four.
#include "app/app_state.h"
#include "fetch/http_fetch.h"
#include "fetch/retrieval_worker.h"
#include "res/resource.h"
#include "tests/win/test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const Tokyo19All =
    "/program/gridNormal.php?frame=off&tikicd=0002&way=h&genre=all&hour_select=6&s_jikan=190000";
const char* const Bs19All =
    "/program/gridNormal.php?frame=off&tikicd=3001&way=h&genre=all&hour_select=6&s_jikan=190000";

std::vector<std::string> RecordFields(const TELOMI& record)
{
    return {record.DetailPath,
            record.Station,
            std::to_string(record.Month),
            std::to_string(record.Day),
            std::to_string(record.StartHour),
            std::to_string(record.StartMinute),
            std::to_string(record.EndHour),
            std::to_string(record.EndMinute),
            record.Title,
            record.Subtitle,
            record.Performers,
            record.Other};
}

// A record whose detail page never arrived: nothing but its path.
bool GotNoPage(const TELOMI& record)
{
    return record.Title[0] == '\0' && record.Subtitle[0] == '\0' && record.Station[0] == '\0' &&
           record.Performers[0] == '\0' && record.Other[0] == '\0' && record.Month == 0 && record.Day == 0 &&
           record.StartHour == 0 && record.StartMinute == 0 && record.EndHour == 0 && record.EndMinute == 0;
}

template <size_t N>
bool Terminated(const char (&field)[N])
{
    return std::memchr(field, '\0', N) != nullptr;
}

void Choose(HWND combo, const char* label)
{
    SendMessageA(combo, CB_SETCURSEL, SendMessageA(combo, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(label)),
                 0);
}

// The site answers again (after a stop it may still be away for a while).
bool SimulatorUp(int timeoutMilliseconds)
{
    const DWORD start = GetTickCount();
    while (SimulatorGet("/_stats").empty()) {
        if (static_cast<int>(GetTickCount() - start) > timeoutMilliseconds)
            return false;
        PumpFor(50);
    }
    return true;
}

struct FaultCase {
    const char* Name;
    // Faults set before the retrieval starts ("" for none).
    const char* Before;
    // Faults set once MidAfter records exist ("" for none).
    const char* Middle;
    int MidAfter;
    // Press the stop button once this many records exist (0: let it end by itself).
    int StopAfter;
    bool WithBS;
    // Only delays or retries: every record that got its page equals the site's.
    bool PagesAreTrue;
    // A share of the requests fails: with three attempts per detail page
    // nearly every page arrives in the end.
    bool MostPagesArrive;
    // Every link of the terrestrial grid gives its record (no stop, grid pages intact).
    bool AllLinksTaken;
    int BoundMilliseconds;
};

// Bytes as hex, for texts that may not be valid code page 932.
std::string Hex(const std::string& text)
{
    std::string out;
    char pair[4];
    for (unsigned char c : text) {
        std::snprintf(pair, sizeof pair, "%02X", c);
        out += pair;
    }
    return out;
}

// A text as the list view gives it back: the view keeps its texts in UTF-16,
// so byte pairs that code page 932 leaves unassigned come back as its default
// character.
std::string AsShown(const std::string& text)
{
    const int wide = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring utf16(wide, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, utf16.data(), wide);
    const int narrow = WideCharToMultiByte(CP_ACP, 0, utf16.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string back(narrow, '\0');
    WideCharToMultiByte(CP_ACP, 0, utf16.c_str(), -1, back.data(), narrow, nullptr, nullptr);
    return back.c_str();
}

void CheckRowsMatchRecords(const std::string& where)
{
    ASSERT_EQ(ListRowCount(MainListView), static_cast<int>(ProgrammeCount)) << where;
    int wrong = 0;
    for (int i = 0; i < ProgrammeCount && wrong < 5; ++i) {
        TELOMI& record = ProgrammeList[i];
        const std::vector<std::string> expected = {record.Title,     record.Subtitle, record.Station,
                                                   record.DateText,  record.StartText, record.EndText,
                                                   record.Performers, record.Other};
        bool same = ListItemData(MainListView, i) == i;
        int column = 0;
        while (same && column < 8 && ListText(MainListView, i, column) == AsShown(expected[column]))
            ++column;
        if (!same || column < 8) {
            ++wrong;
            ADD_FAILURE() << where << ": row " << i << " does not show record " << i << " (item data "
                          << ListItemData(MainListView, i) << ", column " << column << ": row "
                          << Hex(column < 8 ? ListText(MainListView, i, column) : "") << ", record "
                          << Hex(column < 8 ? AsShown(expected[column]) : "") << ", " << record.DetailPath << ")";
        }
        const bool inBounds = Terminated(record.Title) && Terminated(record.Subtitle) && Terminated(record.Station) &&
                              Terminated(record.Performers) && Terminated(record.Other) &&
                              Terminated(record.DateText) && Terminated(record.StartText) &&
                              Terminated(record.EndText) && Terminated(record.DetailPath);
        if (!inBounds) {
            ++wrong;
            ADD_FAILURE() << where << ": a text of record " << i << " runs past its field";
        }
    }
}

} // namespace

TEST(Fault, RetrievalSurvivesEachSiteFaultWithOneAndFourConnections)
{
    const FaultCase cases[] = {
        // name, before, middle, mid after, stop after, BS, pages true, most arrive, all links, bound
        {"latency 200 ms", "latency_ms=200", "", 0, 8, false, true, true, false, 60000},
        {"30 % closed before the answer", "close_rate=0.3&fault_seed=11", "", 0, 0, false, true, true, true, 90000},
        {"30 % reset", "reset_rate=0.3&fault_seed=12", "", 0, 0, false, true, true, true, 90000},
        {"30 % HTTP 500", "error500_rate=0.3&fault_seed=13", "", 0, 0, false, true, true, true, 90000},
        {"30 % cut short", "cut_rate=0.3&fault_seed=14", "", 0, 0, false, true, true, true, 90000},
        {"grids without links from the middle on", "latency_ms=30", "empty_grids=1", 3, 0, true, true, true, true,
         60000},
        {"grids of 3 MB", "huge=1", "", 0, 0, false, true, true, true, 60000},
        {"every detail page malformed", "malformed=1&fault_seed=15", "", 0, 0, false, false, false, true, 60000},
        {"over-long detail fields", "malformed=long_texts", "", 0, 0, false, false, false, true, 60000},
        {"half the detail pages malformed", "malformed=0.5&fault_seed=16", "", 0, 0, false, false, false, true,
         60000},
        {"invalid EUC-JP bytes", "invalid_euc=1", "", 0, 0, false, false, false, true, 60000},
        {"site stopped before the start", "down_ms=2000", "", 0, 0, false, true, true, true, 60000},
        // Detail pages get three attempts right after each other, so those
        // asked for while the site is away stay empty.
        {"site stopped in the middle", "latency_ms=40", "down_ms=1500", 5, 0, false, true, false, true, 60000},
    };

    ResetSimulator();
    const auto truth = SimulatorGridTruth(Tokyo19All);
    ASSERT_GT(truth.size(), 20u) << "the site knows the evening's programmes";
    std::map<std::string, std::vector<std::string>> truthByPath;
    for (const auto& fields : truth)
        truthByPath[fields[0]] = fields;
    const int pagesBefore = LivePageCount();

    // One retrieval; a failed ASSERT returns here and the cleanup below still runs.
    auto runCase = [&](const FaultCase& c, int connections) {
        const std::string where = std::string(c.Name) + ", " + std::to_string(connections) + " connection(s)";
        ResetSimulator();
        WriteSettingsFileWithSite(std::string("[section1]\r\nBS=") + (c.WithBS ? "1" : "0") +
                                         "\r\nCS=0\r\nchaeck=1", "Connections=" + std::to_string(connections));
        StartMainWindow();
        ASSERT_EQ(DetailConnections, connections) << where;
        Choose(TimeCombo, "19:00～25:00");
        Choose(GenreCombo, "全て");
        Choose(RegionCombo, "東京");
        Choose(DayCombo, "今日");
        EmptyPageCount = 0;
        if (*c.Before)
            SimulatorGet(std::string("/_control?") + c.Before);
        const DWORD started = GetTickCount();
        SendMessageA(MainWnd, WM_COMMAND, IDC_FETCH, 0);
        HWND progress = ProgressWnd;
        ASSERT_TRUE(IsWindow(progress)) << where;

        // The records that exist at one moment, to be found unchanged at the end.
        std::vector<std::pair<std::string, std::string>> snapshot;
        const int moment = c.MidAfter ? c.MidAfter : c.StopAfter ? c.StopAfter : 3;
        PumpUntil([&] { return ProgrammeCount >= moment || !RetrievalRunning; }, c.BoundMilliseconds);
        for (int i = 0; i < ProgrammeCount; ++i)
            snapshot.emplace_back(ProgrammeList[i].DetailPath, ProgrammeList[i].Title);
        if (*c.Middle) {
            ASSERT_TRUE(RetrievalRunning) << where << ": ended before the fault could start";
            SimulatorGet(std::string("/_control?") + c.Middle);
        }

        if (c.StopAfter) {
            ASSERT_TRUE(RetrievalRunning) << where << ": ended before the stop button was pressed";
            SendMessageA(progress, WM_COMMAND, IDC_ABORT, 0);
            const DWORD pressed = GetTickCount();
            ASSERT_TRUE(WaitForRetrieval(10000)) << where;
            EXPECT_LT(GetTickCount() - pressed, 1000u) << where << ": ends within a second of the press";
        } else {
            ASSERT_TRUE(WaitForRetrieval(c.BoundMilliseconds - static_cast<int>(GetTickCount() - started)))
                << where << ": still running after " << c.BoundMilliseconds << " ms";
        }
        PumpFor(20);
        const DWORD took = GetTickCount() - started;
        EXPECT_FALSE(IsWindow(progress)) << where << ": the progress window is gone";
        EXPECT_FALSE(RetrievalRunning) << where;
        EXPECT_FALSE(AbortFlag) << where;
        EXPECT_EQ(LivePageCount(), pagesBefore) << where << ": every page buffer was released";

        CheckRowsMatchRecords(where);
        ASSERT_LE(snapshot.size(), static_cast<size_t>(ProgrammeCount)) << where << ": records were lost";
        for (size_t i = 0; i < snapshot.size(); ++i) {
            EXPECT_EQ(ProgrammeList[i].DetailPath, snapshot[i].first) << where << ": record " << i;
            EXPECT_EQ(ProgrammeList[i].Title, snapshot[i].second) << where << ": record " << i;
        }

        // The grid pages list the same links whatever the fault, so the
        // records follow the site's link order.
        int withPage = 0;
        int wrong = 0;
        ASSERT_LE(ProgrammeCount, static_cast<int>(truth.size())) << where;
        for (int i = 0; i < ProgrammeCount && wrong < 5; ++i) {
            const TELOMI& record = ProgrammeList[i];
            if (truth[i][0] != record.DetailPath) {
                ++wrong;
                ADD_FAILURE() << where << ": record " << i << " is " << record.DetailPath << ", the site's "
                              << truth[i][0];
                continue;
            }
            if (GotNoPage(record))
                continue;
            ++withPage;
            if (c.PagesAreTrue && RecordFields(record) != truthByPath[record.DetailPath]) {
                ++wrong;
                ADD_FAILURE() << where << ": record " << i << " differs from the site: " << record.DetailPath;
            }
        }
        if (c.AllLinksTaken)
            EXPECT_EQ(ProgrammeCount, static_cast<int>(truth.size())) << where << ": every link gave a record";
        if (c.MostPagesArrive)
            EXPECT_GT(withPage, ProgrammeCount * 9 / 10) << where << ": most detail pages arrived in the end";

        ASSERT_TRUE(SimulatorUp(10000)) << where;
        if (c.WithBS) {
            int bsGrids = 0;
            for (const std::string& path : SimulatorLog())
                bsGrids += path == Bs19All;
            EXPECT_EQ(bsGrids, 4) << where << ": four empty BS grids, then the end";
        }
        std::printf("[ fault    ] %-40s %d conn: %3d records, %3d with page, %5lu ms\n", c.Name, connections,
                    static_cast<int>(ProgrammeCount), withPage, static_cast<unsigned long>(took));
    };

    for (const FaultCase& c : cases) {
        for (int connections : {1, 4}) {
            runCase(c, connections);
            SimulatorUp(10000);
            CloseMainWindow(); // stops a retrieval that a failed check left running
        }
    }
    ResetSimulator();
    RemoveSettingsFile();
}
