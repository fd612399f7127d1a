#include "app/app_state.h"
#include "app/reminders.h"
#include "res/resource.h"
#include "tests/win/test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <utility>

namespace {

constexpr int Undated = 99999; // no date on the page: never due
// A programme starting the given number of minutes from the current local minute.
int AddProgramme(const char* title, int minutes)
{
    SYSTEMTIME at = {};
    if (minutes != Undated) {
        GetLocalTime(&at);
        at.wSecond = at.wMilliseconds = 0;
        ULARGE_INTEGER ticks;
        SystemTimeToFileTime(&at, reinterpret_cast<FILETIME*>(&ticks));
        ticks.QuadPart += minutes * 600000000LL;
        FileTimeToSystemTime(reinterpret_cast<FILETIME*>(&ticks), &at);
    }
    TELOMI* record = ProgrammeList.Append();
    std::strcpy(record->Title, title);
    std::tie(record->Month, record->Day, record->StartHour, record->StartMinute) =
        std::tuple(at.wMonth, at.wDay, at.wHour, at.wMinute);
    record->AddRow();
    return ProgrammeCount++;
}

// Ticks the rows and types a lead time of 5 minutes.
void TickRows(std::initializer_list<int> rows)
{
    for (int row : rows)
        ListView_SetCheckState(MainListView, row, TRUE);
    SetWindowTextA(MinutesEdit, "5");
}

void Press(int id) { SendMessageA(MainWnd, WM_COMMAND, id, 0); }
void Send(UINT message, WPARAM wParam = 0) { SendMessageA(MainWnd, message, wParam, 0); }
// Whether the main window had timer `id`; the timer is gone afterwards.
bool TakeTimer(int id) { return KillTimer(MainWnd, static_cast<UINT_PTR>(id)) != 0; }

std::string WindowText(HWND window)
{
    char text[512] = {};
    return {text, static_cast<size_t>(GetWindowTextA(window, text, sizeof text))};
}

// Message boxes are modal: a thread timer, run by the box's own loop, notes
// each new box as "caption|text", flagging a main window left hidden, and closes it.
using Texts = std::vector<std::string>;
Texts Boxes;
std::function<void()> WhileFirstBoxOpen;
void CALLBACK CloseBoxes(HWND, UINT, UINT_PTR, DWORD)
{
    for (HWND box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", nullptr));) {
        if (GetPropA(box, "seen") || !SetPropA(box, "seen", reinterpret_cast<HANDLE>(1)))
            continue;
        char text[512] = {};
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        const bool shown = GetWindow(box, GW_OWNER) == MainWnd && IsWindowVisible(MainWnd) && InTray == 0;
        Boxes.push_back(WindowText(box) + "|" + text + (shown ? "" : "|main hidden"));
        if (Boxes.size() == 1 && WhileFirstBoxOpen)
            std::exchange(WhileFirstBoxOpen, nullptr)();
        SendMessageA(box, WM_COMMAND, IDOK, 0);
    }
}

std::vector<DWORD> IconCalls;
NOTIFYICONDATAA LastIcon;
BOOL IconAnswer = TRUE;
BOOL WINAPI RecordIconCall(DWORD message, PNOTIFYICONDATAA record)
{
    IconCalls.push_back(message);
    LastIcon = *record;
    return IconAnswer;
}
std::tuple<int, bool> TrayAndShown() { return {InTray, IsWindowVisible(MainWnd) != 0}; }

class Reminders : public testing::Test {
protected:
    void SetUp() override
    {
        RemoveSettingsFile();
        StartMainWindow();
        IconCalls.clear();
        IconAnswer = TRUE;
        TrayIconCall = RecordIconCall;
        Boxes.clear();
        BoxTimer = SetTimer(nullptr, 0, 20, CloseBoxes);
    }
    void TearDown() override
    {
        KillTimer(nullptr, BoxTimer);
        TrayIconCall = Shell_NotifyIconA;
        CloseMainWindow();
    }
    UINT_PTR BoxTimer = 0;
};

} // namespace

TEST_F(Reminders, SortedRowsArmTheProgrammeTheyShow)
{
    const struct { const char* Title; int StartsIn; bool Ticked, Armed; } programmes[] = {
        {"う番組", 120, true, true}, {"あ番組", 180, false, false}, {"お番組", -10, true, false},
        {"い番組", 240, true, true}, {"え番組", 3, true, false} /* moment passed */,
        {"か番組", 5, true, false} /* moment is this minute */, {"き番組", 24 * 60, true, true},
        {"く番組", Undated, true, false},
    };
    const int count = static_cast<int>(std::size(programmes));
    for (const auto& p : programmes)
        AddProgramme(p.Title, p.StartsIn);
    NMLISTVIEW click = {{MainListView, IDC_LIST, static_cast<UINT>(LVN_COLUMNCLICK)}, -1, 0, 0, 0, 0, {}, 0};
    SendMessageA(MainWnd, WM_NOTIFY, IDC_LIST, reinterpret_cast<LPARAM>(&click));
    int moved = 0;
    for (int row = 0; row < count; ++row) {
        moved += ListItemData(MainListView, row) != row;
        for (const auto& p : programmes)
            if (p.Ticked && ListText(MainListView, row, 0) == p.Title)
                TickRows({row});
    }
    ASSERT_GT(moved, 0) << "sorted by title";
    Press(IDC_REMINDER);
    for (int i = 0; i <= count; ++i)
        EXPECT_EQ(TakeTimer(i), i < count && programmes[i].Armed) << i;
}

