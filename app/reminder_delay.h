// When a reminder is due, from the wall clock.
#pragma once

#include <cstdint>

#include "listing/calendar.h"

// Days from today to the programme's month and day, read as the nearest such
// date (a day already gone this month lies in the past, 1 January follows
// 31 December); a month outside 1 to 12 gives INT_MIN, never due.
int DaysUntil(const LocalClock& now, int month, int day);

// Milliseconds from now (its seconds ignored) to minutesBefore minutes before
// the programme starts; not positive when that moment is now or has passed.
int64_t ReminderDelay(const LocalClock& now, int month, int day, int startHour, int startMinute, int minutesBefore);
