#include "listing/programme.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

TEST(Charset, NarrowLiteralsAreShiftJis)
{
    const char* table = "表";
    ASSERT_EQ(std::strlen(table), 2u);
    EXPECT_EQ(static_cast<unsigned char>(table[0]), 0x95);
    EXPECT_EQ(static_cast<unsigned char>(table[1]), 0x5C);
}

TEST(ProgrammeStore, AppendClearAndStableIndexes)
{
    ProgrammeStore list;
    EXPECT_TRUE(list.Empty());
    TELOMI* first = list.Append();
    ASSERT_NE(first, nullptr);
    static const TELOMI zero{};
    EXPECT_EQ(std::memcmp(first, &zero, sizeof zero), 0) << "a new record is all zero";
    std::strcpy(first->Title, "first");
    for (int i = 1; i < 1000; ++i)
        list.Append()->StartHour = i;
    EXPECT_EQ(list.Size(), 1000u);
    EXPECT_EQ(&list[0], first) << "growing never moves a record";
    EXPECT_STREQ(list[0].Title, "first");
    EXPECT_EQ(list[999].StartHour, 999);

    list.Clear();
    EXPECT_TRUE(list.Empty());
    TELOMI* again = list.Append();
    EXPECT_EQ(std::memcmp(again, &zero, sizeof zero), 0) << "a record after a clear is all zero again";
}

TEST(ProgrammeStore, RefusesToGrowPastCapacity)
{
    ProgrammeStore list;
    for (size_t i = 0; i < ProgrammeStore::Capacity; ++i)
        ASSERT_NE(list.Append(), nullptr);
    EXPECT_EQ(list.Append(), nullptr);
    EXPECT_EQ(list.Size(), ProgrammeStore::Capacity);
}

TEST(ProgrammeStore, ReaderBelowPublishedCountSeesCompleteRecords)
{
    ProgrammeStore list;
    std::atomic<int32_t> count{0};
    constexpr int Total = 20000;
    std::thread writer([&] {
        for (int i = 0; i < Total; ++i) {
            TELOMI* record = list.Append();
            record->StartHour = i;
            std::snprintf(record->Title, sizeof record->Title, "title %d", i);
            record->EndMinute = i * 3;
            count.store(i + 1, std::memory_order_release);
        }
    });
    int checked = 0;
    int bad = 0;
    while (checked < Total) {
        int published = count.load(std::memory_order_acquire);
        for (int i = 0; i < published; ++i) {
            const TELOMI& record = list[i];
            char expected[32];
            std::snprintf(expected, sizeof expected, "title %d", i);
            if (record.StartHour != i || record.EndMinute != i * 3 || std::strcmp(record.Title, expected) != 0)
                ++bad;
        }
        checked = published;
    }
    writer.join();
    EXPECT_EQ(bad, 0);
}
