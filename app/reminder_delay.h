// When a reminder is due, from the wall clock.
#pragma once

#include <cstdint>

struct WallClock {
    int Year, Month, Day, Hour, Minute;
};

// Days from today to the programme's month and day: the same month, or the
// following one (January after December). Gregorian month lengths.
// A day already gone in this month, or any other month, lies in the past
// (negative); a month outside 1 to 12 gives INT_MIN, never due.
int DaysUntil(const WallClock& now, int month, int day);

// Milliseconds from now (its seconds ignored) to minutesBefore minutes before
// the programme starts; not positive when that moment is now or has passed.
int64_t ReminderDelay(const WallClock& now, int month, int day, int startHour, int startMinute, int minutesBefore);
