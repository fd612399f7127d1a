#include "views/timetable_layout.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Rec { const char* station; int day = 1, sh = 6, sm = 0, eh = 7, em = 0, month = 4; };
using Rect = std::array<int, 4>; // left, top, right, bottom
const char *const W = "ＷＯＷＯＷ", *const N1 = "ＮＨＫ衛星第一", *const N2 = "ＮＨＫ衛星第二";

Rect Of(const ProgrammeBox& b) { return {b.Left, b.Top, b.Right, b.Bottom}; }

// Each record with a stale box, which the layout must replace.
void Fill(ProgrammeStore& list, const std::vector<Rec>& records)
{
    for (const Rec& r : records) {
        TELOMI* t = list.Append();
        std::snprintf(t->Station, sizeof t->Station, "%s", r.station);
        t->Month = r.month, t->Day = r.day, t->StartHour = r.sh, t->StartMinute = r.sm, t->EndHour = r.eh;
        t->EndMinute = r.em, t->Box = ProgrammeBox{5, 5, 50, 50};
    }
}

// "first hour, hours | rows, boxes" laid out 800 by 600; an undated record's box only when it is not empty.
std::string Picture(const std::vector<Rec>& records, int year = 2027)
{
    ProgrammeStore list;
    Fill(list, records);
    TimetableLayout layout{.clientWidth = 800, .clientHeight = 600};
    std::vector<StationRow> rows;
    const int firstHour = LayOutTimetable(list, static_cast<int>(records.size()), year, layout, rows);
    char text[512];
    int at = std::snprintf(text, sizeof text, "%d %d |", firstHour, layout.hourCount);
    for (const StationRow& row : rows)
        at += std::snprintf(text + at, sizeof text - at, " %s", row.Name);
    for (size_t i = 0; i < records.size(); ++i)
        if (const ProgrammeBox b = list[i].Box; records[i].month != 0 || Of(b) != Rect{})
            at += std::snprintf(text + at, sizeof text - at, " %d,%d,%d,%d", b.Left, b.Top, b.Right, b.Bottom);
    return text;
}

TimetableLayout Measured(int stations, int hours)
{
    TimetableLayout layout{.clientWidth = 800, .clientHeight = 500};
    return MeasureGrid(layout, stations, hours), layout;
}

} // namespace

