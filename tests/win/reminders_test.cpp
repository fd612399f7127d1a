#include "app/app_state.h"
#include "app/reminders.h"
#include "res/resource.h"
#include "tests/win/test_support.h"

#include <commctrl.h>
#include <shellapi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

// A start that lies the given number of minutes from the current local minute.
struct StartTime {
    int Month, Day, Hour, Minute;
};

StartTime LocalTimeIn(int minutes)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    now.wSecond = 0;
    now.wMilliseconds = 0;
    FILETIME file;
    SystemTimeToFileTime(&now, &file);
    ULARGE_INTEGER ticks;
    ticks.LowPart = file.dwLowDateTime;
    ticks.HighPart = file.dwHighDateTime;
    ticks.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(minutes) * 60 * 10000000);
    file.dwLowDateTime = ticks.LowPart;
    file.dwHighDateTime = ticks.HighPart;
    FileTimeToSystemTime(&file, &now);
    return {now.wMonth, now.wDay, now.wHour, now.wMinute};
}

int AddProgramme(const char* title, const StartTime& start)
{
    TELOMI* record = ProgrammeList.Append();
    std::strcpy(record->Title, title);
    record->Month = start.Month;
    record->Day = start.Day;
    record->StartHour = start.Hour;
    record->StartMinute = start.Minute;
    record->AddRow();
    return ProgrammeCount++;
}

int AddProgrammeIn(const char* title, int minutes)
{
    return AddProgramme(title, LocalTimeIn(minutes));
}

int RowShowing(const std::string& title)
{
    for (int row = 0; row < ListRowCount(MainListView); ++row)
        if (ListText(MainListView, row, 0) == title)
            return row;
    return -1;
}

void TickRow(int row, bool ticked)
{
    LVITEMA item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(ticked ? 2 : 1);
    SendMessageA(MainListView, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

void TickProgramme(const char* title)
{
    TickRow(RowShowing(title), true);
}

void Press(int id)
{
    SendMessageA(MainWnd, WM_COMMAND, id, 0);
}

// Whether the main window had timer `id`; the timer is gone afterwards.
bool TakeTimer(int id)
{
    return KillTimer(MainWnd, static_cast<UINT_PTR>(id)) != 0;
}

std::string WindowText(HWND window)
{
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Message boxes are modal: a thread timer, dispatched by the box's own message
// loop, notes what each box shows and closes it.
struct SeenBox {
    std::string Caption;
    std::string Text;
    bool OwnedByMain;
    int InTrayThen;
    bool MainVisibleThen;
};
std::vector<SeenBox> Boxes;
// Runs once while the first box is open, before it is closed.
std::function<void()> WhileFirstBoxOpen;

BOOL CALLBACK CollectDialogs(HWND window, LPARAM lParam)
{
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0 && !GetPropA(window, "seen"))
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM lParam)
{
    char className[32] = {};
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") == 0)
        *reinterpret_cast<std::string*>(lParam) += WindowText(child);
    return TRUE;
}

void CALLBACK CloseBoxes(HWND, UINT, UINT_PTR, DWORD)
{
    std::vector<HWND> found;
    EnumThreadWindows(GetCurrentThreadId(), CollectDialogs, reinterpret_cast<LPARAM>(&found));
    for (HWND box : found) {
        SetPropA(box, "seen", reinterpret_cast<HANDLE>(1));
        SeenBox seen{WindowText(box), "", GetWindow(box, GW_OWNER) == MainWnd, InTray, IsWindowVisible(MainWnd) != 0};
        EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&seen.Text));
        Boxes.push_back(seen);
        if (Boxes.size() == 1 && WhileFirstBoxOpen) {
            auto action = std::move(WhileFirstBoxOpen);
            WhileFirstBoxOpen = nullptr;
            action();
        }
        SendMessageA(box, WM_COMMAND, IDOK, 0);
    }
}

class BoxCloser {
public:
    BoxCloser()
    {
        Boxes.clear();
        WhileFirstBoxOpen = nullptr;
        Timer = SetTimer(nullptr, 0, 20, CloseBoxes);
    }
    ~BoxCloser() { KillTimer(nullptr, Timer); }

private:
    UINT_PTR Timer;
};

std::vector<std::string> BoxTexts()
{
    std::vector<std::string> texts;
    for (const SeenBox& box : Boxes)
        texts.push_back(box.Text);
    return texts;
}

struct IconCall {
    DWORD Message;
    NOTIFYICONDATAA Record;
};
std::vector<IconCall> IconCalls;
BOOL IconAnswer = TRUE;
bool UseRealShell = false;
std::vector<BOOL> ShellAnswers;

