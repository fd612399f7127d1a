// Retrievals from the simulator's XMLTV document, over HTTP and from a file,
// compared with the simulator's own reading of it; faults, a stop, the setting.
#include "fetch/http_fetch.h"
#include "res/resource.h"
#include "tests/win/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The main window with the XMLTV source and today's window `time` and `genre` chosen.
void StartXmltv(const std::string& address, const char* time, const char* genre, const std::string& channels = "")
{
    WriteSettingsFileWithSite("[xmltv]\r\nAddress=" + address + "\r\nChannels=" + channels, "");
    StartMainWindow();
    SelectLabel(TimeCombo, time);
    SelectLabel(GenreCombo, genre);
}

std::vector<std::vector<std::string>> Records()
{
    std::vector<std::vector<std::string>> records;
    for (int i = 0; i < ProgrammeCount; ++i)
        records.push_back(RecordFields(ProgrammeList[i]));
    return records;
}

std::string Document()
{
    return "http://" + SimulatorHost() + "/xmltv.xml";
}

// Saves the document, which is larger than a page buffer, as a file.
void SaveDocument(const char* path)
{
    std::ofstream file(path, std::ios::binary);
    const std::string host = SimulatorHost();
    HttpGet get(nullptr);
    ASSERT_TRUE(get.Send(host.substr(0, host.find(':')).c_str(),
                         static_cast<uint16_t>(std::stoi(host.substr(host.find(':') + 1))), "/xmltv.xml", false, false));
    char piece[65536];
    DWORD read = 0;
    while (get.Read(piece, sizeof piece, &read) && read > 0)
        file.write(piece, read);
}

// Who, when and what: a programme cut off with the document may end early.
std::vector<std::string> Identity(const std::vector<std::string>& fields)
{
    return {fields[1], fields[2], fields[3], fields[4], fields[5], fields[8]};
}

} // namespace

TEST(Xmltv, RetrievalsEqualTheSimulatorsReadingOfTheDocument)
{
    ResetSimulator();
    // The document as a file beside the program, read with the platform's file functions.
    SaveDocument("listing.xml");
    const struct {
        const char* Name;
        std::string Address;
        const char *Time, *Genre;
        std::string Channels, Truth;
    } cases[] = {
        {"evening across midnight", Document(), "19:00～25:00", "全て", "", "time=7&genre=14"},
        {"morning, from a file", "listing.xml", "05:00～11:00", "全て", "", "time=0&genre=14"},
        {"news only", Document(), "19:00～25:00", "ニュース・報道", "", "time=7&genre=6"},
        {"two channels in the order given", Document(), "19:00～25:00", "全て", "cs-2.sim, tokyo-1.sim",
         "time=7&genre=14&channels=cs-2.sim,tokyo-1.sim"},
    };
    for (const auto& c : cases) {
        StartXmltv(c.Address, c.Time, c.Genre, c.Channels);
        SendMessageA(MainWnd, WM_COMMAND, IDC_FETCH, 0);
        ASSERT_TRUE(WaitForRetrieval(60000)) << c.Name;
        const auto truth = SimulatorTruth("/_truth/xmltv?day=0&format=tsv&" + c.Truth);
        ASSERT_GT(truth.size(), 3u) << c.Name;
        const auto records = Records();
        EXPECT_EQ(records.size(), truth.size()) << c.Name;
        for (size_t i = 0; i < std::min(records.size(), truth.size()); ++i)
            ASSERT_EQ(records[i], truth[i]) << c.Name << ": record " << i;
        EXPECT_EQ(ListRowCount(MainListView), static_cast<int>(truth.size())) << c.Name;
        EXPECT_TRUE(Boxes.empty()) << c.Name;
        CloseMainWindow();
    }
    DeleteFileA("listing.xml");
    RemoveSettingsFile();
}

TEST(Xmltv, FaultsKeepWhatWasReadAndSayWhatWentWrongOnce)
{
    const struct {
        const char* Name;
        const char* Fault;
        std::string Address;
        const char* Problem;
        bool SomeKept;
    } cases[] = {
        {"cut midway", "xmltv=cut", Document(), "文書が途中で終わっています。", true},
        {"not XML", "xmltv=notxml", Document(), "XMLTV の文書ではありません。", false},
        {"not found", "xmltv=404", Document(), "サーバーの答えは 404 でした。", false},
        {"no server", "", "http://127.0.0.1:1/xmltv.xml", "サーバーにつながりませんでした。", false},
        {"no file", "", "missing.xml", "ファイルを開けませんでした。", false},
    };
    for (const auto& c : cases) {
        ResetSimulator();
        SimulatorGet(std::string("/_control?") + c.Fault);
        StartXmltv(c.Address, "19:00～25:00", "全て");
        SendMessageA(MainWnd, WM_COMMAND, IDC_FETCH, 0);
        ASSERT_TRUE(WaitForRetrieval(60000)) << c.Name;
        PumpFor(200);
        EXPECT_EQ(Boxes, std::vector<std::string>{"てろみや|" + c.Address + " を読めませんでした。\n" + c.Problem})
            << c.Name;
        EXPECT_EQ(ProgrammeCount > 0, c.SomeKept) << c.Name;
        std::vector<std::vector<std::string>> truth;
        for (const auto& record : SimulatorTruth("/_truth/xmltv?day=0&time=7&genre=14&format=tsv"))
            truth.push_back(Identity(record));
        for (const auto& record : Records()) {
            // One that began before 19:00 may end where a programme read so far begins.
            const int hour = std::stoi(record[4]);
            if (hour < 19 && hour >= 5)
                continue;
            ASSERT_TRUE(std::find(truth.begin(), truth.end(), Identity(record)) != truth.end()) << c.Name;
        }
        EXPECT_EQ(ListRowCount(MainListView), ProgrammeCount) << c.Name;
        CloseMainWindow();
    }
    ResetSimulator();
    RemoveSettingsFile();
}

TEST(Xmltv, AStopWhileTheDocumentHangsEndsAtOnceAndSaysNothing)
{
    ResetSimulator();
    SimulatorGet("/_control?stall=xmltv");
    StartXmltv(Document(), "19:00～25:00", "全て");
    SendMessageA(MainWnd, WM_COMMAND, IDC_FETCH, 0);
    ASSERT_TRUE(PumpUntil([] { return SimulatorNumber("/_stats", "stalled_now") > 0; }, 10000));
    HWND progress = ProgressWnd;
    SendMessageA(progress, WM_COMMAND, IDC_ABORT, 0);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(progress); }, 10000));
    PumpFor(200);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(ProgrammeCount, 0);
    CloseMainWindow();
    ResetSimulator();
    RemoveSettingsFile();
}

TEST(Xmltv, TheSettingsDialogKeepsTheAddress)
{
    WriteSettingsFileWithSite("[section1]\r\nini=1\r\n[xmltv]\r\nAddress=old.xml", "");
    StartMainWindow();
    static std::string Shown;
    SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        HWND dialog = FindWindowA("#32770", "設定");
        Shown = WindowText(GetDlgItem(dialog, IDC_XMLTV_ADDRESS));
        SetDlgItemTextA(dialog, IDC_XMLTV_ADDRESS, "http://example.test/guide.xml");
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    SendMessageA(MainWnd, WM_COMMAND, IDC_SETTINGS, 0);
    EXPECT_EQ(Shown, "old.xml");
    EXPECT_NE(ReadSettingsFile().find("[xmltv]\r\nAddress=http://example.test/guide.xml"), std::string::npos)
        << ReadSettingsFile();
    CloseMainWindow();
    RemoveSettingsFile();
}
