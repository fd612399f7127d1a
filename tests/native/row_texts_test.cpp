#include "listing/row_texts.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(RowTexts, DateAndTimesAsShownInTheList)
{
    struct Case {
        const char* Name;
        int Month, Day, StartHour, StartMinute, EndHour, EndMinute;
        const char* Date;
        const char* Start;
        const char* End;
    };
    const Case cases[] = {
        {"day not padded, times padded", 12, 5, 9, 5, 21, 54, "12月/5日", "09:05", "21:54"},
        {"a page without a date", 0, 0, 0, 0, 0, 0, "0月/0日", "00:00", "00:00"},
        {"three-digit hour is cut to the field", 4, 7, 111, 99, 100, 0, "4月/7日", "111:9", "100:0"},
        {"huge numbers stay inside the date field", 2147483647, -2147483647 - 1, 5, 0, 6, 0,
         "2147483647月/-21474", "05:00", "06:00"},
    };
    for (const Case& c : cases) {
        TELOMI record{};
        record.Month = c.Month;
        record.Day = c.Day;
        record.StartHour = c.StartHour;
        record.StartMinute = c.StartMinute;
        record.EndHour = c.EndHour;
        record.EndMinute = c.EndMinute;
        std::memset(record.Performers, 'x', 4); // the field after EndText must stay untouched
        FormatDisplayTexts(record);
        EXPECT_STREQ(record.DateText, c.Date) << c.Name;
        EXPECT_STREQ(record.StartText, c.Start) << c.Name;
        EXPECT_STREQ(record.EndText, c.End) << c.Name;
        EXPECT_EQ(std::memcmp(record.Performers, "xxxx", 4), 0) << c.Name;
    }
}