BOOL WINAPI RecordIconCall(DWORD message, PNOTIFYICONDATAA record)
{
    IconCalls.push_back({message, *record});
    if (!UseRealShell)
        return IconAnswer;
    const BOOL answer = Shell_NotifyIconA(message, record);
    ShellAnswers.push_back(answer);
    return answer;
}

class Reminders : public testing::Test {
protected:
    void SetUp() override
    {
        RemoveSettingsFile();
        StartMainWindow();
        IconCalls.clear();
        ShellAnswers.clear();
        IconAnswer = TRUE;
        UseRealShell = false;
        TrayIconCall = RecordIconCall;
    }
    void TearDown() override
    {
        if (InTray == 1)
            ToggleTray();
        TrayIconCall = Shell_NotifyIconA;
        CloseMainWindow();
    }
};

} // namespace

TEST_F(Reminders, SortedRowsArmTheProgrammeTheyShow)
{
    struct Programme {
        const char* Title;
        int StartsIn; // minutes from now
        bool Ticked;
        bool Armed;
    };
    const Programme programmes[] = {
        {"う番組", 120, true, true},
        {"あ番組", 180, false, false},
        {"お番組", -10, true, false},   // already started
        {"い番組", 240, true, true},
        {"え番組", 3, true, false},     // its moment passed, 5 minutes before
        {"か番組", 5, true, false},     // its moment is the current minute
        {"き番組", 24 * 60, true, true}, // tomorrow
    };
    for (const Programme& programme : programmes)
        AddProgrammeIn(programme.Title, programme.StartsIn);
    // A record whose page gave no date is never due.
    AddProgramme("く番組", {0, 0, 23, 59});
    const int count = ProgrammeCount;

    // Sorted by title, as a click on the header does.
    NMLISTVIEW click = {};
    click.hdr.hwndFrom = MainListView;
    click.hdr.idFrom = IDC_LIST;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = 0;
    SendMessageA(MainWnd, WM_NOTIFY, IDC_LIST, reinterpret_cast<LPARAM>(&click));
    int moved = 0;
    for (int row = 0; row < count; ++row)
        moved += ListItemData(MainListView, row) != row;
    ASSERT_GT(moved, 0) << "the sort must move rows for this test to mean anything";

    // Ticked by what the rows show, not by where the programmes began.
    for (const Programme& programme : programmes)
        if (programme.Ticked)
            TickProgramme(programme.Title);
    TickProgramme("く番組");

    SetWindowTextA(MinutesEdit, "5");
    Press(IDC_REMINDER);
    ASSERT_EQ(RemindersOn, 1);

    for (int i = 0; i < static_cast<int>(std::size(programmes)); ++i)
        EXPECT_EQ(TakeTimer(i), programmes[i].Armed) << programmes[i].Title;
    EXPECT_FALSE(TakeTimer(count - 1)) << "く番組";
    EXPECT_FALSE(TakeTimer(count)) << "no programme has this index";
}

TEST_F(Reminders, MinutesFieldIsReadWrittenBackAndUsedAsLeadTime)
{
    // A programme 30 minutes ahead is armed only with a shorter lead.
    TickRow(AddProgrammeIn("ドラマ", 30), true);
    struct Case {
        const char* Typed;
        int Minutes;
        const char* Shown;
        bool Armed;
    };
    const Case cases[] = {
        {"12", 12, "12", true},
        {"45", 45, "45", false},
        {"", 5, "5", true},
        {"0", 5, "5", true},
        {"00", 5, "5", true},
        {"-3", 5, "5", true},
        {"7a", 5, "5", true},
        {"123456", 12345, "12345", false},
    };
    for (const Case& c : cases) {
        SetWindowTextA(MinutesEdit, c.Typed);
        Press(IDC_REMINDER);
        EXPECT_EQ(MinutesBefore, c.Minutes) << '"' << c.Typed << '"';
        EXPECT_EQ(WindowText(MinutesEdit), c.Shown) << '"' << c.Typed << '"';
        EXPECT_EQ(TakeTimer(0), c.Armed) << '"' << c.Typed << '"';
        Press(IDC_REMINDER);
        ASSERT_EQ(RemindersOn, 0);
    }
}

