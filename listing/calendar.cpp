#include "listing/calendar.h"

#include <cstdlib>
#include <initializer_list>

bool IsLeapYear(int year)
{
    return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

int DaysInMonth(int year, int month)
{
    switch (month) {
    case 1: case 3: case 5: case 7: case 8: case 10: case 12:
        return 31;
    case 4: case 6: case 9: case 11:
        return 30;
    case 2:
        return IsLeapYear(year) ? 29 : 28;
    default:
        return 0;
    }
}

// Howard Hinnant's days-from-civil: exact for every Gregorian date.
int64_t DayNumber(const CalendarDate& date)
{
    const int64_t year = date.Year - (date.Month <= 2 ? 1 : 0);
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (date.Month + (date.Month > 2 ? -3 : 9)) + 2) / 5 + date.Day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

CalendarDate DateOfDayNumber(int64_t dayNumber)
{
    const int64_t z = dayNumber + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    return {year, month, day};
}

CalendarDate AddDays(const CalendarDate& date, int days)
{
    return DateOfDayNumber(DayNumber(date) + days);
}

int DaysToNearest(const CalendarDate& from, int toMonth, int toDay)
{
    const int64_t start = DayNumber(from);
    int64_t best = DayNumber({from.Year, toMonth, toDay}) - start;
    for (int year : {from.Year - 1, from.Year + 1}) {
        const int64_t days = DayNumber({year, toMonth, toDay}) - start;
        if (std::llabs(days) < std::llabs(best))
            best = days;
    }
    return static_cast<int>(best);
}

CalendarDate BroadcastDate(const LocalClock& now, int daysAhead)
{
    const bool beforeDayStart = now.Hour >= 1 && now.Hour <= 4;
    return AddDays(now.Date, daysAhead - (beforeDayStart ? 1 : 0));
}
