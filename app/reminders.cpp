#include "app/reminders.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/reminder_delay.h"
#include "fetch/wide_text.h"
#include "fetch/window_class.h"
#include "listing/programme.h"
#include "app/settings.h"
#include "res/resource.h"

// Adds or removes the notification-area icon. A variable, so that a refusal
// by the shell can be reproduced.
BOOL(WINAPI* TrayIconCall)(DWORD, PNOTIFYICONDATAW) = Shell_NotifyIconW;

namespace {

// Per programme known when reminders were switched on.
enum : uint8_t {
    Wanted = 1,   // its row was ticked
    Reminded = 2, // its message box has been shown (or is showing)
    Stretched = 4 // its delay was longer than a timer can wait, so it fires early
};
std::vector<uint8_t> ReminderMarks;
// The lead time the timers were armed with; the settings dialog may change
// MinutesBefore later, which only the caption follows.
int ArmedMinutes = 0;


// The row follows the programme by its item data, wherever sorting put it.
bool RowTicked(int32_t programme)
{
    LVFINDINFOW find = {};
    find.flags = LVFI_PARAM;
    find.lParam = programme;
    const auto row = static_cast<int>(
        SendMessageW(MainListView, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
    if (row < 0)
        return false;
    const auto state = static_cast<UINT>(SendMessageW(MainListView, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
    return ((state & LVIS_STATEIMAGEMASK) >> 12) != 1;
}

int64_t DelayOf(const LocalClock& now, size_t programme, int minutesBefore)
{
    const TELOMI& record = ProgrammeList[programme];
    return ReminderDelay(now, record.Month, record.Day, record.StartHour, record.StartMinute, minutesBefore);
}

// Starts timer `programme` when its moment lies ahead; false when it does not.
bool StartTimer(size_t programme, int64_t delay)
{
    if (delay <= 0)
        return false;
    UINT elapse = static_cast<UINT>(delay);
    if (programme < ReminderMarks.size())
        ReminderMarks[programme] &= ~Stretched;
    if (delay > USER_TIMER_MAXIMUM) {
        elapse = USER_TIMER_MAXIMUM;
        if (programme < ReminderMarks.size())
            ReminderMarks[programme] |= Stretched;
    }
    SetTimer(MainWnd, programme, elapse, nullptr);
    return true;
}

void ShowReminder(size_t programme)
{
    // Marked before the box: its own message loop may deliver a further timer,
    // resume or clock change that must not show this programme again.
    if (programme < ReminderMarks.size())
        ReminderMarks[programme] |= Reminded;
    if (InTray == 1)
        ToggleTray();
    SetForegroundWindow(MainWnd);
    char text[300];
    char caption[64];
    const TELOMI& record = ProgrammeList[programme];
    std::snprintf(text, sizeof text, "%.*s が始まります", static_cast<int>(sizeof record.Title), record.Title);
    std::snprintf(caption, sizeof caption, "開始%d分前です", MinutesBefore);
    ShowMessage(MainWnd, text, caption, MB_OK);
}

void SwitchOn()
{
    MinutesBefore = ParseMinutes(ReadText(MinutesEdit, 6).c_str());
    ShowText(MinutesEdit, std::to_string(MinutesBefore));
    ArmReminders(MinutesBefore);
    RemindersOn = 1;
    SendMessageW(MinutesEdit, EM_SETREADONLY, TRUE, 0);
    ShowText(ReminderButton, "お知らせをOFFに");
    // Neither the ticks nor the programme list may change under armed timers.
    EnableWindow(FetchButton, FALSE);
    EnableWindow(MainListView, FALSE);
}

void SwitchOff()
{
    const int32_t count = ProgrammeCount;
    for (int32_t i = 0; i < count; ++i)
        KillTimer(MainWnd, static_cast<UINT_PTR>(i));
    ReminderMarks.clear();
    RemindersOn = 0;
    SendMessageW(MinutesEdit, EM_SETREADONLY, FALSE, 0);
    ShowText(ReminderButton, "お知らせをONに");
    EnableWindow(FetchButton, TRUE);
    EnableWindow(MainListView, TRUE);
}

} // namespace

LocalClock LocalNow()
{
    SYSTEMTIME local;
    GetLocalTime(&local);
    return {{local.wYear, local.wMonth, local.wDay}, local.wHour, local.wMinute};
}

void SwitchReminders()
{
    if (RemindersOn == 0)
        SwitchOn();
    else
        SwitchOff();
}

void ArmReminders(int minutesBefore)
{
    const LocalClock now = LocalNow();
    const int32_t count = ProgrammeCount;
    ReminderMarks.assign(static_cast<size_t>(count > 0 ? count : 0), 0);
    ArmedMinutes = minutesBefore;
    for (int32_t i = 0; i < count; ++i) {
        if (!RowTicked(i))
            continue;
        ReminderMarks[i] = Wanted;
        StartTimer(static_cast<size_t>(i), DelayOf(now, static_cast<size_t>(i), minutesBefore));
    }
}

void RemindOfProgramme(UINT_PTR timerId)
{
    // Every timer of the main window arrives here; only programme indexes are ours.
    const int32_t count = ProgrammeCount;
    if (count <= 0 || timerId >= static_cast<UINT_PTR>(count))
        return;
    KillTimer(MainWnd, timerId);
    const size_t programme = timerId;
    if (RemindersOn && programme < ReminderMarks.size()) {
        if (ReminderMarks[programme] & Reminded)
            return;
        // A timer cut to the longest elapse comes too early: wait the rest.
        if ((ReminderMarks[programme] & Stretched) && StartTimer(programme, DelayOf(LocalNow(), programme, ArmedMinutes)))
            return;
    }
    ShowReminder(programme);
}

void ToggleTray()
{
    NOTIFYICONDATAW icon = {};
    icon.cbSize = sizeof icon;
    icon.hWnd = MainWnd;
    icon.uID = 0;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    icon.uCallbackMessage = WM_TRAYICON;
    icon.hIcon = LoadIconW(AppInstance, MAKEINTRESOURCEW(IDI_TELOMIYA));
    lstrcpynW(icon.szTip, Wide("てろみや").c_str(), ARRAYSIZE(icon.szTip));
    if (InTray == 0) {
        // Hidden only once the icon is there: without it nothing could bring
        // the window back.
        if (!TrayIconCall(NIM_ADD, &icon))
            return;
        ShowWindow(MainWnd, SW_HIDE);
        InTray = 1;
    } else {
        TrayIconCall(NIM_DELETE, &icon);
        ShowWindow(MainWnd, SW_SHOWNORMAL);
        InTray = 0;
    }
}

void RecomputeReminders()
{
    if (!RemindersOn)
        return;
    // Timers counted elapsed time, which a sleep or a clock change falsifies:
    // everything is derived again from the wall clock.
    const LocalClock now = LocalNow();
    const int32_t count = ProgrammeCount;
    const size_t known = std::min(ReminderMarks.size(), static_cast<size_t>(count > 0 ? count : 0));
    std::vector<size_t> dueNow;
    for (size_t i = 0; i < known; ++i) {
        KillTimer(MainWnd, i);
        const uint8_t mark = ReminderMarks[i];
        if (!(mark & Wanted) || (mark & Reminded))
            continue;
        if (StartTimer(i, DelayOf(now, i, ArmedMinutes)))
            continue;
        // The moment passed unnoticed but the programme is still to come.
        if (DelayOf(now, i, 0) > 0) {
            ReminderMarks[i] |= Reminded;
            dueNow.push_back(i);
        }
    }
    for (size_t programme : dueNow) {
        if (!RemindersOn || programme >= static_cast<size_t>(ProgrammeCount.load()))
            break;
        ShowReminder(programme);
    }
}