TEST_F(Reminders, SwitchingLocksControlsAndSwitchingOffKillsEveryTimer)
{
    const int first = AddProgrammeIn("朝の番組", 60);
    const int second = AddProgrammeIn("夜の番組", 120);
    const int third = AddProgrammeIn("深夜の番組", 300);
    for (int row = 0; row < 3; ++row)
        TickRow(row, true);
    SetWindowTextA(MinutesEdit, "5");

    struct Expected {
        int On;
        bool Enabled;
        bool ReadOnly;
        const char* ButtonText;
    };
    const Expected states[] = {
        {1, false, true, "お知らせをOFFに"},
        {0, true, false, "お知らせをONに"},
        {1, false, true, "お知らせをOFFに"},
    };
    for (const Expected& state : states) {
        Press(IDC_REMINDER);
        EXPECT_EQ(RemindersOn, state.On);
        EXPECT_EQ(IsWindowEnabled(FetchButton) != 0, state.Enabled) << state.On;
        EXPECT_EQ(IsWindowEnabled(MainListView) != 0, state.Enabled) << state.On;
        EXPECT_EQ((GetWindowLongA(MinutesEdit, GWL_STYLE) & ES_READONLY) != 0, state.ReadOnly) << state.On;
        EXPECT_EQ(WindowText(ReminderButton), state.ButtonText);
    }

    // On again after off: all three are armed anew...
    EXPECT_TRUE(TakeTimer(first));
    EXPECT_TRUE(TakeTimer(second));
    EXPECT_TRUE(TakeTimer(third));
    // ...and off again leaves none, whether armed or already fired.
    SetTimer(MainWnd, first, 100000, nullptr);
    SetTimer(MainWnd, third, 100000, nullptr);
    Press(IDC_REMINDER);
    EXPECT_FALSE(TakeTimer(first));
    EXPECT_FALSE(TakeTimer(second));
    EXPECT_FALSE(TakeTimer(third));
}

TEST_F(Reminders, DueTimerBringsWindowBackAndNamesItsProgramme)
{
    const int news = AddProgrammeIn("ニュース７", 120);
    const int drama = AddProgrammeIn("大河ドラマ", 180);
    // Next month's 28th is further than the longest timer can wait.
    SYSTEMTIME today;
    GetLocalTime(&today);
    const int distant = AddProgramme("遠い番組", {today.wMonth % 12 + 1, 28, 12, 0});
    for (int row = 0; row < 3; ++row)
        TickRow(row, true);
    SetWindowTextA(MinutesEdit, "5");
    Press(IDC_REMINDER);
    ASSERT_TRUE(IsWindowVisible(MainWnd));

    Press(IDC_TRAY);
    ASSERT_EQ(InTray, 1);
    ASSERT_FALSE(IsWindowVisible(MainWnd));

    BoxCloser closer;
    SendMessageA(MainWnd, WM_TIMER, news, 0);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "ニュース７ が始まります");
    EXPECT_EQ(Boxes[0].Caption, "開始5分前です");
    EXPECT_TRUE(Boxes[0].OwnedByMain);
    EXPECT_EQ(Boxes[0].InTrayThen, 0) << "back from the tray before the box";
    EXPECT_TRUE(Boxes[0].MainVisibleThen);
    EXPECT_EQ(InTray, 0);
    EXPECT_TRUE(IsWindowVisible(MainWnd));
    ASSERT_EQ(IconCalls.size(), 2u);
    EXPECT_EQ(IconCalls[1].Message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_FALSE(TakeTimer(news)) << "a timer is used once";

    // Shown window: it stays shown; the caption follows the lead time of now.
    MinutesBefore = 7;
    SendMessageA(MainWnd, WM_TIMER, drama, 0);
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[1].Text, "大河ドラマ が始まります");
    EXPECT_EQ(Boxes[1].Caption, "開始7分前です");
    EXPECT_TRUE(Boxes[1].MainVisibleThen);
    EXPECT_EQ(IconCalls.size(), 2u) << "no icon call while shown";
    EXPECT_FALSE(TakeTimer(drama));

    // The same programme again, a foreign timer id, and the early firing of
    // a timer that had to be cut short: no box.
    SendMessageA(MainWnd, WM_TIMER, news, 0);
    SendMessageA(MainWnd, WM_TIMER, ProgrammeCount, 0);
    SendMessageA(MainWnd, WM_TIMER, distant, 0);
    PumpFor(100);
    EXPECT_EQ(Boxes.size(), 2u);
    EXPECT_TRUE(TakeTimer(distant)) << "waits for the rest of its delay";
}

