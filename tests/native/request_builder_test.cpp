#include "fetch/choices.h"
#include "fetch/request_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

static int PositionOf(const Choice* table, int count, const char* label)
{
    for (int i = 0; i < count; ++i)
        if (std::strcmp(table[i].Label, label) == 0)
            return i;
    return -1;
}

TEST(BuildRequestAddresses, TokyoAllGenresEveningOnTheBroadcastDay)
{
    const int genre = PositionOf(GenreChoices, GenreChoiceCount, "全て");
    const int time = PositionOf(TimeChoices, TimeChoiceCount, "19:00～25:00");
    const int region = PositionOf(RegionChoices, RegionChoiceCount, "東京");
    struct Case { LocalClock Now; int DaysAhead; const char* Date; } cases[] = {
        // 00:30 keeps the calendar day, 01:00 to 04:59 still belongs to the day before; today names no date.
        {{{2009, 3, 1}, 0, 30}, 1, "20090302"},  {{{2009, 3, 10}, 1, 0}, 1, "20090310"},
        {{{2009, 3, 10}, 4, 59}, 1, "20090310"}, {{{2009, 3, 10}, 5, 0}, 1, "20090311"},
        {{{2009, 1, 1}, 3, 0}, 2, "20090102"},   {{{2008, 12, 31}, 3, 0}, 7, "20090106"},
        {{{2009, 3, 10}, 12, 0}, 0, ""},         {{{2009, 3, 1}, 2, 0}, 0, ""},
        {{{2008, 2, 27}, 12, 0}, 3, "20080301"}, {{{2000, 2, 26}, 12, 0}, 3, "20000229"},
        {{{1900, 2, 26}, 12, 0}, 3, "19000301"},
    };
    for (const Case& c : cases) {
        char slots[3][RequestAddressSize];
        std::memset(slots, 'x', sizeof slots); // stale text from an earlier build must not survive
        ASSERT_TRUE(BuildRequestAddresses({genre, time, region, c.DaysAhead}, c.Now, "127.0.0.1:8080", slots));
        const std::string date = *c.Date ? std::string("&s_hiduke=") + c.Date : "";
        const char* groups[3] = {"0002", "3001", "3003"};
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(std::string(slots[i], strnlen(slots[i], RequestAddressSize)),
                      "http://127.0.0.1:8080/program/gridNormal.php?frame=off&tikicd=" + std::string(groups[i]) +
                          "&way=h&genre=all&hour_select=6&s_jikan=190000" + date);
    }
}

TEST(ChoiceTables, LabelsAndCodesAreConsistent)
{
    for (int t = 0; t < TimeChoiceCount; ++t) {
        // "hh:mm～hh:mm", the tilde 0x81 0x60, in sorted order; the code is the start as hhmmss.
        const std::string label = TimeChoices[t].Label;
        EXPECT_EQ(label.size(), 12u) << t;
        EXPECT_EQ(label.substr(5, 2), "\x81\x60") << t;
        EXPECT_EQ(label.substr(0, 2) + label.substr(3, 2) + "00", TimeChoices[t].Code);
        EXPECT_TRUE(t == 0 || std::strcmp(TimeChoices[t - 1].Label, TimeChoices[t].Label) < 0) << t;
    }
    for (int r = 0; r < RegionChoiceCount; ++r) {
        EXPECT_EQ(std::strlen(RegionChoices[r].Code), 4u) << r;
        for (int other = 0; other < r; ++other)
            EXPECT_STRNE(RegionChoices[r].Code, RegionChoices[other].Code) << r << " and " << other;
    }
    // Every shown genre is added once: "全て" first, then the others by code.
    std::string codes;
    for (const char* label : GenreAddOrder) {
        const int shown = PositionOf(GenreChoices, GenreChoiceCount, label);
        ASSERT_GE(shown, 0) << "an added genre is not shown";
        codes += std::string(GenreChoices[shown].Code) + ' ';
    }
    EXPECT_EQ(codes, "all B C D E F G J K M N O P Q Z ");
}
