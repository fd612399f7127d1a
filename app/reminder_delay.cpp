#include "app/reminder_delay.h"

#include <climits>

namespace {

bool IsLeapYear(int year)
{
    return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

int MonthLength(int year, int month)
{
    switch (month) {
    case 4: case 6: case 9: case 11:
        return 30;
    case 2:
        return IsLeapYear(year) ? 29 : 28;
    default:
        return 31;
    }
}

} // namespace

int DaysUntil(const WallClock& now, int month, int day)
{
    // A record whose page gave no date (month 0) is never due.
    if (month < 1 || month > 12)
        return INT_MIN;
    // The same month: a day before today is a stale list, already past,
    // not a date a month ahead.
    if (month == now.Month)
        return day - now.Day;
    const int following = now.Month == 12 ? 1 : now.Month + 1;
    if (month == following)
        return MonthLength(now.Year, now.Month) - now.Day + day;
    // Any other month lies behind us (a list kept past a month's end):
    // count back to that month's day.
    int days = day - now.Day;
    int year = now.Year;
    int m = now.Month;
    while (m != month) {
        if (--m == 0) {
            m = 12;
            --year;
        }
        days -= MonthLength(year, m);
    }
    return days;
}

int64_t ReminderDelay(const WallClock& now, int month, int day, int startHour, int startMinute, int minutesBefore)
{
    constexpr int64_t Minute = 60'000;
    constexpr int64_t Hour = 60 * Minute;
    constexpr int64_t Day = 24 * Hour;
    return DaysUntil(now, month, day) * Day
        + (static_cast<int64_t>(startHour) - now.Hour) * Hour
        + (static_cast<int64_t>(startMinute) - now.Minute) * Minute
        - static_cast<int64_t>(minutesBefore) * Minute;
}
