// Retrievals of the simulator's XMLTV document, over HTTP and from a file, against its own reading; faults, a stop.
#include "fetch/http_fetch.h"
#include "tests/win/test_support.h"

#include <fstream>

namespace {

// Starts a retrieval from the XMLTV source with today's window `time` and `genre` chosen.
void RetrieveXmltv(const std::string& address, const char* time, const char* genre, const std::string& channels = "")
{
    WriteSettingsFileWithSite("[xmltv]\r\nAddress=" + address + "\r\nChannels=" + channels);
    StartMainWindow();
    SelectLabel(TimeCombo, time);
    SelectLabel(GenreCombo, genre);
    SendMessageW(MainWnd, WM_COMMAND, IDC_FETCH, 0);
}

std::vector<std::vector<std::string>> Records()
{
    std::vector<std::vector<std::string>> records(ProgrammeCount);
    for (int i = 0; i < ProgrammeCount; ++i)
        records[i] = RecordFields(ProgrammeList[i]);
    return records;
}

const std::string Document = "http://" + SimulatorHost() + "/xmltv.xml";

// Saves the document, which is larger than a page buffer, as a file.
void SaveDocument(const char* path)
{
    std::ofstream file(path, std::ios::binary);
    const std::string host = SimulatorHost(), port = host.substr(host.find(':') + 1);
    HttpGet get(nullptr);
    ASSERT_TRUE(get.Send(host.substr(0, host.find(':')).c_str(), uint16_t(std::stoi(port)), "/xmltv.xml", false, false));
    char piece[65536];
    for (DWORD read = 0; get.Read(piece, sizeof piece, &read) && read > 0;)
        file.write(piece, read);
}


} // namespace

TEST(Xmltv, RetrievalsEqualTheSimulatorsReadingOfTheDocument)
{
    // The document as a file beside the program, read with the platform's file functions.
    SaveDocument("listing.xml");
    const struct { const char* Name; std::string Address; const char *Time, *Genre; std::string Channels, Truth; } cases[] = {
        {"evening across midnight", Document, "19:00～25:00", "全て", "", "time=7&genre=14"},
        {"morning, from a file", "listing.xml", "05:00～11:00", "全て", "", "time=0&genre=14"},
        {"news only", Document, "19:00～25:00", "ニュース・報道", "", "time=7&genre=6"},
        {"two channels in the order given", Document, "19:00～25:00", "全て", "cs-2.sim, tokyo-1.sim",
         "time=7&genre=14&channels=cs-2.sim,tokyo-1.sim"}};
    for (const auto& c : cases) {
        RetrieveXmltv(c.Address, c.Time, c.Genre, c.Channels);
        ASSERT_TRUE(WaitForRetrieval(60000)) << c.Name;
        const auto truth = SimulatorTruth("/_truth/xmltv?day=0&format=tsv&" + c.Truth);
        ASSERT_GT(truth.size(), 3u) << c.Name;
        EXPECT_EQ(Records(), truth) << c.Name;
        EXPECT_EQ(ListRowCount(MainListView), static_cast<int>(truth.size())) << c.Name;
        EXPECT_TRUE(Boxes.empty()) << c.Name;
        CloseMainWindow();
    }
    DeleteFileA("listing.xml");
}

TEST(Xmltv, FaultsKeepWhatWasReadAndSayWhatWentWrongOnce)
{
    const struct { const char *Name, *Fault; std::string Address; const char* Problem; bool SomeKept; } cases[] = {
        {"cut midway", "xmltv=cut", Document, "文書が途中で終わっています。", true},
        {"not XML", "xmltv=notxml", Document, "XMLTV の文書ではありません。", false},
        {"not found", "xmltv=404", Document, "サーバーの答えは 404 でした。", false},
        {"no server", "", "http://127.0.0.1:1/xmltv.xml", "サーバーにつながりませんでした。", false},
        {"no file", "", "missing.xml", "ファイルを開けませんでした。", false}};
    for (const auto& c : cases) {
        ResetSimulator();
        SimulatorGet(std::string("/_control?") + c.Fault);
        RetrieveXmltv(c.Address, "19:00～25:00", "全て");
        ASSERT_TRUE(WaitForRetrieval(60000)) << c.Name;
        PumpFor(200);
        EXPECT_EQ(Boxes, std::vector<std::string>{"てろみや|" + c.Address + " を読めませんでした。\n" + c.Problem})
            << c.Name;
        EXPECT_EQ(ProgrammeCount > 0, c.SomeKept) << c.Name;
        // Who, when and what: a programme cut off with the document may end early.
        auto identity = [](const auto& f) { return std::vector<std::string>{f[1], f[2], f[3], f[4], f[5], f[8]}; };
        std::vector<std::vector<std::string>> truth;
        for (const auto& record : SimulatorTruth("/_truth/xmltv?day=0&time=7&genre=14&format=tsv"))
            truth.push_back(identity(record));
        for (const auto& record : Records()) {
            // One that began before 19:00 may end where a programme read so far begins.
            const int hour = std::stoi(record[4]);
            if (hour < 19 && hour >= 5)
                continue;
            ASSERT_TRUE(std::find(truth.begin(), truth.end(), identity(record)) != truth.end()) << c.Name;
        }
        EXPECT_EQ(ListRowCount(MainListView), ProgrammeCount) << c.Name;
        CloseMainWindow();
    }
}

TEST(Xmltv, AStopWhileTheDocumentHangsEndsAtOnceAndSaysNothing)
{
    SimulatorGet("/_control?stall=xmltv");
    RetrieveXmltv(Document, "19:00～25:00", "全て");
    ASSERT_TRUE(PumpUntil([] { return SimulatorNumber("/_stats", "stalled_now") > 0; }, 10000));
    HWND progress = ProgressWnd;
    SendMessageW(progress, WM_COMMAND, IDC_ABORT, 0);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(progress); }, 10000));
    PumpFor(200);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(ProgrammeCount, 0);
}
