#include "listing/programme.h"
#include "listing/row_texts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

TEST(ProgrammeStore, AppendsZeroedRecordsThatNeverMoveUntilFull)
{
    static const TELOMI zero{};
    ProgrammeStore list;
    TELOMI* const first = list.Append();
    ASSERT_NE(first, nullptr);
    std::memset(first, 'x', sizeof *first);
    for (int i = 1; i < static_cast<int>(ProgrammeStore::Capacity); ++i) {
        TELOMI* record = list.Append();
        ASSERT_NE(record, nullptr) << i;
        record->StartHour = i;
    }
    EXPECT_EQ(list.Append(), nullptr) << "the store is full";
    EXPECT_EQ(list.Size(), ProgrammeStore::Capacity);
    EXPECT_TRUE(&list[0] == first && list[0].Title[0] == 'x' && list[1000].StartHour == 1000) << "a record moved";
    list.Clear();
    EXPECT_TRUE(list.Empty());
    // Records once dirty come back all zero, in the first chunk and the next.
    for (size_t i = 0; i <= ProgrammeStore::ChunkSize; ++i) {
        TELOMI* record = list.Append();
        ASSERT_EQ(std::memcmp(record, &zero, sizeof zero), 0) << i;
        std::memset(record, 'y', sizeof *record);
    }
}

TEST(RowTexts, DateAndTimesAsShownInTheList)
{
    struct Case { int Month, Day, StartHour, StartMinute, EndHour, EndMinute; const char* Texts; } cases[] = {
        {12, 5, 9, 5, 21, 54, "12月/5日|09:05|21:54"},  // the day not padded, the times padded
        {4, 7, 111, 99, 100, 0, "4月/7日|111:9|100:0"}, // a three-digit hour is cut to the field
        {2147483647, -2147483647 - 1, 5, 0, 6, 0, "2147483647月/-21474|05:00|06:00"},
    };
    for (const Case& c : cases) {
        TELOMI record{};
        std::tie(record.Month, record.Day, record.StartHour, record.StartMinute, record.EndHour, record.EndMinute) =
            std::tie(c.Month, c.Day, c.StartHour, c.StartMinute, c.EndHour, c.EndMinute);
        std::memset(record.Performers, 'x', 4); // the field after EndText must stay untouched
        FormatDisplayTexts(record);
        EXPECT_EQ(std::string(record.DateText) + "|" + record.StartText + "|" + record.EndText + "|" +
                      std::string(record.Performers, 4),
                  c.Texts + std::string("|xxxx"));
    }
}
