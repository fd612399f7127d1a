// Reminders, the tray icon, and timers after a sleep or a clock change.
#include "app/reminders.h"
#include "tests/win/test_support.h"

namespace {

constexpr int Undated = 99999; // no date on the page: never due
// A programme starting the given number of minutes from the current local minute, its row ticked or not.
int AddProgramme(const char* title, int minutes, bool ticked = true)
{
    SYSTEMTIME at;
    ULARGE_INTEGER ticks;
    GetLocalTime(&at);
    SystemTimeToFileTime(&at, reinterpret_cast<FILETIME*>(&ticks));
    ticks.QuadPart += minutes * 600000000LL;
    FileTimeToSystemTime(reinterpret_cast<FILETIME*>(&ticks), &at);
    TELOMI* record = ProgrammeList.Append();
    std::strcpy(record->Title, title);
    if (minutes != Undated)
        std::tie(record->Month, record->Day, record->StartHour, record->StartMinute) =
            std::tuple(at.wMonth, at.wDay, at.wHour, at.wMinute);
    AddRow(MainListView, *record, ProgrammeCount);
    ListView_SetCheckState(MainListView, ProgrammeCount, ticked);
    return ProgrammeCount++;
}

void Press(int id) { SendMessageW(MainWnd, WM_COMMAND, id, 0); }
void Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { SendMessageW(MainWnd, message, wParam, lParam); }
// A '1' for each programme whose timer was running; none runs afterwards.
std::string TakeTimers()
{
    std::string taken;
    for (int i = 0; i < ProgrammeCount; ++i)
        taken += KillTimer(MainWnd, i) ? '1' : '0';
    return taken;
}

using Texts = std::vector<std::string>;
std::vector<DWORD> IconCalls;
NOTIFYICONDATAW LastIcon;
BOOL IconAnswer = TRUE;
BOOL WINAPI RecordIconCall(DWORD message, PNOTIFYICONDATAW record)
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
        StartMainWindow();
        IconCalls.clear();
        IconAnswer = TRUE;
        TrayIconCall = RecordIconCall;
    }
    void TearDown() override { TrayIconCall = Shell_NotifyIconW; }
};

} // namespace

TEST_F(Reminders, SwitchingArmsTheTickedRowsWhereverSortedAndLocksTheListUntilOff)
{
    const struct { const char* Title; int StartsIn; bool Ticked; } programmes[] = {
        {"う番組", 120, true}, {"あ番組", 180, false}, {"お番組", -10, true}, {"い番組", 240, true},
        {"え番組", 3, true} /* moment passed */, {"か番組", 5, true} /* moment is this minute */,
        {"き番組", 24 * 60, true}, {"く番組", Undated, true}, {"け番組", 30, true}};
    for (const auto& p : programmes)
        AddProgramme(p.Title, p.StartsIn, p.Ticked);
    ClickColumn(0);
    ASSERT_EQ(ListText(MainListView, 0, 0), "あ番組") << "sorted by title";
    // Five characters are read; what is no lead time becomes 5.
    const struct { const char* Typed; int Minutes; const char* Armed; } cases[] = {
        {"", 5, "100100101"}, {"45", 45, "100100100"}, {"123456", 12345, "000000000"}};
    for (const auto& c : cases) {
        SetWindowTextW(MinutesEdit, ToWide(c.Typed).c_str());
        for (const bool on : {true, false}) {
            Press(IDC_REMINDER);
            const bool readOnly = GetWindowLongW(MinutesEdit, GWL_STYLE) & ES_READONLY;
            EXPECT_EQ(std::tuple(RemindersOn != 0, !IsWindowEnabled(FetchButton), !IsWindowEnabled(MainListView),
                                 readOnly, WindowText(ReminderButton)),
                      std::tuple(on, on, on, on, std::string(on ? "お知らせをOFFに" : "お知らせをONに")));
            EXPECT_EQ(std::tuple(MinutesBefore, WindowText(MinutesEdit), TakeTimers()),
                      std::tuple(c.Minutes, std::to_string(c.Minutes), std::string(on ? c.Armed : "000000000")))
                << '"' << c.Typed << '"';
            for (int i = 0; on && i < ProgrammeCount; ++i)
                SetTimer(MainWnd, i, 100000, nullptr); // as if armed, for switching off to kill
        }
    }
}

