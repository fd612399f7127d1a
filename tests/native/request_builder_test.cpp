#include "fetch/choices.h"
#include "fetch/request_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Built {
    bool Ok;
    std::string Slot[3];
};

int PositionOf(const Choice* table, int count, const char* label)
{
    for (int i = 0; i < count; ++i)
        if (std::strcmp(table[i].Label, label) == 0)
            return i;
    return -1;
}

Built Build(const RequestChoices& choices, const LocalClock& now, const char* host = "tv.example.jp")
{
    char slots[3][RequestAddressSize];
    // Stale text from an earlier build must never survive.
    for (auto& slot : slots) {
        std::memset(slot, 'x', RequestAddressSize - 1);
        slot[RequestAddressSize - 1] = '\0';
    }
    Built built;
    built.Ok = BuildRequestAddresses(choices, now, host, slots);
    for (int i = 0; i < 3; ++i)
        built.Slot[i] = slots[i];
    return built;
}

// The "&s_hiduke=..." tail of an address, or "" when it names no date.
std::string DateSuffix(const std::string& address)
{
    size_t at = address.find("&s_hiduke=");
    return at == std::string::npos ? std::string() : address.substr(at);
}

LocalClock Clock(int year, int month, int day, int hour, int minute)
{
    return LocalClock{{static_cast<uint16_t>(year), static_cast<uint16_t>(month), static_cast<uint16_t>(day)},
                      static_cast<uint16_t>(hour), static_cast<uint16_t>(minute)};
}

}  // namespace

TEST(NormalizeDate, CarriesAnOverlongDayIntoTheNextMonth)
{
    struct Case {
        const char* Proves;
        CalendarDate In;
        CalendarDate Out;
    };
    const Case cases[] = {
        {"a valid date stays", {2009, 7, 31}, {2009, 7, 31}},
        {"31-day month carries after 31", {2009, 8, 32}, {2009, 9, 1}},
        {"30-day month carries after 30", {2009, 4, 31}, {2009, 5, 1}},
        {"29 February stays in a leap year", {2004, 2, 29}, {2004, 2, 29}},
        {"2000 is a leap year (divisible by 400)", {2000, 2, 30}, {2000, 3, 1}},
        {"1900 is not a leap year (divisible by 100)", {1900, 2, 29}, {1900, 3, 1}},
        {"2100 is not a leap year", {2100, 2, 29}, {2100, 3, 1}},
        {"February of a common year carries after 28", {2009, 2, 35}, {2009, 3, 7}},
        {"December carries into January of the next year", {2008, 12, 38}, {2009, 1, 7}},
        {"month 13 is left alone", {2009, 13, 40}, {2009, 13, 40}},
        {"month 0 is left alone", {2009, 0, 40}, {2009, 0, 40}},
    };
    for (const Case& c : cases) {
        CalendarDate date = c.In;
        NormalizeDate(date);
        EXPECT_EQ(date.Year, c.Out.Year) << c.Proves;
        EXPECT_EQ(date.Month, c.Out.Month) << c.Proves;
        EXPECT_EQ(date.Day, c.Out.Day) << c.Proves;
    }

    // Every month of 2009: its last day stays, the day after carries.
    const uint16_t lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (uint16_t month = 1; month <= 12; ++month) {
        CalendarDate last{2009, month, lengths[month - 1]};
        NormalizeDate(last);
        EXPECT_EQ(last.Month, month) << "last day of month " << month;
        EXPECT_EQ(last.Day, lengths[month - 1]) << "last day of month " << month;
        CalendarDate after{2009, month, static_cast<uint16_t>(lengths[month - 1] + 1)};
        NormalizeDate(after);
        EXPECT_EQ(after.Month, month == 12 ? 1 : month + 1) << "day after month " << month;
        EXPECT_EQ(after.Day, 1) << "day after month " << month;
    }
}

