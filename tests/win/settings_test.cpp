// The settings file and dialog, also with files no one would write by hand:
// numbers out of every range, text, a huge line, binary bytes, read-only.
#include "app/settings.h"
#include "tests/win/test_support.h"

#include <sstream>

namespace {

HWND OpenSettingsDialog()
{
    return CreateDialogParamW(AppInstance, MAKEINTRESOURCEW(IDD_SETTINGS), MainWnd, SettingsDialogProc, 0);
}

void Command(HWND dialog, int id, int code = BN_CLICKED)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void Tick(HWND dialog, int id, bool on)
{
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
    Command(dialog, id);
}

void Ok(HWND dialog)
{
    Command(dialog, IDOK);
    DestroyWindow(dialog);
}

// The key=value lines of an ini text in file order, each behind its section: "section1/BS=1".
std::vector<std::string> IniLines(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line, section;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[')
            section = line.substr(1, line.find(']') - 1);
        else if (line.find('=') != std::string::npos)
            lines.push_back(section + "/" + line);
    }
    return lines;
}

} // namespace

TEST(SettingsAbuse, StartsWithSaneValuesAndNeverWritesGarbage)
{
    const std::string megabyteOfText(1 << 20, 'x');
    std::string binary = "[section1]\r\nBS=";
    for (int i = 0; i < 512; ++i)
        binary += static_cast<char>((i * 37) & 0xFF);
    const char tail[] = "\r\n[section2]\r\nRegion=3\r\n\r\r\n\0\0ago=\xFF\xFE\r\n";
    binary += std::string(tail, sizeof tail - 1); // zero bytes included
    // Site: the lines after the host. The values the file states or leaves to their defaults; -1: any sane one
    // (1 to 99999 minutes, 1 to 8 connections). Shown: the genre, time, region and day lists' selections.
    const std::vector<std::string> defaults = {"アニメ・特撮", "23:00～29:00", "東京", "今日"};
    struct FileCase { const char* Name; std::string Text, Site; int BS, CS, Region, Minutes, Connections; bool ReadOnly = false;
                      std::vector<std::string> Shown = {}; };
    const FileCase cases[] = {
        {"not 0 is on, Connections 8", "[section1]\r\nBS=2\r\nCS=-1\r\n[section2]\r\nGenre=14\r\nTime=7\r\nRegion=46\r\nago=30",
         "Connections=8", 1, 1, 46, 30, 8, false, {"全て", "19:00～25:00", "沖縄", "今日"}},
        {"huge numbers",
         "[section1]\r\nini=99999999999\r\nBS=4294967296\r\nCS=99999999999999999999\r\nAuto=0\r\n[section2]\r\n"
         "Genre=15\r\nTime=4294967295\r\nRegion=99999999999\r\nago=100000",
         "Connections=4294967297", -1, -1, 7, 5, -1, false, defaults},
        {"negative numbers",
         "[section1]\r\nBS=-1\r\nCS=-99\r\n[section2]\r\nGenre=-1\r\nTime=-13\r\nRegion=-2147483648\r\nago=-5",
         "Connections=-3", -1, -1, -1, 5, 4, false, defaults},
        {"missing sections, Connections 0", "", "Connections=0", 1, 0, 7, 5, 4, false, defaults},
        {"a line of 1 MB of digits, one of text, Connections 9",
         "[section1]\r\nCS=0\r\n[section2]\r\nago=" + std::string(1 << 20, '7') + "\r\n" + megabyteOfText + "\r\nRegion=12",
         "Connections=9", 1, 0, 12, -1, 4}, {"bytes that are no text", binary, "", -1, -1, -1, -1, 4},
        {"read-only with garbage", "[section1]\r\nini=1\r\nBS=0\r\n[section2]\r\nRegion=20\r\nGenre=-7\r\nago=15\r\n" +
         megabyteOfText, "", 0, 0, 20, 15, 4, true}};
    // One case; a failed ASSERT returns here and the cleanup below still runs.
    auto runCase = [&](const FileCase& c) {
        WriteSettingsFileWithSite(c.Text, c.Site);
        if (c.ReadOnly)
            ASSERT_TRUE(SetFileAttributesA("telomi.ini", FILE_ATTRIBUTE_READONLY)) << c.Name;
        const std::string before = ReadSettingsFile();
        ASSERT_NE(StartMainWindow(), nullptr) << c.Name;
        EXPECT_FALSE(RetrievalRunning) << c.Name << ": nothing asked for a retrieval";
        const std::vector<std::string> shown = {WindowText(GenreCombo), WindowText(TimeCombo), WindowText(RegionCombo),
                                                WindowText(DayCombo)};
        EXPECT_TRUE(c.Shown.empty() ? std::count(shown.begin(), shown.end(), "") == 0 : shown == c.Shown) << c.Name;
        EXPECT_EQ(WindowText(MinutesEdit), std::to_string(MinutesBefore)) << c.Name;
        const int expected[] = {c.BS, c.CS, c.Region, c.Minutes, c.Connections};
        const int loaded[] = {ReceiveBS, ReceiveCS, RegionPos, MinutesBefore, DetailConnections};
        const int lowest[] = {0, 0, 0, 1, 1}, highest[] = {1, 1, 46, 99999, 8};
        for (int i = 0; i < 5; ++i)
            EXPECT_TRUE(expected[i] < 0 ? loaded[i] >= lowest[i] && loaded[i] <= highest[i] : loaded[i] == expected[i])
                << c.Name << ": value " << i << ": " << loaded[i];
        EXPECT_EQ(std::string(SiteHost), SimulatorHost()) << c.Name;
        // The dialog shows the same; OK without saving writes nothing.
        HWND dialog = OpenSettingsDialog();
        for (const auto& [id, control] : {std::pair{IDC_DEFAULT_GENRE, GenreCombo}, {IDC_DEFAULT_TIME, TimeCombo},
                                          {IDC_DEFAULT_REGION, RegionCombo}, {IDC_DEFAULT_MINUTES, MinutesEdit}})
            EXPECT_EQ(WindowText(GetDlgItem(dialog, id)), WindowText(control)) << c.Name << ", dialog item " << id;
        Tick(dialog, IDC_SAVE_INI, false);
        Ok(dialog);
        EXPECT_TRUE(ReadSettingsFile() == before) << c.Name << ": the file was changed without saving ticked";
        // OK with saving ticked: a read-only file stays as it was, any other
        // gets the nine settings in effect, once each, and keeps the host.
        dialog = OpenSettingsDialog();
        Tick(dialog, IDC_SAVE_INI, true);
        Tick(dialog, IDC_RECEIVE_CS, true);
        Ok(dialog);
        const std::string after = ReadSettingsFile();
        if (c.ReadOnly) {
            EXPECT_TRUE(after == before) << c.Name << ": a read-only file was written";
            return;
        }
        auto n = [](int value) { return std::to_string(value); };
        const std::string saved[] = {"section1/ini=1", "section1/BS=" + n(ReceiveBS), "section1/CS=1",
                                     "section1/Auto=" + n(AutoFetch), "section1/chaeck=" + n(CheckAllOnDone),
                                     "section2/Genre=" + n(GenrePos), "section2/Time=" + n(TimePos),
                                     "section2/Region=" + n(RegionPos), "section2/ago=" + n(MinutesBefore),
                                     "site/Host=" + SimulatorHost()};
        const auto lines = IniLines(after);
        for (const std::string& line : saved) { // the line itself, and no other with its key
            auto sameKey = [&](const std::string& other) { return other.rfind(line.substr(0, line.find('=') + 1), 0) == 0; };
            EXPECT_EQ(std::count_if(lines.begin(), lines.end(), sameKey), 1) << c.Name << ": " << line;
            EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << c.Name << ": " << line;
        }
    };

    for (const FileCase& c : cases) {
        runCase(c);
        EndTest();
    }
}

