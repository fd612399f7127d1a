#include "app/reminder_delay.h"

#include <climits>

int DaysUntil(const LocalClock& now, int month, int day)
{
    // A record whose page gave no date (month 0) is never due.
    if (month < 1 || month > 12)
        return INT_MIN;
    return DaysToNearest(now.Date, month, day);
}

int64_t ReminderDelay(const LocalClock& now, int month, int day, int startHour, int startMinute, int minutesBefore)
{
    constexpr int64_t Minute = 60'000;
    constexpr int64_t Hour = 60 * Minute;
    constexpr int64_t Day = 24 * Hour;
    return DaysUntil(now, month, day) * Day
        + (static_cast<int64_t>(startHour) - now.Hour) * Hour
        + (static_cast<int64_t>(startMinute) - now.Minute) * Minute
        - static_cast<int64_t>(minutesBefore) * Minute;
}
