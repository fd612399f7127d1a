// Dates of the Gregorian calendar: month lengths, day numbers and the
// nearest reading of a month and day that carry no year.
#pragma once

#include <cstdint>

struct CalendarDate {
    int Year;
    int Month;
    int Day;
};

// A local wall-clock reading to the minute.
struct LocalClock {
    CalendarDate Date;
    int Hour;
    int Minute;
};

bool IsLeapYear(int year);
// 0 for a month outside 1 to 12.
int DaysInMonth(int year, int month);
// Days since 1 January 1970 (negative before it); month and day must be valid.
int64_t DayNumber(const CalendarDate& date);
CalendarDate DateOfDayNumber(int64_t dayNumber);
CalendarDate AddDays(const CalendarDate& date, int days);
// Days from `from` to the month and day `toMonth`/`toDay`, taken in the year
// before, of or after from.Year, whichever lies nearest: 31 December to
// 1 January is one day. The month must be 1 to 12.
int DaysToNearest(const CalendarDate& from, int toMonth, int toDay);

// The listings' broadcast day runs until 05:00, so from 01:00 to 04:59 the
// local date still names the day before; then daysAhead days are added.
CalendarDate BroadcastDate(const LocalClock& now, int daysAhead);
