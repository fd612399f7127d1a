// Reminder timers and the notification-area icon of the main window.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "listing/calendar.h"

// The icon's callback message, the first number free for applications.
constexpr UINT WM_TRAYICON = WM_USER;

// Adds or removes the notification-area icon; tests replace it to refuse.
// Interface thread only.
extern BOOL(WINAPI* TrayIconCall)(DWORD, PNOTIFYICONDATAW);

// The local wall clock now, to the minute.
LocalClock LocalNow();
// The reminder button: switches reminders on or off.
void SwitchReminders();
// One timer per ticked row, due minutesBefore minutes before its programme.
void ArmReminders(int minutesBefore);
// A reminder timer fired.
void RemindOfProgramme(UINT_PTR timerId);
// Hides the main window behind the icon, or brings it back.
void ToggleTray();
// After a sleep or a change of the clock: timers measured elapsed time, so
// re-arm them from the wall clock.
void RecomputeReminders();
