#include "app/app_state.h"
#include "app/settings.h"
#include "res/resource.h"
#include "tests/win/test_support.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

HWND OpenSettingsDialog()
{
    HWND dialog = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_SETTINGS), MainWnd, SettingsDialogProc, 0);
    ShowWindow(dialog, SW_SHOW);
    return dialog;
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

void Choose(HWND dialog, int id, const char* label)
{
    HWND list = GetDlgItem(dialog, id);
    SendMessageA(list, CB_SETCURSEL, SendMessageA(list, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(label)), 0);
    Command(dialog, id, CBN_SELCHANGE);
}

std::string Selected(HWND dialog, int id)
{
    char text[64] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

bool Ticked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

std::vector<std::string> NonEmptyLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(Settings, WithoutAFileTheDialogShowsTheDefaults)
{
    RemoveSettingsFile();
    StartMainWindow();
    HWND dialog = OpenSettingsDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(Ticked(dialog, IDC_SAVE_INI));
    EXPECT_TRUE(Ticked(dialog, IDC_RECEIVE_BS));
    EXPECT_FALSE(Ticked(dialog, IDC_RECEIVE_CS));
    EXPECT_FALSE(Ticked(dialog, IDC_AUTO_FETCH));
    EXPECT_TRUE(Ticked(dialog, IDC_CHECK_ALL));
    EXPECT_EQ(Selected(dialog, IDC_DEFAULT_GENRE), "アニメ・特撮");
    EXPECT_EQ(Selected(dialog, IDC_DEFAULT_TIME), "23:00～29:00");
    EXPECT_EQ(Selected(dialog, IDC_DEFAULT_REGION), "東京");
    EXPECT_EQ(Selected(dialog, IDC_DEFAULT_MINUTES), "5");
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_DEFAULT_GENRE, CB_GETCOUNT, 0, 0), 15);
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_DEFAULT_TIME, CB_GETCOUNT, 0, 0), 13);
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_DEFAULT_REGION, CB_GETCOUNT, 0, 0), 47);

    // Esc and the close box do nothing: the dialog stays.
    Command(dialog, IDCANCEL);
    SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    PumpFor(20);
    EXPECT_TRUE(IsWindow(dialog) && IsWindowVisible(dialog));
    DestroyWindow(dialog);
    CloseMainWindow();
}

TEST(Settings, OkWritesTheFileInOrderOnlyWhileSavingIsTicked)
{
    RemoveSettingsFile();
    StartMainWindow();

    HWND dialog = OpenSettingsDialog();
    Tick(dialog, IDC_RECEIVE_CS, true);
    Command(dialog, IDOK);
    EXPECT_EQ(GetFileAttributesA("telomi.ini"), INVALID_FILE_ATTRIBUTES) << "unticked 1004 writes nothing";
    EXPECT_TRUE(ReceiveCS) << "the change is live all the same";
    DestroyWindow(dialog);

    dialog = OpenSettingsDialog();
    EXPECT_FALSE(Ticked(dialog, IDC_RECEIVE_CS)) << "reopening brings back the file's value";
    Tick(dialog, IDC_SAVE_INI, true);
    Tick(dialog, IDC_RECEIVE_BS, false);
    Tick(dialog, IDC_AUTO_FETCH, true);
    Choose(dialog, IDC_DEFAULT_REGION, "沖縄");
    Choose(dialog, IDC_DEFAULT_TIME, "05:00～11:00");
    Choose(dialog, IDC_DEFAULT_GENRE, "全て");
    SetDlgItemTextA(dialog, IDC_DEFAULT_MINUTES, "12");
    Command(dialog, IDOK);
    DestroyWindow(dialog);
    const std::vector<std::string> expected = {"[section1]", "ini=1", "BS=0", "CS=0", "Auto=1", "chaeck=1",
                                               "[section2]", "Genre=14", "Time=0", "Region=46", "ago=12"};
    EXPECT_EQ(NonEmptyLines(ReadSettingsFile()), expected);

    // Unticking 1004 stops saving but leaves the file as it is.
    dialog = OpenSettingsDialog();
    EXPECT_TRUE(Ticked(dialog, IDC_SAVE_INI));
    EXPECT_EQ(Selected(dialog, IDC_DEFAULT_REGION), "沖縄");
    Tick(dialog, IDC_SAVE_INI, false);
    Tick(dialog, IDC_RECEIVE_BS, true);
    Command(dialog, IDOK);
    DestroyWindow(dialog);
    EXPECT_EQ(NonEmptyLines(ReadSettingsFile()), expected);
    CloseMainWindow();
    RemoveSettingsFile();
}

TEST(Settings, MinutesRuleOnOk)
{
    struct Case {
        const char* Typed;
        int Minutes;
    };
    const Case cases[] = {{"12", 12}, {"", 5}, {"0", 5}, {"00", 5}, {"-3", 5}, {"7x", 5}, {"123456", 12345}};
    RemoveSettingsFile();
    StartMainWindow();
    for (const Case& c : cases) {
        HWND dialog = OpenSettingsDialog();
        SetDlgItemTextA(dialog, IDC_DEFAULT_MINUTES, c.Typed);
        Command(dialog, IDOK);
        EXPECT_EQ(MinutesBefore, c.Minutes) << "typed " << c.Typed;
        DestroyWindow(dialog);
    }
    CloseMainWindow();
}

TEST(Settings, ReadingTheFile)
{
    struct Case {
        const char* Name;
        const char* Text;
        bool BS, CS, Auto;
        int Region, Minutes;
    };
    const Case cases[] = {
        {"any value but 0 is on", "[section1]\r\nBS=2\r\nCS=-1\r\nAuto=0\r\n[section2]\r\nRegion=3\r\nago=30", true, true,
         false, 3, 30},
        {"missing sections give the defaults", "", true, false, false, 7, 5},
        {"text and huge numbers give the defaults", "[section1]\r\nBS=abc\r\n[section2]\r\nRegion=99999999999\r\nago=-20",
         false, false, false, 7, 5},
    };
    for (const Case& c : cases) {
        WriteSettingsFile(c.Text);
        LoadSettings();
        EXPECT_EQ(bool(ReceiveBS), c.BS) << c.Name;
        EXPECT_EQ(bool(ReceiveCS), c.CS) << c.Name;
        EXPECT_EQ(bool(AutoFetch), c.Auto) << c.Name;
        EXPECT_EQ(RegionPos, c.Region) << c.Name;
        EXPECT_EQ(MinutesBefore, c.Minutes) << c.Name;
        EXPECT_EQ(std::string(SiteHost), SimulatorHost()) << c.Name;
    }
    RemoveSettingsFile();
}

TEST(Settings, TheButtonRunsTheDialogModallyUntilOk)
{
    RemoveSettingsFile();
    StartMainWindow();
    static bool SawDialog;
    SawDialog = false;
    SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR timer, DWORD) {
        HWND dialog = FindWindowA("#32770", "設定");
        if (!dialog)
            return;
        KillTimer(nullptr, timer);
        SawDialog = IsWindowEnabled(MainWnd) == FALSE;
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0); // ignored
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    SendMessageA(MainWnd, WM_COMMAND, IDC_SETTINGS, 0);
    EXPECT_TRUE(SawDialog) << "the owner is disabled while the dialog runs";
    EXPECT_EQ(FindWindowA("#32770", "設定"), nullptr);
    CloseMainWindow();
}
