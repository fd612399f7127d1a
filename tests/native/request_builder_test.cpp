#include "fetch/choices.h"
#include "fetch/request_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Built { bool Ok; std::string Slot[3]; };

int PositionOf(const Choice* table, int count, const char* label)
{
    for (int i = 0; i < count; ++i)
        if (std::strcmp(table[i].Label, label) == 0)
            return i;
    return -1;
}

std::string Text(const char* slot) { return std::string(slot, strnlen(slot, RequestAddressSize)); }

Built Build(const RequestChoices& choices, const LocalClock& now = {{2009, 6, 15}, 20, 0},
            const char* host = "tv.example.jp")
{
    char slots[3][RequestAddressSize];
    std::memset(slots, 'x', sizeof slots);   // stale text from an earlier build must not survive
    const bool ok = BuildRequestAddresses(choices, now, host, slots);
    return {ok, {Text(slots[0]), Text(slots[1]), Text(slots[2])}};
}

}  // namespace

TEST(NormalizeDate, MonthLengths)
{
    // The last day stays, the next one carries; months 0 and 13 are left alone.
    const int lengths[14] = {40, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31, 40};
    for (int m = 0; m <= 13; ++m)
        for (int extra : {0, 1}) {
            CalendarDate date{2009, uint16_t(m), uint16_t(lengths[m] + extra)};
            NormalizeDate(date);
            const int expected = extra && m >= 1 && m <= 12 ? (m % 12 + 1) * 100 + 1 : m * 100 + lengths[m] + extra;
            EXPECT_EQ(date.Month * 100 + date.Day, expected) << m;
        }
}

TEST(BuildRequestAddresses, DateFollowsTheBroadcastDay)
{
    struct Case { LocalClock Now; int DaysAhead; const char* Date; } cases[] = {
        // 00:30 keeps the calendar day, 01:00 to 04:59 still belongs to the day before; today names no date.
        {{{2009, 3, 1}, 0, 30}, 1, "20090302"},  {{{2009, 3, 10}, 1, 0}, 1, "20090310"},
        {{{2009, 3, 10}, 4, 59}, 1, "20090310"}, {{{2009, 3, 10}, 5, 0}, 1, "20090311"},
        {{{2009, 1, 1}, 3, 0}, 2, "20090102"},   {{{2008, 12, 31}, 3, 0}, 7, "20090106"},
        {{{2009, 3, 10}, 12, 0}, 0, ""}, {{{2009, 3, 1}, 1, 0}, 0, ""}, {{{2009, 5, 28}, 12, 0}, 3, "20090531"},
        {{{2008, 2, 27}, 12, 0}, 3, "20080301"}, {{{2009, 2, 27}, 12, 0}, 3, "20090302"},
        {{{2000, 2, 26}, 12, 0}, 3, "20000229"}, {{{1900, 2, 26}, 12, 0}, 3, "19000301"},
        {{{2008, 12, 30}, 12, 0}, 3, "20090102"}, {{{2009, 4, 28}, 12, 0}, 3, "20090501"},
    };
    for (const Case& c : cases) {
        const std::string tail = std::string("&s_jikan=190000") + (*c.Date ? "&s_hiduke=" : "") + c.Date;
        for (const std::string& slot : Build(RequestChoices{14, 7, 7, c.DaysAhead}, c.Now).Slot)
            EXPECT_TRUE(slot.ends_with(tail)) << slot << " should end " << tail;
    }
}