TEST_F(Reminders, ResumeRederivesTimersFromTheWallClock)
{
    const int soon = AddProgrammeIn("まもなく", 3);         // moment passed, not started
    const int later = AddProgrammeIn("あとで", 120);        // still ahead
    const int started = AddProgrammeIn("放送中", -10);      // started
    const int unticked = AddProgrammeIn("見ない番組", 2);   // not chosen
    const int reminded = AddProgrammeIn("通知済み", 4);     // already shown once
    for (int row : {soon, later, started, reminded})
        TickRow(row, true);
    SetWindowTextA(MinutesEdit, "5");
    BoxCloser closer;

    // While reminders are off a resume does nothing.
    SendMessageA(MainWnd, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_TRUE(Boxes.empty());

    Press(IDC_REMINDER);
    SendMessageA(MainWnd, WM_TIMER, reminded, 0);
    ASSERT_EQ(BoxTexts(), std::vector<std::string>{"通知済み が始まります"});

    // A lost timer and a stale one, as a sleep may leave them.
    KillTimer(MainWnd, later);
    SetTimer(MainWnd, started, 100000, nullptr);
    Boxes.clear();
    SendMessageA(MainWnd, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"まもなく が始まります"});
    if (!Boxes.empty()) {
        EXPECT_EQ(Boxes[0].Caption, "開始5分前です");
    }

    // A clock change afterwards shows nothing twice; a due timer neither.
    SendMessageA(MainWnd, WM_TIMECHANGE, 0, 0);
    SendMessageA(MainWnd, WM_TIMER, soon, 0);
    PumpFor(100);
    EXPECT_EQ(Boxes.size(), 1u);

    EXPECT_FALSE(TakeTimer(soon));
    EXPECT_TRUE(TakeTimer(later));
    EXPECT_FALSE(TakeTimer(started));
    EXPECT_FALSE(TakeTimer(unticked));
    EXPECT_FALSE(TakeTimer(reminded));
}

TEST_F(Reminders, ClockChangeDuringABoxShowsEachProgrammeOnce)
{
    AddProgrammeIn("一つ目", 2);
    AddProgrammeIn("二つ目", 3);
    const int ahead = AddProgrammeIn("三つ目", 90);
    for (int row = 0; row < 3; ++row)
        TickRow(row, true);
    SetWindowTextA(MinutesEdit, "5");
    Press(IDC_REMINDER);

    BoxCloser closer;
    WhileFirstBoxOpen = [] { SendMessageA(MainWnd, WM_TIMECHANGE, 0, 0); };
    SendMessageA(MainWnd, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    const std::vector<std::string> texts = BoxTexts();
    EXPECT_EQ(std::multiset<std::string>(texts.begin(), texts.end()),
              (std::multiset<std::string>{"一つ目 が始まります", "二つ目 が始まります"}));
    EXPECT_TRUE(TakeTimer(ahead));
}

TEST_F(Reminders, TrayIconRecordAndRefusal)
{
    Press(IDC_TRAY);
    ASSERT_EQ(IconCalls.size(), 1u);
    const NOTIFYICONDATAA& added = IconCalls[0].Record;
    EXPECT_EQ(IconCalls[0].Message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(added.cbSize, sizeof(NOTIFYICONDATAA));
    EXPECT_EQ(added.hWnd, MainWnd);
    EXPECT_EQ(added.uID, 0u);
    EXPECT_EQ(added.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(added.uCallbackMessage, 1024u);
    EXPECT_EQ(added.hIcon, LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_TELOMIYA)));
    EXPECT_STREQ(added.szTip, "てろみや");
    EXPECT_EQ(InTray, 1);
    EXPECT_FALSE(IsWindowVisible(MainWnd));

    // Only a double click on the icon brings the window back.
    SendMessageA(MainWnd, WM_TRAYICON, 0, WM_LBUTTONDOWN);
    EXPECT_EQ(InTray, 1);
    SendMessageA(MainWnd, WM_TRAYICON, 0, WM_LBUTTONDBLCLK);
    ASSERT_EQ(IconCalls.size(), 2u);
    EXPECT_EQ(IconCalls[1].Message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(InTray, 0);
    EXPECT_TRUE(IsWindowVisible(MainWnd));

    // A refused icon leaves the window where the user can reach it.
    IconAnswer = FALSE;
    Press(IDC_TRAY);
    EXPECT_EQ(IconCalls.size(), 3u);
    EXPECT_EQ(InTray, 0);
    EXPECT_TRUE(IsWindowVisible(MainWnd));
}

TEST_F(Reminders, TrayStateAgreesWithTheRealShell)
{
    UseRealShell = true;
    Press(IDC_TRAY);
    ASSERT_EQ(ShellAnswers.size(), 1u);
    const bool added = ShellAnswers[0] != FALSE;
    std::printf("Shell_NotifyIconA(NIM_ADD) answered %d\n", ShellAnswers[0]);
    EXPECT_EQ(InTray, added ? 1 : 0);
    EXPECT_EQ(IsWindowVisible(MainWnd) != 0, !added);
    if (added) {
        SendMessageA(MainWnd, WM_TRAYICON, 0, WM_LBUTTONDBLCLK);
        ASSERT_EQ(ShellAnswers.size(), 2u);
        std::printf("Shell_NotifyIconA(NIM_DELETE) answered %d\n", ShellAnswers[1]);
        EXPECT_EQ(InTray, 0);
        EXPECT_TRUE(IsWindowVisible(MainWnd));
    }
}