TEST(BuildRequestAddresses, DateSuffixFollowsTheBroadcastDay)
{
    struct Case {
        const char* Proves;
        LocalClock Now;
        int DaysAhead;
        const char* Suffix;  // "" when no date is named
    };
    const Case cases[] = {
        {"2 January 2009 is written zero-padded", Clock(2009, 1, 1, 12, 0), 1, "&s_hiduke=20090102"},
        {"00:30 keeps the calendar day", Clock(2009, 3, 1, 0, 30), 1, "&s_hiduke=20090302"},
        {"02:00 on the 1st still belongs to the month before", Clock(2009, 3, 1, 2, 0), 1, "&s_hiduke=20090301"},
        {"01:00 counts as the day before", Clock(2009, 3, 10, 1, 0), 1, "&s_hiduke=20090310"},
        {"04:59 counts as the day before", Clock(2009, 3, 10, 4, 59), 1, "&s_hiduke=20090310"},
        {"05:00 is the new day", Clock(2009, 3, 10, 5, 0), 1, "&s_hiduke=20090311"},
        {"03:00 on 1 January reaches back into the old year and forward again", Clock(2009, 1, 1, 3, 0), 2,
         "&s_hiduke=20090102"},
        {"today names no date", Clock(2009, 3, 10, 12, 0), 0, ""},
        {"today names no date at 01:00 on the 1st", Clock(2009, 3, 1, 1, 0), 0, ""},
        {"today names no date at 04:59", Clock(2009, 3, 10, 4, 59), 0, ""},
        {"leap February 2008 has a 29th", Clock(2008, 2, 27, 12, 0), 3, "&s_hiduke=20080301"},
        {"February 2009 has 28 days", Clock(2009, 2, 27, 12, 0), 3, "&s_hiduke=20090302"},
        {"February 2000 has 29 days", Clock(2000, 2, 26, 12, 0), 3, "&s_hiduke=20000229"},
        {"February 1900 has 28 days", Clock(1900, 2, 26, 12, 0), 3, "&s_hiduke=19000301"},
        {"30 December runs into the next year", Clock(2008, 12, 30, 12, 0), 3, "&s_hiduke=20090102"},
        {"April has 30 days", Clock(2009, 4, 28, 12, 0), 3, "&s_hiduke=20090501"},
        {"May has 31 days", Clock(2009, 5, 28, 12, 0), 3, "&s_hiduke=20090531"},
        {"seven days ahead from 31 December at 03:00", Clock(2008, 12, 31, 3, 0), 7, "&s_hiduke=20090106"},
    };
    for (const Case& c : cases) {
        Built built = Build(RequestChoices{14, 7, 7, c.DaysAhead}, c.Now);
        ASSERT_TRUE(built.Ok) << c.Proves;
        for (int slot = 0; slot < 3; ++slot)
            EXPECT_EQ(DateSuffix(built.Slot[slot]), c.Suffix) << c.Proves << ", slot " << slot;
    }
}

TEST(BuildRequestAddresses, TokyoAllGenresEveningToday)
{
    RequestChoices choices{
        PositionOf(GenreChoices, GenreChoiceCount, "全て"),
        PositionOf(TimeChoices, TimeChoiceCount, "19:00～25:00"),
        PositionOf(RegionChoices, RegionChoiceCount, "東京"),
        PositionOf(DayChoices, DayChoiceCount, "今日"),
    };
    Built built = Build(choices, Clock(2009, 3, 1, 2, 0), "127.0.0.1:8080");
    ASSERT_TRUE(built.Ok);
    EXPECT_EQ(built.Slot[0], "http://127.0.0.1:8080/program/gridNormal.php?frame=off&tikicd=0002&way=h&genre=all"
                             "&hour_select=6&s_jikan=190000");
    EXPECT_EQ(built.Slot[1], "http://127.0.0.1:8080/program/gridNormal.php?frame=off&tikicd=3001&way=h&genre=all"
                             "&hour_select=6&s_jikan=190000");
    EXPECT_EQ(built.Slot[2], "http://127.0.0.1:8080/program/gridNormal.php?frame=off&tikicd=3003&way=h&genre=all"
                             "&hour_select=6&s_jikan=190000");
}

