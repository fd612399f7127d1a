#include "app/reminder_delay.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(ReminderDelay, DaysUntil)
{
    struct Case {
        const char* name;
        WallClock now;
        int month, day;
        int days;
    } cases[] = {
        {"today", {2024, 3, 10, 12, 0}, 3, 10, 0},
        {"later this month", {2024, 3, 10, 12, 0}, 3, 15, 5},
        {"31 January to 1 February", {2024, 1, 31, 12, 0}, 2, 1, 1},
        {"30 April to 1 May: a 30-day month", {2024, 4, 30, 12, 0}, 5, 1, 1},
        {"31 December to 1 January of the next year", {2023, 12, 31, 12, 0}, 1, 1, 1},
        {"28 February to 1 March in a leap year", {2024, 2, 28, 12, 0}, 3, 1, 2},
        {"28 February to 1 March in a common year", {2023, 2, 28, 12, 0}, 3, 1, 1},
        {"2000 is a leap year", {2000, 2, 28, 12, 0}, 3, 1, 2},
        {"1900 is not a leap year", {1900, 2, 28, 12, 0}, 3, 1, 1},
        {"a stale list: a day earlier this month is past, not next month", {2024, 3, 20, 12, 0}, 3, 18, -2},
        {"a list kept past the month's end is past", {2024, 2, 2, 12, 0}, 1, 30, -3},
        {"a list kept past the year's end is past", {2024, 1, 1, 12, 0}, 12, 31, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DaysUntil(c.now, c.month, c.day), c.days);
    }
}

TEST(ReminderDelay, Delay)
{
    constexpr int64_t Minute = 60'000;
    struct Case {
        const char* name;
        WallClock now;
        int month, day, startHour, startMinute, minutesBefore;
        int64_t minutes;   // expected delay in whole minutes
    } cases[] = {
        {"20:00 to 21:00 with 5 minutes: 55 minutes", {2024, 5, 10, 20, 0}, 5, 10, 21, 0, 5, 55},
        {"23:00 to 0:10 the next day with 5 minutes: 65 minutes", {2024, 5, 10, 23, 0}, 5, 11, 0, 10, 5, 65},
        {"31 January 22:00 to 1 February 1:00 with 10 minutes: 170", {2024, 1, 31, 22, 0}, 2, 1, 1, 0, 10, 170},
        {"31 December 23:00 to 1 January 0:30 with 5 minutes: 85", {2023, 12, 31, 23, 0}, 1, 1, 0, 30, 5, 85},
        {"28 February to 1 March in a leap year: two days", {2024, 2, 28, 9, 0}, 3, 1, 9, 0, 10, 2 * 1440 - 10},
        {"28 February to 1 March in a common year: one day", {2023, 2, 28, 9, 0}, 3, 1, 9, 0, 10, 1440 - 10},
        {"a programme already started", {2024, 5, 10, 21, 10}, 5, 10, 21, 0, 5, -15},
        {"the reminder moment is the current minute", {2024, 5, 10, 20, 55}, 5, 10, 21, 0, 5, 0},
        {"a stale day earlier in the month lies in the past", {2024, 3, 20, 10, 0}, 3, 18, 12, 0, 5, -2 * 1440 + 120 - 5},
        {"a lead of 99999 minutes does not overflow", {2024, 5, 10, 20, 0}, 5, 10, 21, 0, 99999, 60 - 99999},
        {"a delay of 30 days exceeds 32 bits", {2024, 1, 1, 0, 0}, 1, 31, 0, 0, 1, 30 * 1440 - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReminderDelay(c.now, c.month, c.day, c.startHour, c.startMinute, c.minutesBefore),
                  c.minutes * Minute);
    }
}

TEST(ReminderDelay, RecordWithoutDateIsNeverDue)
{
    // A page without its date table leaves Month and Day at 0.
    const WallClock now{2024, 5, 10, 20, 0};
    for (int hour : {0, 23, 111})
        for (int minute : {0, 99}) {
            SCOPED_TRACE(hour * 100 + minute);
            EXPECT_LE(ReminderDelay(now, 0, 0, hour, minute, 1), 0);
        }
}