TEST(Settings, TheDialogRunsModallyAndWritesTheFileInOrderOnlyWhileSavingIsTicked)
{
    StartMainWindow();
    static bool OwnerDisabled, StayedOpen;
    SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR timer, DWORD) {
        HWND dialog = FindWindowW(L"#32770", L"設定");
        OwnerDisabled = KillTimer(nullptr, timer) && !IsWindowEnabled(MainWnd);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        StayedOpen = IsWindowVisible(dialog);
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    SendMessageA(MainWnd, WM_COMMAND, IDC_SETTINGS, 0);
    EXPECT_TRUE(OwnerDisabled) << "the owner is disabled while the dialog runs";
    EXPECT_TRUE(StayedOpen && !FindWindowW(L"#32770", L"設定")) << "Esc and the close box do nothing, OK closes";

    HWND dialog = OpenSettingsDialog();
    std::string ticks; // without a file only BS and check-all are ticked
    for (int id : {IDC_SAVE_INI, IDC_RECEIVE_BS, IDC_RECEIVE_CS, IDC_AUTO_FETCH, IDC_CHECK_ALL})
        ticks += IsDlgButtonChecked(dialog, id) == BST_CHECKED ? '1' : '0';
    EXPECT_EQ(ticks, "01001");
    Tick(dialog, IDC_RECEIVE_CS, true);
    Command(dialog, IDOK);
    EXPECT_EQ(GetFileAttributesA("telomi.ini"), INVALID_FILE_ATTRIBUTES) << "unticked 1004 writes nothing";
    EXPECT_TRUE(ReceiveCS) << "the change is live all the same";
    DestroyWindow(dialog);

    dialog = OpenSettingsDialog();
    EXPECT_FALSE(IsDlgButtonChecked(dialog, IDC_RECEIVE_CS)) << "reopening brings back the file's value";
    Tick(dialog, IDC_SAVE_INI, true);
    Tick(dialog, IDC_RECEIVE_BS, false);
    Tick(dialog, IDC_AUTO_FETCH, true);
    for (const auto& [id, label] : {std::pair{IDC_DEFAULT_REGION, L"沖縄"}, {IDC_DEFAULT_TIME, L"05:00～11:00"},
                                    {IDC_DEFAULT_GENRE, L"全て"}}) {
        SendDlgItemMessageW(dialog, id, CB_SELECTSTRING, -1, reinterpret_cast<LPARAM>(label));
        Command(dialog, id, CBN_SELCHANGE);
    }
    SetDlgItemTextA(dialog, IDC_DEFAULT_MINUTES, "12");
    Ok(dialog);
    const std::vector<std::string> expected = {
        "section1/ini=1",    "section1/BS=0",   "section1/CS=0",     "section1/Auto=1",  "section1/chaeck=1",
        "section2/Genre=14", "section2/Time=0", "section2/Region=46", "section2/ago=12"};
    EXPECT_EQ(IniLines(ReadSettingsFile()), expected);

    // Unticking 1004 stops saving but leaves the file as it is.
    dialog = OpenSettingsDialog();
    EXPECT_TRUE(IsDlgButtonChecked(dialog, IDC_SAVE_INI));
    Tick(dialog, IDC_SAVE_INI, false);
    Tick(dialog, IDC_RECEIVE_BS, true);
    Ok(dialog);
    EXPECT_EQ(IniLines(ReadSettingsFile()), expected);

    // The minutes on OK: 1 to 99999, else 5; the field gives five characters.
    const std::pair<const char*, int> minutes[] = {{"", 5}, {"0", 5}, {"-3", 5}, {"7x", 5}, {"123456", 12345}};
    for (const auto& [typed, value] : minutes) {
        dialog = OpenSettingsDialog();
        SetDlgItemTextA(dialog, IDC_DEFAULT_MINUTES, typed);
        Ok(dialog);
        EXPECT_EQ(MinutesBefore, value) << "typed " << typed;
    }
}