TEST(BuildRequestAddresses, EveryChoiceReachesTheAddress)
{
    const LocalClock now = Clock(2009, 6, 15, 20, 0);
    for (int g = 0; g < GenreChoiceCount; ++g) {
        Built built = Build(RequestChoices{g, 0, 0, 0}, now);
        std::string piece = std::string("&genre=") + GenreChoices[g].Code + "&";
        for (int slot = 0; slot < 3; ++slot)
            EXPECT_NE(built.Slot[slot].find(piece), std::string::npos) << GenreChoices[g].Code << " slot " << slot;
    }
    for (int t = 0; t < TimeChoiceCount; ++t) {
        Built built = Build(RequestChoices{0, t, 0, 0}, now);
        std::string tail = std::string("&s_jikan=") + TimeChoices[t].Code;
        for (int slot = 0; slot < 3; ++slot)
            EXPECT_TRUE(built.Slot[slot].ends_with(tail)) << built.Slot[slot];
    }
    for (int r = 0; r < RegionChoiceCount; ++r) {
        Built built = Build(RequestChoices{0, 0, r, 0}, now);
        EXPECT_NE(built.Slot[0].find(std::string("?frame=off&tikicd=") + RegionChoices[r].Code + "&way=h&"),
                  std::string::npos)
            << built.Slot[0];
        EXPECT_NE(built.Slot[1].find("&tikicd=3001&"), std::string::npos) << "satellite slots ignore the region";
        EXPECT_NE(built.Slot[2].find("&tikicd=3003&"), std::string::npos) << "satellite slots ignore the region";
    }

    struct Spot {
        const char* Proves;
        int Genre, Time, Region;
        const char* Piece;
    };
    const Spot spots[] = {
        {"first shown genre is anime", 0, 0, 0, "&genre=N&"},
        {"last shown genre is all", 14, 0, 0, "&genre=all&"},
        {"Okinawa is 0A01", 0, 0, PositionOf(RegionChoices, RegionChoiceCount, "沖縄"), "&tikicd=0A01&"},
        {"Osaka is 0004", 0, 0, PositionOf(RegionChoices, RegionChoiceCount, "大阪"), "&tikicd=0004&"},
        {"Hokkaido is 0001", 0, 0, PositionOf(RegionChoices, RegionChoiceCount, "北海道"), "&tikicd=0001&"},
        {"Kagoshima is 0902", 0, 0, PositionOf(RegionChoices, RegionChoiceCount, "鹿児島"), "&tikicd=0902&"},
        {"the first window starts at 05:00", 0, 0, 0, "&s_jikan=050000"},
        {"the last window starts at 29:00", 0, TimeChoiceCount - 1, 0, "&s_jikan=290000"},
    };
    for (const Spot& s : spots) {
        ASSERT_GE(s.Region, 0) << s.Proves;
        Built built = Build(RequestChoices{s.Genre, s.Time, s.Region, 0}, now);
        EXPECT_NE(built.Slot[0].find(s.Piece), std::string::npos) << s.Proves << ": " << built.Slot[0];
    }
}

TEST(BuildRequestAddresses, PositionOutsideItsTableBuildsNothing)
{
    struct Case {
        const char* Proves;
        RequestChoices Choices;
    };
    const Case cases[] = {
        {"no genre selected", {-1, 0, 0, 0}},
        {"genre past the table", {GenreChoiceCount, 0, 0, 0}},
        {"no time selected", {0, -1, 0, 0}},
        {"time past the table", {0, TimeChoiceCount, 0, 0}},
        {"no region selected", {0, 0, -1, 0}},
        {"region past the table", {0, 0, RegionChoiceCount, 0}},
        {"no day selected", {0, 0, 0, -1}},
        {"day past the table", {0, 0, 0, DayChoiceCount}},
    };
    for (const Case& c : cases) {
        Built built = Build(c.Choices, Clock(2009, 6, 15, 20, 0));
        EXPECT_FALSE(built.Ok) << c.Proves;
        for (int slot = 0; slot < 3; ++slot)
            EXPECT_EQ(built.Slot[slot], "") << c.Proves << ", slot " << slot;
    }
}