TEST(BuildRequestAddresses, TokyoAllGenresEveningTodayAndTheFirstGenre)
{
    const RequestChoices choices{
        PositionOf(GenreChoices, GenreChoiceCount, "全て"), PositionOf(TimeChoices, TimeChoiceCount, "19:00～25:00"),
        PositionOf(RegionChoices, RegionChoiceCount, "東京"), PositionOf(DayChoices, DayChoiceCount, "今日")};
    const Built built = Build(choices, {{2009, 3, 1}, 2, 0}, "127.0.0.1:8080");
    const std::string head = "http://127.0.0.1:8080/program/gridNormal.php?frame=off&tikicd=";
    const std::string tail = "&way=h&genre=all&hour_select=6&s_jikan=190000";
    EXPECT_EQ(built.Slot[0], head + "0002" + tail);
    EXPECT_EQ(built.Slot[1], head + "3001" + tail);
    EXPECT_EQ(built.Slot[2], head + "3003" + tail);
    for (const std::string& slot : Build(RequestChoices{0, 0, 0, 0}).Slot)
        EXPECT_NE(slot.find("&genre=N&"), std::string::npos) << "the first shown genre: " << slot;
}

TEST(BuildRequestAddresses, PositionOutsideItsTableBuildsNothing)
{
    const RequestChoices cases[] = {
        {-1, 0, 0, 0}, {GenreChoiceCount, 0, 0, 0}, {0, -1, 0, 0}, {0, TimeChoiceCount, 0, 0},
        {0, 0, -1, 0}, {0, 0, RegionChoiceCount, 0}, {0, 0, 0, -1}, {0, 0, 0, DayChoiceCount},
    };
    for (const RequestChoices& c : cases) {
        const Built built = Build(c);
        EXPECT_FALSE(built.Ok) << c.Genre << ' ' << c.Time << ' ' << c.Region << ' ' << c.Day;
        EXPECT_EQ(built.Slot[0] + built.Slot[1] + built.Slot[2], "") << c.Genre << ' ' << c.Time << ' ' << c.Region;
    }
}

TEST(BuildRequestAddresses, HugeHostIsCutInsideTheSlots)
{
    const std::string host(1000, 'h');
    char rows[4][RequestAddressSize];   // the fourth row shows any write past the slots
    std::memset(rows, '#', sizeof rows);
    ASSERT_TRUE(BuildRequestAddresses(RequestChoices{0, 0, 0, 1}, {{2009, 6, 15}, 20, 0}, host.c_str(), rows));
    for (int slot = 0; slot < 3; ++slot)
        EXPECT_EQ(Text(rows[slot]), "http://" + host.substr(0, RequestAddressSize - 8)) << slot;
    EXPECT_EQ(std::string(rows[3], RequestAddressSize), std::string(RequestAddressSize, '#'));
}

TEST(ChoiceTables, LabelsAndCodesAreConsistent)
{
    for (int t = 0; t < TimeChoiceCount; ++t) {
        // "hh:mm～hh:mm", the tilde 0x81 0x60, in sorted order; the code is the start as hhmmss.
        const std::string label = TimeChoices[t].Label;
        EXPECT_EQ(label.size(), 12u);
        EXPECT_EQ(label.substr(5, 2), "\x81\x60") << t;
        EXPECT_EQ(label.substr(0, 2) + label.substr(3, 2) + "00", TimeChoices[t].Code);
        EXPECT_TRUE(t == 0 || std::strcmp(TimeChoices[t - 1].Label, TimeChoices[t].Label) < 0) << t;
    }
    for (int r = 0; r < RegionChoiceCount; ++r) {
        EXPECT_EQ(std::strlen(RegionChoices[r].Code), 4u) << r;
        for (int other = 0; other < r; ++other)
            EXPECT_STRNE(RegionChoices[r].Code, RegionChoices[other].Code) << r << " and " << other;
    }
    // The documentary label starts in half-width katakana, one byte per kana.
    EXPECT_STREQ(GenreChoices[4].Label, "\xC4\xDE\xB7\xAD\xD2\xDD\xC0\xD8\xB0・教養");
    // Every shown genre is added once: "全て" first, then the others by code.
    std::string codes;
    for (const char* label : GenreAddOrder) {
        const int shown = PositionOf(GenreChoices, GenreChoiceCount, label);
        ASSERT_GE(shown, 0) << "an added genre is not shown";
        codes += std::string(GenreChoices[shown].Code) + ' ';
    }
    EXPECT_EQ(codes, "all B C D E F G J K M N O P Q Z ");
}