TEST_F(Reminders, TrayHidesTheWindowUntilADoubleClickOrADueReminder)
{
    const int news = AddProgramme("ニュース７", 120), drama = AddProgramme("大河ドラマ", 180);
    const int distant = AddProgramme("遠い番組", 26 * 24 * 60); // past the longest timer
    Press(IDC_REMINDER);
    IconAnswer = FALSE;
    Press(IDC_TRAY);
    EXPECT_EQ(TrayAndShown(), std::tuple(0, true)) << "refused icon";
    IconAnswer = TRUE;
    Press(IDC_TRAY);
    EXPECT_EQ(std::tuple(LastIcon.hWnd, LastIcon.uFlags, LastIcon.uCallbackMessage, LastIcon.hIcon, FromWide(LastIcon.szTip)),
              std::tuple(MainWnd, UINT{NIF_MESSAGE | NIF_ICON | NIF_TIP}, WM_TRAYICON,
                         LoadIconW(AppInstance, MAKEINTRESOURCEW(IDI_TELOMIYA)), std::string("てろみや")));
    Send(WM_TRAYICON, 0, WM_LBUTTONDOWN);
    EXPECT_EQ(TrayAndShown(), std::tuple(1, false)) << "only a double click brings it back";
    Send(WM_TRAYICON, 0, WM_LBUTTONDBLCLK);
    EXPECT_EQ(TrayAndShown(), std::tuple(0, true));
    Press(IDC_TRAY);
    Send(WM_TIMER, news);
    EXPECT_EQ(Boxes, Texts{"開始5分前です|ニュース７ が始まります"});
    MinutesBefore = 7;
    // A box with the new lead time; then the same programme again, a foreign id, a timer cut short: none.
    for (int id : {drama, news, static_cast<int>(ProgrammeCount), distant})
        Send(WM_TIMER, id);
    PumpFor(100);
    EXPECT_EQ(Boxes, (Texts{"開始5分前です|ニュース７ が始まります", "開始7分前です|大河ドラマ が始まります"}));
    EXPECT_EQ(IconCalls, (std::vector<DWORD>{NIM_ADD, NIM_ADD, NIM_DELETE, NIM_ADD, NIM_DELETE}));
    EXPECT_EQ(TakeTimers(), "001") << "each timer is used once; one cut short waits for the rest of its delay";
}

TEST_F(Reminders, ResumeRederivesTimersFromTheWallClockShowingEachOnce)
{
    const int soon = AddProgramme("まもなく", 3); // moment passed, not started
    AddProgramme("もうすぐ", 2);
    const int later = AddProgramme("あとで", 120), started = AddProgramme("放送中", -10);
    AddProgramme("見ない番組", 2, false);
    const int reminded = AddProgramme("通知済み", 4);
    Send(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC);
    EXPECT_TRUE(Boxes.empty()) << "reminders are off";
    Press(IDC_REMINDER);
    // A lost timer and a stale one, as a sleep leaves them; the clock changes inside the first two boxes.
    KillTimer(MainWnd, later);
    SetTimer(MainWnd, started, 100000, nullptr);
    WhileBoxOpen = [] { Send(WM_TIMECHANGE); };
    Send(WM_TIMER, reminded);
    PumpFor(100);
    const Texts shown = {"開始5分前です|通知済み が始まります", "開始5分前です|まもなく が始まります", "開始5分前です|もうすぐ が始まります"};
    EXPECT_EQ(Boxes, shown);
    EXPECT_EQ(TakeTimers(), "001000");
    for (const WPARAM resume : {PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND}) {
        Send(WM_POWERBROADCAST, resume);
        EXPECT_EQ(TakeTimers(), "001000") << resume;
    }
    Send(WM_TIMECHANGE);
    Send(WM_TIMER, soon);
    PumpFor(100);
    EXPECT_EQ(Boxes, shown);
    EXPECT_EQ(TakeTimers(), "001000");
}