TEST(BuildRequestAddresses, HugeHostIsCutInsideTheSlots)
{
    const std::string host(1000, 'h');
    // A fourth row right behind the three slots shows any write past them.
    char rows[4][RequestAddressSize];
    std::memset(rows, '#', sizeof rows);
    ASSERT_TRUE(BuildRequestAddresses(RequestChoices{0, 0, 0, 1}, Clock(2009, 6, 15, 20, 0), host.c_str(), rows));
    for (int slot = 0; slot < 3; ++slot) {
        ASSERT_NE(std::memchr(rows[slot], '\0', RequestAddressSize), nullptr) << "slot " << slot << " is terminated";
        EXPECT_EQ(std::string(rows[slot]), "http://" + host.substr(0, RequestAddressSize - 1 - 7));
    }
    for (size_t i = 0; i < RequestAddressSize; ++i)
        ASSERT_EQ(rows[3][i], '#') << "byte " << i << " behind the slots was written";
}

TEST(ChoiceTables, LabelsAndCodesAreConsistent)
{
    // The time lists sort, so the zero-padded labels must already be in order,
    // and each code is the label's start written as hhmmss.
    for (int t = 0; t < TimeChoiceCount; ++t) {
        const std::string label = TimeChoices[t].Label;
        ASSERT_EQ(label.size(), 12u) << "hh:mm, a two-byte tilde, hh:mm";
        EXPECT_EQ(static_cast<unsigned char>(label[5]), 0x81) << "full-width tilde in code page 932";
        EXPECT_EQ(static_cast<unsigned char>(label[6]), 0x60) << "full-width tilde in code page 932";
        EXPECT_EQ(label.substr(0, 2) + label.substr(3, 2) + "00", TimeChoices[t].Code);
        if (t > 0) {
            EXPECT_LT(std::strcmp(TimeChoices[t - 1].Label, TimeChoices[t].Label), 0) << t;
        }
    }

    // Region codes are four characters and no two regions share one.
    for (int r = 0; r < RegionChoiceCount; ++r) {
        EXPECT_EQ(std::strlen(RegionChoices[r].Code), 4u) << r;
        for (int other = 0; other < r; ++other)
            EXPECT_STRNE(RegionChoices[r].Code, RegionChoices[other].Code) << r << " and " << other;
    }

    // The documentary label is half-width katakana: one byte per kana.
    const unsigned char* documentary = reinterpret_cast<const unsigned char*>(GenreChoices[4].Label);
    EXPECT_EQ(documentary[0], 0xC4) << "half-width to";
    EXPECT_EQ(documentary[1], 0xDE) << "half-width voicing mark";
    EXPECT_EQ(std::strlen(GenreChoices[4].Label), 9u + 2u + 4u);
}

TEST(ChoiceTables, GenreAddOrderHoldsTheShownLabelsByCode)
{
    // Both orders hold the same fifteen labels; after "全て" the labels are
    // added in the alphabetical order of their codes.
    const char* previousCode = "";
    for (int i = 0; i < GenreChoiceCount; ++i) {
        int shown = PositionOf(GenreChoices, GenreChoiceCount, GenreAddOrder[i]);
        ASSERT_GE(shown, 0) << "added label " << i << " is not shown";
        for (int j = 0; j < i; ++j)
            EXPECT_STRNE(GenreAddOrder[i], GenreAddOrder[j]) << i << " added twice";
        if (i == 0) {
            EXPECT_STREQ(GenreChoices[shown].Code, "all") << "全て is added first";
            continue;
        }
        EXPECT_LT(std::strcmp(previousCode, GenreChoices[shown].Code), 0) << "added label " << i;
        previousCode = GenreChoices[shown].Code;
    }
}