TEST_F(Reminders, SwitchingReadsTheMinutesLocksAndKillsEveryTimer)
{
    for (int minutes : {30, 60, 300})
        AddProgramme("番組", minutes);
    TickRows({0, 1, 2});
    const struct { const char* Typed; int Minutes; const char* Shown; bool Armed; } cases[] = {
        {"12", 12, "12", true}, {"45", 45, "45", false}, {"", 5, "5", true},
        {"0", 5, "5", true},    {"123456", 12345, "12345", false},
    };
    for (const auto& c : cases) {
        SetWindowTextA(MinutesEdit, c.Typed);
        for (const bool on : {true, false}) {
            Press(IDC_REMINDER);
            EXPECT_EQ(RemindersOn != 0, on);
            EXPECT_EQ(IsWindowEnabled(FetchButton) == 0, on);
            EXPECT_EQ(IsWindowEnabled(MainListView) == 0, on);
            EXPECT_EQ((GetWindowLongA(MinutesEdit, GWL_STYLE) & ES_READONLY) != 0, on);
            EXPECT_EQ(WindowText(ReminderButton), on ? "お知らせをOFFに" : "お知らせをONに");
            if (on) {
                EXPECT_EQ(MinutesBefore, c.Minutes) << '"' << c.Typed << '"';
                EXPECT_EQ(WindowText(MinutesEdit), c.Shown) << '"' << c.Typed << '"';
                EXPECT_EQ(TakeTimer(0), c.Armed) << '"' << c.Typed << '"';
                SetTimer(MainWnd, 0, 100000, nullptr); // as if armed
            }
        }
        for (int i = 0; i < 3; ++i)
            EXPECT_FALSE(TakeTimer(i)) << "left running by switching off: " << i;
    }
}

TEST_F(Reminders, TrayHidesTheWindowUntilADoubleClickOrADueReminder)
{
    const int news = AddProgramme("ニュース７", 120);
    const int drama = AddProgramme("大河ドラマ", 180);
    const int distant = AddProgramme("遠い番組", 26 * 24 * 60); // past the longest timer
    TickRows({0, 1, 2});
    Press(IDC_REMINDER);
    IconAnswer = FALSE;
    Press(IDC_TRAY);
    EXPECT_EQ(TrayAndShown(), std::tuple(0, true)) << "refused icon";
    IconAnswer = TRUE;
    Press(IDC_TRAY);
    EXPECT_EQ(std::tuple(LastIcon.cbSize, LastIcon.hWnd, LastIcon.uID, LastIcon.uFlags, LastIcon.uCallbackMessage),
              std::tuple(static_cast<DWORD>(sizeof LastIcon), MainWnd, 0u,
                         static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP), static_cast<UINT>(WM_TRAYICON)));
    EXPECT_EQ(LastIcon.hIcon, LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_TELOMIYA)));
    EXPECT_STREQ(LastIcon.szTip, "てろみや");
    SendMessageA(MainWnd, WM_TRAYICON, 0, WM_LBUTTONDOWN);
    EXPECT_EQ(TrayAndShown(), std::tuple(1, false)) << "only a double click brings it back";
    SendMessageA(MainWnd, WM_TRAYICON, 0, WM_LBUTTONDBLCLK);
    EXPECT_EQ(TrayAndShown(), std::tuple(0, true));
    Press(IDC_TRAY);
    Send(WM_TIMER, news);
    EXPECT_EQ(Boxes, Texts{"開始5分前です|ニュース７ が始まります"});
    EXPECT_FALSE(TakeTimer(news)) << "a timer is used once";
    MinutesBefore = 7;
    Send(WM_TIMER, drama);
    // The same programme again, a foreign id, a timer cut short: no box.
    for (int id : {news, static_cast<int>(ProgrammeCount), distant})
        Send(WM_TIMER, id);
    PumpFor(100);
    EXPECT_EQ(Boxes, (Texts{"開始5分前です|ニュース７ が始まります", "開始7分前です|大河ドラマ が始まります"}));
    EXPECT_EQ(IconCalls, (std::vector<DWORD>{NIM_ADD, NIM_ADD, NIM_DELETE, NIM_ADD, NIM_DELETE}));
    EXPECT_TRUE(TakeTimer(distant)) << "waits for the rest of its delay";
}

TEST_F(Reminders, ResumeRederivesTimersFromTheWallClockShowingEachOnce)
{
    const int soon = AddProgramme("まもなく", 3); // moment passed, not started
    const int soon2 = AddProgramme("もうすぐ", 2);
    const int later = AddProgramme("あとで", 120);
    const int started = AddProgramme("放送中", -10);
    const int unticked = AddProgramme("見ない番組", 2);
    const int reminded = AddProgramme("通知済み", 4);
    TickRows({soon, soon2, later, started, reminded});
    Send(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC);
    EXPECT_TRUE(Boxes.empty()) << "reminders are off";
    Press(IDC_REMINDER);
    Send(WM_TIMER, reminded);
    ASSERT_EQ(Boxes.size(), 1u);
    // A lost timer and a stale one, as a sleep leaves them; the clock changes inside the first box.
    KillTimer(MainWnd, later);
    SetTimer(MainWnd, started, 100000, nullptr);
    Boxes.clear();
    WhileFirstBoxOpen = [] { Send(WM_TIMECHANGE); };
    Send(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC);
    EXPECT_TRUE(TakeTimer(later));
    Send(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND);
    EXPECT_TRUE(TakeTimer(later));
    Send(WM_TIMECHANGE);
    Send(WM_TIMER, soon);
    PumpFor(100);
    EXPECT_EQ(Boxes, (Texts{"開始5分前です|まもなく が始まります", "開始5分前です|もうすぐ が始まります"}));
    for (int i : {soon, soon2, later, started, unticked, reminded})
        EXPECT_EQ(TakeTimer(i), i == later) << i;
}
