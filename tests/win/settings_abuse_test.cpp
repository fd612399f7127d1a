// Start-up and the settings dialog with a "./telomi.ini" that no one would
// write by hand: numbers out of every range, text, a huge line, binary bytes,
// a read-only file.
#include "app/app_state.h"
#include "app/settings.h"
#include "res/resource.h"
#include "tests/win/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The file exactly as given, with the simulator's host first in its section
// "site" (a section of its own at the end when the text has none).
void WriteRawSettings(const std::string& text)
{
    RemoveSettingsFile();
    const std::string heading = "[site]\r\n";
    const std::string host = "Host=" + SimulatorHost() + "\r\n";
    std::string content = text;
    const size_t site = content.find(heading);
    if (site == std::string::npos)
        content += "\r\n" + heading + host;
    else
        content.insert(site + heading.size(), host);
    std::ofstream file("telomi.ini", std::ios::binary);
    file << content;
}

// Whether the platform itself refuses to open the file for writing (it does
// on Windows for a read-only file; Wine running as root may not).
bool PlatformRefusesWriting()
{
    HANDLE file = CreateFileA("telomi.ini", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return true;
    CloseHandle(file);
    return false;
}

bool HasSelection(HWND combo)
{
    return SendMessageA(combo, CB_GETCURSEL, 0, 0) != CB_ERR;
}

// The number a minutes field shows, or -1 when it is not a plain number.
long ShownMinutes(HWND edit)
{
    char text[64] = {};
    GetWindowTextA(edit, text, sizeof text);
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return text[0] != '\0' && *end == '\0' ? value : -1;
}

HWND OpenSettingsDialog()
{
    HWND dialog = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_SETTINGS), MainWnd, SettingsDialogProc, 0);
    ShowWindow(dialog, SW_SHOW);
    return dialog;
}

void Click(HWND dialog, int id, bool tick)
{
    CheckDlgButton(dialog, id, tick ? BST_CHECKED : BST_UNCHECKED);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// key=value lines of one section of an ini text; a key seen twice keeps both.
std::multimap<std::string, std::string> SectionLines(const std::string& text, const std::string& section)
{
    std::multimap<std::string, std::string> lines;
    std::istringstream in(text);
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inside = line == "[" + section + "]";
            continue;
        }
        const size_t equals = line.find('=');
        if (inside && equals != std::string::npos)
            lines.emplace(line.substr(0, equals), line.substr(equals + 1));
    }
    return lines;
}

bool IsNumberIn(const std::string& text, long lowest, long highest)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && value >= lowest && value <= highest;
}

struct AbuseCase {
    const char* Name;
    std::string Text;
    // The file is made read-only before the program sees it.
    bool ReadOnly;
    // A value that the file states correctly among the garbage, and must be used
    // (-1: none).
    int Region;
    int Connections;
};

} // namespace