TEST(Settings, AnAddressTheFileCannotHoldIsRefusedAndAJapanesePathIsKeptByteForByte)
{
    WriteSettingsFileWithSite("[section1]\r\nini=1\r\n[xmltv]\r\nAddress=old.xml");
    StartMainWindow();
    const std::string before = ReadSettingsFile();
    HWND dialog = OpenSettingsDialog();
    ShowWindow(dialog, SW_SHOWNORMAL);
    static HWND BoxOwner;
    WhileBoxOpen = [] { BoxOwner = GetWindow(FindWindowW(L"#32770", L"てろみや"), GW_OWNER); };
    // Hangul and emoji have no code in code page 932; 1024 bytes leave no room for the zero.
    const std::wstring refused[] = {L"C:\\テレビ\\한국.xml", L"😀.xml", std::wstring(1024, L'x')};
    for (const std::wstring& typed : refused) {
        Boxes.clear();
        SetDlgItemTextW(dialog, IDC_XMLTV_ADDRESS, typed.c_str());
        SetDlgItemTextA(dialog, IDC_DEFAULT_MINUTES, "12");
        Command(dialog, IDOK);
        EXPECT_TRUE(Boxes.size() == 1 && BoxOwner == dialog && IsWindowVisible(dialog))
            << typed.size() << " units: one box over the dialog, which stays open";
        EXPECT_TRUE(ReadSettingsFile() == before && std::string(XmltvAddress) == "old.xml" && MinutesBefore == 5)
            << typed.size() << " units: nothing is kept";
    }
    // In code page 932 "表" and "ソ" end in a backslash.
    SetDlgItemTextW(dialog, IDC_XMLTV_ADDRESS, L"C:\\番組表\\ソフト.xml");
    Ok(dialog);
    const std::string path = "C:\\番組表\\ソフト.xml";
    EXPECT_NE(ReadSettingsFile().find("[xmltv]\r\nAddress=" + path + "\r\n"), std::string::npos) << ReadSettingsFile();
    dialog = OpenSettingsDialog(); // which reads the file again
    wchar_t shown[64] = {};
    GetDlgItemTextW(dialog, IDC_XMLTV_ADDRESS, shown, 64);
    EXPECT_TRUE(std::string(XmltvAddress) == path && std::wstring(shown) == L"C:\\番組表\\ソフト.xml") << XmltvAddress;
}
