#include "views/timetable_layout.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Rec { const char* station; int day = 1, sh = 6, sm = 0, eh = 7, em = 0; };
using Rect = std::array<int, 4>; // left, top, right, bottom
const char *const W = "ＷＯＷＯＷ", *const N1 = "ＮＨＫ衛星第一", *const N2 = "ＮＨＫ衛星第二";

Rect Of(const ProgrammeBox& b) { return {b.Left, b.Top, b.Right, b.Bottom}; }

TimetableLayout Measured(int width, int height, int stations, int hours)
{
    TimetableLayout layout{.clientWidth = width, .clientHeight = height};
    MeasureGrid(layout, stations, hours);
    return layout;
}

} // namespace

TEST(TimetableLayout, PaintLayout)
{
    // 600 high (T 30); 800 wide (S 80) unless given. The previous paint left an hour width of 120.
    struct Case {
        const char* name;
        std::vector<Rec> records;
        int width, stations, hours, first, last, hourWidth, firstHour;
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
        {"20:00 to 2:00 the next day",
         {{"A", 10, 20, 0, 21, 0}, {"A", 10, 23, 30, 0, 30}, {"A", 11, 0, 30, 1, 0}, {"A", 11, 1, 0, 2, 0}},
         800, 1, 6, 0, 3, 120, 20, "20:00 20:30 21:00 21:30 22:00 22:30 23:00 23:30 0:00 0:30 1:00 1:30",
         {{1, {501, 30, 621, 600}}, {2, {621, 30, 681, 600}}}},
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
        {"an earlier day is first whatever its hour", {{"A", 2, 1, 0, 2, 0}, {"A", 1, 23, 0, 0, 0}}, 800, 1, 3, 1, 0,
         240, 23, "23:00 23:30 0:00 0:30 1:00 1:30", {}},
        {"an end hour of 24 counts", {{"A", 1, 20, 0, 21, 0}, {"A", 1, 22, 0, 24, 0}}, 800, 1, 4, 0, 1, 180, 20,
         "20:00 20:30 21:00 21:30 22:00 22:30 23:00 23:30", {}},
        {"an end past midnight on the start's day is not last", {{"A", 1, 22, 0, 23, 0}, {"A", 1, 23, 30, 0, 30}}, 800,
         1, 1, 0, 0, 720, 22, "22:00 22:30", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgrammeStore list;
        for (const Rec& r : c.records) {
            TELOMI* t = list.Append();
            std::snprintf(t->Station, sizeof t->Station, "%s", r.station);
            t->Day = r.day, t->StartHour = r.sh, t->StartMinute = r.sm, t->EndHour = r.eh, t->EndMinute = r.em;
            t->Box = ProgrammeBox{5, 5, 50, 50};
        }
        TimetableLayout layout{.clientWidth = c.width, .clientHeight = 600, .hourWidth = 120, .firstProgramme = 99,
                               .lastProgramme = 99};
        std::vector<StationRow> rows(3); // a previous paint's rows are replaced
        const int count = c.count < 0 ? static_cast<int>(c.records.size()) : c.count;
        const int firstHour = LayOutTimetable(list, count, layout, rows);
        EXPECT_EQ(firstHour, c.firstHour);
        EXPECT_EQ((std::array{layout.stationCount, layout.hourCount, layout.firstProgramme, layout.lastProgramme,
                              layout.hourWidth}), (std::array{c.stations, c.hours, c.first, c.last, c.hourWidth}));
        // Label 1 stops 5 px short of the first half-hour mark; later ones may run a whole column.
        const std::vector<TimeLabel> built = BuildTimeLabels(layout, c.firstHour);
        std::string labels;
        for (const TimeLabel& label : built)
            labels += (labels.empty() ? "" : " ") + std::string(label.Text);
        EXPECT_EQ(labels, c.labels);
        for (const auto& [n, rect] : c.labelRects)
            EXPECT_EQ((Rect{built[n - 1].Left, built[n - 1].Top, built[n - 1].Right, built[n - 1].Bottom}), rect) << n;
        for (int i = count; i < static_cast<int>(c.records.size()); ++i)
            LayoutProgrammeBox(list[i], layout, rows, firstHour);
        for (const auto& [index, box] : c.boxes)
            EXPECT_EQ(Of(list[index].Box), box) << "record " << index;
    }
}

TEST(TimetableLayout, FitMatchesStepByStepSearch)
{
    // Sizes below the station column or header included, where truncation towards zero moves the stop.
    for (int s : {0, 46, 100, 900})
        for (int n : {1, 2, 3, 5, 7, 12, 23, 30})
            for (int w0 = -300; w0 <= 1500; ++w0) {
                int w1 = w0;
                while (((w1 - s) / n) % 60 != 0)
                    --w1;
                ASSERT_EQ(FitClientWidth(w0, s, n), w1) << "W " << w0 << " S " << s << " N " << n;
            }
    for (int t : {0, 25, 60, 2000})
        for (int r = 1; r <= 40; ++r)
            for (int h0 = -100; h0 <= 1200; ++h0) {
                int h1 = h0;
                while ((h1 - t) % r != 0)
                    --h1;
                ASSERT_EQ(FitClientHeight(h0, t, r), h1) << "H " << h0 << " T " << t << " R " << r;
            }
    // The window's fit takes S, T, N and R from the last paint; there is none without rows or columns.
    int w1 = -1, h1 = -1;
    EXPECT_FALSE(FitClientSize(Measured(800, 500, 0, 7), 800, 500, w1, h1));
    EXPECT_FALSE(FitClientSize(Measured(800, 500, 9, 0), 800, 500, w1, h1));
    EXPECT_EQ(std::make_pair(w1, h1), std::make_pair(-1, -1));
    EXPECT_TRUE(FitClientSize(Measured(800, 500, 9, 7), 800, 500, w1, h1));
    EXPECT_EQ(std::make_pair(w1, h1), std::make_pair(506, 493));
}
