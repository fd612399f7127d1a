#include "app/reminder_delay.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(ReminderDelay, Delay)
{
    struct Case { const char* name; LocalClock now; int month, day, startHour, startMinute, minutesBefore;
        int64_t minutes; } cases[] = { // the delay in whole minutes
        {"20:00 to 21:00, 5 before", {{2024, 5, 10}, 20, 0}, 5, 10, 21, 0, 5, 55},
        {"31 January 22:00 to 1 February 1:00", {{2024, 1, 31}, 22, 0}, 2, 1, 1, 0, 10, 170},
        {"30 April to 1 May", {{2024, 4, 30}, 12, 0}, 5, 1, 12, 0, 0, 1440},
        {"31 December 23:00 to 1 January 0:30", {{2023, 12, 31}, 23, 0}, 1, 1, 0, 30, 5, 85},
        {"28 February to 1 March, leap year", {{2024, 2, 28}, 9, 0}, 3, 1, 9, 0, 10, 2 * 1440 - 10},
        {"28 February to 1 March, common year", {{2023, 2, 28}, 9, 0}, 3, 1, 9, 0, 10, 1440 - 10},
        {"2000 is a leap year", {{2000, 2, 28}, 12, 0}, 3, 1, 12, 0, 0, 2 * 1440},
        {"1900 is not", {{1900, 2, 28}, 12, 0}, 3, 1, 12, 0, 0, 1440},
        {"a day gone this month is past, not next month", {{2024, 3, 20}, 10, 0}, 3, 18, 12, 0, 5, -2 * 1440 + 115},
        {"a list kept past the month's end", {{2024, 2, 2}, 12, 0}, 1, 30, 12, 0, 0, -3 * 1440},
        {"a list kept past the year's end", {{2024, 1, 1}, 12, 0}, 12, 31, 12, 0, 0, -1440},
        {"a lead of 99999 minutes exceeds 32 bits", {{2024, 5, 10}, 20, 0}, 5, 10, 21, 0, 99999, 60 - 99999},
        {"30 days exceed 32 bits of milliseconds", {{2024, 1, 1}, 0, 0}, 1, 31, 0, 0, 1, 30 * 1440 - 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReminderDelay(c.now, c.month, c.day, c.startHour, c.startMinute, c.minutesBefore),
                  c.minutes * 60'000) << c.name;
    // A page without its date table leaves Month and Day at 0: never due, whatever the hour.
    for (int month : {0, 13})
        EXPECT_LE(ReminderDelay({{2024, 5, 10}, 20, 0}, month, 0, 111, 99, 1), 0) << month;
}