TEST(SettingsAbuse, StartsWithSaneValuesAndNeverWritesGarbage)
{
    const std::string megabyteOfDigits(1 << 20, '7');
    const std::string megabyteOfText(1 << 20, 'x');
    std::string binary = "[section1]\r\nBS=";
    for (int i = 0; i < 512; ++i)
        binary += static_cast<char>((i * 37) & 0xFF);
    const char tail[] = "\r\n[section2]\r\nRegion=3\r\n\r\r\n\0\0ago=\xFF\xFE\r\n";
    binary += std::string(tail, sizeof tail - 1); // zero bytes included

    const AbuseCase cases[] = {
        {"huge numbers",
         "[section1]\r\nini=99999999999\r\nBS=4294967296\r\nCS=99999999999999999999\r\nAuto=0\r\n"
         "[section2]\r\nGenre=2147483648\r\nTime=4294967295\r\nRegion=99999999999\r\nago=100000\r\n"
         "[site]\r\nConnections=4294967297",
         false, -1, -1},
        {"negative numbers",
         "[section1]\r\nBS=-1\r\nCS=-99\r\n[section2]\r\nGenre=-1\r\nTime=-13\r\nRegion=-2147483648\r\n"
         "ago=-5\r\n[site]\r\nConnections=-3",
         false, -1, -1},
        {"text instead of numbers",
         "[section1]\r\nBS=はい\r\nCS=yes\r\nAuto=\r\n[section2]\r\nGenre=アニメ\r\nTime=九時\r\nRegion=東京\r\n"
         "ago=五分\r\n[site]\r\nConnections=four",
         false, -1, -1},
        {"missing sections", "", false, 7, 4},
        {"sections without keys", "[section1]\r\n[section2]\r\n", false, 7, 4},
        {"a line of 1 MB of digits",
         "[section1]\r\nCS=0\r\n[section2]\r\nago=" + megabyteOfDigits + "\r\nRegion=3\r\n[site]\r\nConnections=2",
         false, 3, 2},
        {"a line of 1 MB of text", "[section2]\r\n" + megabyteOfText + "\r\nRegion=12\r\n", false, 12, 4},
        {"bytes that are no text", binary, false, -1, -1},
        {"Connections 0", "[section2]\r\nRegion=5\r\n[site]\r\nConnections=0", false, 5, -1},
        {"Connections 9", "[site]\r\nConnections=9", false, -1, -1},
        {"Connections 8", "[site]\r\nConnections=8", false, -1, 8},
        {"a read-only file", "[section1]\r\nini=1\r\nBS=1\r\nCS=0\r\n[section2]\r\nRegion=20\r\nago=15", true, 20, -1},
        {"a read-only file of garbage", "[section2]\r\nGenre=-7\r\nago=abc\r\n" + megabyteOfText, true, -1, -1},
    };

    // One case; a failed ASSERT returns here and the cleanup below still runs.
    auto runCase = [&](const AbuseCase& c) {
        WriteRawSettings(c.Text);
        bool refuses = false;
        if (c.ReadOnly) {
            ASSERT_TRUE(SetFileAttributesA("telomi.ini", FILE_ATTRIBUTE_READONLY)) << c.Name;
            refuses = PlatformRefusesWriting();
        }
        const std::string before = ReadSettingsFile();

        ASSERT_NE(StartMainWindow(), nullptr) << c.Name;
        EXPECT_FALSE(RetrievalRunning) << c.Name << ": nothing asked for a retrieval";
        for (HWND combo : {GenreCombo, TimeCombo, RegionCombo, DayCombo})
            EXPECT_TRUE(HasSelection(combo)) << c.Name << ": every list has a selection";
        const long minutes = ShownMinutes(MinutesEdit);
        EXPECT_TRUE(minutes >= 1 && minutes <= 99999) << c.Name << ": minutes field shows " << minutes;
        EXPECT_TRUE(DetailConnections >= 1 && DetailConnections <= 8)
            << c.Name << ": " << DetailConnections << " connections";
        if (c.Region >= 0)
            EXPECT_EQ(RegionPos, c.Region) << c.Name << ": the valid value among the garbage is used";
        if (c.Connections >= 0)
            EXPECT_EQ(DetailConnections, c.Connections) << c.Name;
        EXPECT_EQ(std::string(SiteHost), SimulatorHost()) << c.Name;

        // The dialog shows the same sane values; OK without saving writes nothing.
        HWND dialog = OpenSettingsDialog();
        ASSERT_NE(dialog, nullptr) << c.Name;
        for (int id : {IDC_DEFAULT_GENRE, IDC_DEFAULT_TIME, IDC_DEFAULT_REGION})
            EXPECT_TRUE(HasSelection(GetDlgItem(dialog, id))) << c.Name << ": dialog list " << id;
        const long dialogMinutes = ShownMinutes(GetDlgItem(dialog, IDC_DEFAULT_MINUTES));
        EXPECT_TRUE(dialogMinutes >= 1 && dialogMinutes <= 99999) << c.Name << ": dialog minutes " << dialogMinutes;
        Click(dialog, IDC_SAVE_INI, false);
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        DestroyWindow(dialog);
        EXPECT_TRUE(ReadSettingsFile() == before) << c.Name << ": the file was changed without saving ticked";

        // OK with saving ticked: a read-only file stays as it was; any other
        // gets the nine settings as well-formed lines, once each.
        dialog = OpenSettingsDialog();
        Click(dialog, IDC_SAVE_INI, true);
        Click(dialog, IDC_RECEIVE_CS, true);
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        DestroyWindow(dialog);
        const std::string after = ReadSettingsFile();
        if (c.ReadOnly) {
            EXPECT_TRUE(after == before) << c.Name << ": a read-only file was written (the platform "
                                         << (refuses ? "refuses" : "allows") << " opening it for writing; attributes now "
                                         << GetFileAttributesA("telomi.ini") << ")";
        } else {
            const auto section1 = SectionLines(after, "section1");
            for (const char* key : {"ini", "BS", "CS", "Auto", "chaeck"}) {
                EXPECT_EQ(section1.count(key), 1u) << c.Name << ": " << key;
                const auto line = section1.find(key);
                if (line != section1.end())
                    EXPECT_TRUE(line->second == "0" || line->second == "1")
                        << c.Name << ": " << key << "=" << line->second.substr(0, 40);
            }
            EXPECT_EQ(section1.count("CS") ? section1.find("CS")->second : "", "1") << c.Name << ": the change was saved";
            const auto section2 = SectionLines(after, "section2");
            const struct {
                const char* Key;
                long Highest;
            } numbers[] = {{"Genre", 14}, {"Time", 12}, {"Region", 46}, {"ago", 99999}};
            for (const auto& number : numbers) {
                EXPECT_EQ(section2.count(number.Key), 1u) << c.Name << ": " << number.Key;
                const auto line = section2.find(number.Key);
                if (line != section2.end())
                    EXPECT_TRUE(IsNumberIn(line->second, number.Key == std::string("ago") ? 1 : 0, number.Highest))
                        << c.Name << ": " << number.Key << "=" << line->second.substr(0, 40);
            }
            const auto site = SectionLines(after, "site");
            EXPECT_EQ(site.count("Host"), 1u) << c.Name;
            if (site.count("Host"))
                EXPECT_EQ(site.find("Host")->second, SimulatorHost()) << c.Name << ": the host line is kept";
        }
    };

    for (const AbuseCase& c : cases) {
        runCase(c);
        CloseMainWindow();
        RemoveSettingsFile();
    }
}