TEST(TimetableLayout, PaintLayout)
{
    // 600 high (T 30); 800 wide (S 80) unless given. The previous paint left an hour width of 120.
    struct Case {
        const char* name; std::vector<Rec> records; int width, stations, hours, first, last, hourWidth, firstHour;
        const char* labels;
        std::vector<std::pair<int, Rect>> boxes = {}, labelRects = {}; // by record, by label number
        int count = -1;                                                // records laid out, all unless given
    } cases[] = {
        {"empty list", {}, 800, 0, 0, 0, 0, 120, 24, "", {}},
        {"5:00 to 11:00", {{"A", 3, 5, 0, 5, 15}, {"A", 3, 5, 15, 5, 45}, {"A", 3, 10, 0, 11, 0}, {"B", 3, 6, 0, 7, 0}},
         800, 2, 6, 0, 2, 120, 5, "5:00 5:30 6:00 6:30 7:00 7:30 8:00 8:30 9:00 9:30 10:00 10:30",
         {{1, {111, 30, 171, 315}}, {3, {201, 315, 321, 600}}}, {{1, {90, 0, 135, 30}}, {2, {150, 0, 270, 30}}}},
        {"an end at 11:10 adds column 7", {{"A", 3, 5, 0, 5, 15}, {"A", 3, 10, 0, 11, 10}}, 900, 1, 7, 0, 1, 115,
         5, "5:00 5:30 6:00 6:30 7:00 7:30 8:00 8:30 9:00 9:30 10:00 10:30 11:00 11:30", {{1, {666, 30, 791, 600}}},
         {{1, {100, 0, 142, 30}}, {3, {214, 0, 329, 30}}, {14, {841, 0, 956, 30}}}},
        {"23:30-0:45 is 75 minutes wide, 23:30-0:15 45",
         {{"A", 5, 23, 0, 23, 30}, {"A", 5, 23, 30, 0, 45}, {"A", 5, 23, 30, 0, 15}}, 800, 1, 1, 0, 0, 720, 23,
         "23:00 23:30", {{1, {441, 30, 1341, 600}}, {2, {441, 30, 981, 600}}}},
        {"another station in two runs keeps two rows", {{"A"}, {"B"}, {"A", 1, 7, 0, 8, 0}}, 800, 3, 2, 1, 2, 360, 6,
         "6:00 6:30 7:00 7:30", {{0, {81, 410, 441, 600}}, {1, {81, 220, 441, 410}}, {2, {441, 410, 801, 600}}}},
        {"each satellite merges on its own", {{N1}, {N2}, {W}, {"A"}, {N1}, {N2}, {W}}, 800, 4, 1, 6, 6, 720, 6,
         "6:00 6:30", {{3, {81, 456, 801, 598}}, {4, {81, 30, 801, 172}}, {6, {81, 314, 801, 456}}}},
        {"only the exact satellite names merge", {{"ＷＯＷＯＷシネマ"}, {"A"}, {"ＷＯＷＯＷシネマ"}, {W}}, 800, 4, 1, 3, 3,
         720, 6, "6:00 6:30", {}},
        {"24 hours: no columns, the old hour width", {{"A", 1, 5, 0, 6, 0}, {"A", 2, 4, 0, 4, 30}}, 800, 1, 0, 0, 1,
         120, 5, "", {{0, {81, 30, 201, 600}}, {1, {2841, 30, 2901, 600}}}},
        {"a record still being filled is left out, its station has no row", {{"A"}, {"B", 1, 5, 30}}, 800, 1, 1, 0,
         0, 720, 6, "6:00 6:30", {{1, {0, 0, 0, 0}}}, {}, 1},
        // Which records are first and last.
        {"ties: the later record is first and last", {{"A"}, {"B"}}, 800, 2, 1, 1, 1, 720, 6, "6:00 6:30", {}},
        {"a later minute is not first", {{"A", 1, 6, 10}, {"B", 1, 6, 20}}, 800, 2, 1, 0, 1, 720, 6, "6:00 6:30", {}},
        {"an earlier minute is first, an earlier end not last", {{"A", 1, 6, 20, 7, 10}, {"B", 1, 6, 10, 7, 5}}, 800, 2,
         2, 1, 0, 360, 6, "6:00 6:30 7:00 7:30", {}},
        {"an end hour of 24 counts", {{"A", 1, 20, 0, 21, 0}, {"A", 1, 22, 0, 24, 0}}, 800, 1, 4, 0, 1, 180, 20,
         "20:00 20:30 21:00 21:30 22:00 22:30 23:00 23:30", {}},
        {"an end past midnight on the start's day is not last", {{"A", 1, 22, 0, 23, 0}, {"A", 1, 23, 30, 0, 30}}, 800,
         1, 1, 0, 0, 720, 22, "22:00 22:30", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgrammeStore list;
        Fill(list, c.records);
        TimetableLayout layout{.clientWidth = c.width, .clientHeight = 600, .hourWidth = 120, .firstProgramme = 99,
                               .lastProgramme = 99};
        std::vector<StationRow> rows(3); // a previous paint's rows are replaced
        const int count = c.count < 0 ? static_cast<int>(c.records.size()) : c.count;
        const int firstHour = LayOutTimetable(list, count, 2027, layout, rows);
        EXPECT_EQ((std::array{firstHour, layout.stationCount, layout.hourCount, layout.firstProgramme,
                              layout.lastProgramme, layout.hourWidth}),
                  (std::array{c.firstHour, c.stations, c.hours, c.first, c.last, c.hourWidth}));
        // Label 1 stops 5 px short of the first half-hour mark; later ones may run a whole column.
        const std::vector<TimeLabel> built = BuildTimeLabels(layout, c.firstHour);
        std::string labels;
        for (const TimeLabel& label : built) labels += " " + std::string(label.Text);
        EXPECT_EQ(labels, *c.labels ? " " + std::string(c.labels) : "");
        for (const auto& [n, rect] : c.labelRects)
            EXPECT_EQ((Rect{built[n - 1].Left, built[n - 1].Top, built[n - 1].Right, built[n - 1].Bottom}), rect) << n;
        for (int i = count; i < static_cast<int>(c.records.size()); ++i)
            LayoutProgrammeBox(list[i], layout, rows, firstHour);
        for (const auto& [index, box] : c.boxes)
            EXPECT_EQ(Of(list[index].Box), box) << "record " << index;
    }
}

// A page that never arrived leaves a record with no date and most often no station.
TEST(TimetableLayout, RecordsWithoutADateAreLeftOut)
{
    const Rec a1{"A", 10, 20, 0, 21, 0}, a2{"A", 10, 22, 30, 23, 15}, b1{"B", 10, 21, 0, 23, 0};
    const Rec b2{"B", 11, 0, 0, 1, 30}, none{"", 0, 0, 0, 0, 0, 0}, named{"A", 0, 0, 0, 0, 0, 0};
    const char* const evening = "20 6 | A B 81,30,201,315 381,30,471,315 201,315,441,600 561,315,741,600";
    const struct { const char* name; std::vector<Rec> records; const char* picture; } cases[] = {
        {"none", {a1, a2, b1, b2}, evening}, {"one first", {none, a1, a2, b1, b2}, evening},
        {"one inside a station's run", {a1, none, a2, b1, b2}, evening},
        {"several, one naming another station, one last", {none, a1, a2, b1, named, b2, none}, evening},
        {"all", {none, named, none}, "24 0 |"}};
    for (const auto& c : cases) EXPECT_EQ(Picture(c.records), c.picture) << c.name;
}

// Records carry no year: each date is read nearest the first record's, taken in the given year.
TEST(TimetableLayout, NightsOverAMonthOrYearEndLayOutAsWithinAMonth)
{
    const struct { const char* name; int year, month, day, nextMonth, nextDay; } cases[] = {
        {"within April", 2027, 4, 10, 4, 11}, {"new year's eve", 2027, 12, 31, 1, 1},
        {"new year's eve, seen in the new year", 2028, 12, 31, 1, 1}, {"end of April", 2027, 4, 30, 5, 1},
        {"end of February", 2027, 2, 28, 3, 1}, {"end of a leap February", 2028, 2, 28, 3, 1},
        {"into the leap day", 2028, 2, 28, 2, 29}};
    for (const auto& c : cases) // listed from the small hours back
        EXPECT_EQ(Picture({{"A", c.nextDay, 0, 30, 2, 0, c.nextMonth}, {"A", c.day, 22, 0, 23, 0, c.month},
                           {"A", c.day, 23, 0, 0, 30, c.month}}, c.year),
                  "22 4 | A 531,30,801,600 81,30,261,600 261,30,531,600") << c.name;
}

// Below the station column or header truncation towards zero moves the stop: (-320 - 100) / 7 is -60,
// (-319 - 100) / 7 already -59.
TEST(TimetableLayout, FitKeepsWholeMinutesAndEqualRows)
{
    EXPECT_EQ((std::array{FitClientWidth(1000, 100, 7), FitClientWidth(0, 100, 7), FitClientWidth(500, 80, 0)}),
              (std::array{946, -320, 500}));
    EXPECT_EQ((std::array{FitClientHeight(500, 25, 3), FitClientHeight(10, 25, 4), FitClientHeight(500, 25, 0)}),
              (std::array{499, 9, 500}));
    // The window's fit takes S, T, N and R from the last paint; there is none without rows or columns.
    int w1 = -1, h1 = -1;
    EXPECT_FALSE(FitClientSize(Measured(0, 7), 800, 500, w1, h1) || FitClientSize(Measured(9, 0), 800, 500, w1, h1));
    EXPECT_EQ(std::make_pair(w1, h1), std::make_pair(-1, -1));
    EXPECT_TRUE(FitClientSize(Measured(9, 7), 800, 500, w1, h1));
    EXPECT_EQ(std::make_pair(w1, h1), std::make_pair(506, 493));
}
