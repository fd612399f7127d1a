#include "views/timetable_layout.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Rec {
    const char* station;
    int day;
    int sh, sm, eh, em;
};

void Fill(ProgrammeStore& list, const std::vector<Rec>& records)
{
    list.Clear();
    for (const Rec& r : records) {
        TELOMI* t = list.Append();
        ASSERT_NE(t, nullptr);
        std::snprintf(t->Station, sizeof t->Station, "%s", r.station);
        t->Month = 4;
        t->Day = r.day;
        t->StartHour = r.sh;
        t->StartMinute = r.sm;
        t->EndHour = r.eh;
        t->EndMinute = r.em;
    }
}

std::vector<std::string> Names(const std::vector<StationRow>& rows)
{
    std::vector<std::string> names;
    for (const StationRow& row : rows)
        names.emplace_back(row.Name);
    return names;
}

} // namespace

TEST(TimetableLayout, StationTable)
{
    const char* A = "ＮＨＫ総合";
    const char* B = "ＴＢＳ";
    const char* W = "ＷＯＷＯＷ";
    const char* N1 = "ＮＨＫ衛星第一";
    const char* N2 = "ＮＨＫ衛星第二";
    const char* W2 = "ＷＯＷＯＷシネマ";
    struct Case {
        const char* name;
        std::vector<const char*> stations;
        std::vector<std::string> rows;
    } cases[] = {
        {"empty list has no rows", {}, {}},
        {"each run of one station makes one row", {A, A, B, B, B}, {A, B}},
        {"a satellite station met again keeps only its first row", {W, A, W, B}, {W, A, B}},
        {"each satellite name is merged on its own, order kept", {N1, N2, W, A, N1, N2, W}, {N1, N2, W, A}},
        {"any other station in two runs keeps two rows", {A, B, A}, {A, B, A}},
        {"only the exact satellite names merge", {W2, A, W2, W}, {W2, A, W2, W}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgrammeStore list;
        std::vector<Rec> records;
        for (const char* s : c.stations)
            records.push_back({s, 1, 6, 0, 7, 0});
        Fill(list, records);
        std::vector<StationRow> rows(3);   // a previous paint's table is replaced
        int r = BuildStationTable(list, static_cast<int>(records.size()), rows);
        EXPECT_EQ(r, static_cast<int>(c.rows.size()));
        EXPECT_EQ(Names(rows), c.rows);
    }
}

TEST(TimetableLayout, StationTableReadsOnlyCompleteRecords)
{
    ProgrammeStore list;
    Fill(list, {{"ＮＨＫ総合", 1, 6, 0, 7, 0}, {"ＴＢＳ", 1, 6, 0, 7, 0}});
    std::vector<StationRow> rows;
    EXPECT_EQ(BuildStationTable(list, 1, rows), 1) << "a record above the count is still being filled";
}

TEST(TimetableLayout, HourSpan)
{
    struct Case {
        const char* name;
        std::vector<Rec> records;
        int first, last, hours, firstHour;
    } cases[] = {
        {"empty list: no columns", {}, 0, 0, 0, 24},
        {"equal start and end: the later record is first and last",
         {{"A", 1, 6, 0, 7, 0}, {"B", 1, 6, 0, 7, 0}}, 1, 1, 1, 6},
        {"a later minute in the same hour does not replace the first",
         {{"A", 1, 6, 10, 7, 0}, {"B", 1, 6, 20, 7, 0}}, 0, 1, 1, 6},
        {"an earlier minute in the same hour replaces the first; an earlier end does not replace the last",
         {{"A", 1, 6, 20, 7, 10}, {"B", 1, 6, 10, 7, 5}}, 1, 0, 2, 6},
        {"a partly used last hour gets a column",
         {{"A", 1, 5, 0, 6, 0}, {"A", 1, 10, 0, 11, 10}}, 0, 1, 7, 5},
        {"an earlier day is first whatever its hour, the span runs past midnight",
         {{"A", 2, 1, 0, 2, 0}, {"A", 1, 23, 0, 0, 0}}, 1, 0, 3, 23},
        {"an end hour of 24 is accepted",
         {{"A", 1, 22, 0, 24, 0}}, 0, 0, 2, 22},
        {"an end after midnight on the start's day is not the last",
         {{"A", 1, 22, 0, 23, 0}, {"A", 1, 23, 30, 0, 30}}, 0, 0, 1, 22},
        {"a span of exactly 24 hours gives no columns",
         {{"A", 1, 5, 0, 6, 0}, {"A", 2, 4, 0, 4, 30}}, 0, 1, 0, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgrammeStore list;
        Fill(list, c.records);
        const int count = static_cast<int>(c.records.size());
        int first = 0, last = 0;
        EXPECT_EQ(ComputeHourSpan(list, count, first, last), c.hours);
        EXPECT_EQ(first, c.first);
        EXPECT_EQ(last, c.last);
        EXPECT_EQ(GridFirstHour(list, count, first), c.firstHour);
    }
}

TEST(TimetableLayout, PaintLayout)
{
    struct Box {
        int index;
        ProgrammeBox box;
    };
    struct Case {
        const char* name;
        std::vector<Rec> records;
        int width, height, previousHourWidth;
        int stations, hours, first, last, hourWidth;
        std::vector<std::string> labels;
        std::vector<Box> boxes;
    } cases[] = {
        {"empty list: no rows, columns or labels", {}, 800, 600, 0, 0, 0, 0, 0, 0, {}, {}},
        // S 80, T 30, U 120, P 2, Q 285. 5:15 is 15 min right of the first hour line, plus 1.
        {"5:00 to 11:00: six columns, a 5:15-5:45 box 30 min wide",
         {{"ＮＨＫ総合", 3, 5, 0, 5, 15}, {"ＮＨＫ総合", 3, 5, 15, 5, 45}, {"ＮＨＫ総合", 3, 10, 0, 11, 0},
          {"ＴＢＳ", 3, 6, 0, 7, 0}},
         800, 600, 0, 2, 6, 0, 2, 120,
         {"5:00", "5:30", "6:00", "6:30", "7:00", "7:30", "8:00", "8:30", "9:00", "9:30", "10:00", "10:30"},
         {{1, {80 + 30 + 1, 30, 80 + 30 + 1 + 60, 315}}, {3, {80 + 120 + 1, 315, 80 + 240 + 1, 600}}}},
        // S 93, U 120, P 2: the box from 10:00 to 11:10 is 70 min wide.
        {"an end at 11:10 adds a seventh column",
         {{"ＮＨＫ総合", 3, 5, 0, 5, 15}, {"ＮＨＫ総合", 3, 10, 0, 11, 10}},
         933, 600, 0, 1, 7, 0, 1, 120,
         {"5:00", "5:30", "6:00", "6:30", "7:00", "7:30", "8:00", "8:30", "9:00", "9:30", "10:00", "10:30",
          "11:00", "11:30"},
         {{1, {93 + 5 * 120 + 1, 30, 93 + 5 * 120 + 1 + 140, 600}}}},
        // S 80, U 120, P 2: 0:30 lies 4 h 30 min right of the 20:00 line.
        {"20:00 to 2:00 the next day",
         {{"ＮＨＫ総合", 10, 20, 0, 21, 0}, {"ＮＨＫ総合", 10, 23, 30, 0, 30}, {"ＮＨＫ総合", 11, 0, 30, 1, 0},
          {"ＮＨＫ総合", 11, 1, 0, 2, 0}},
         800, 600, 0, 1, 6, 0, 3, 120,
         {"20:00", "20:30", "21:00", "21:30", "22:00", "22:30", "23:00", "23:30", "0:00", "0:30", "1:00", "1:30"},
         {{1, {80 + 420 + 1, 30, 80 + 540 + 1, 600}}, {2, {80 + 540 + 1, 30, 80 + 600 + 1, 600}}}},
        // One column 23:00-24:00: U 720, P 12.
        {"boxes across midnight: 23:30-0:45 is 75 min wide, 23:30-0:15 borrows an hour to 45 min",
         {{"ＮＨＫ総合", 5, 23, 0, 23, 30}, {"ＮＨＫ総合", 5, 23, 30, 0, 45}, {"ＮＨＫ総合", 5, 23, 30, 0, 15}},
         800, 600, 0, 1, 1, 0, 0, 720,
         {"23:00", "23:30"},
         {{1, {80 + 360 + 1, 30, 80 + 360 + 1 + 75 * 12, 600}}, {2, {80 + 360 + 1, 30, 80 + 360 + 1 + 45 * 12, 600}}}},
        // U 360, P 6, Q 285: both WOWOW runs in the top row; two 6:00 starts, the later is first.
        {"WOWOW in two runs: one row holding both",
         {{"ＷＯＷＯＷ", 1, 6, 0, 7, 0}, {"ＢＳ日テレ", 1, 6, 0, 8, 0}, {"ＷＯＷＯＷ", 1, 7, 0, 8, 0}},
         800, 600, 0, 2, 2, 1, 2, 360,
         {"6:00", "6:30", "7:00", "7:30"},
         {{0, {81, 30, 441, 315}}, {1, {81, 315, 801, 600}}, {2, {441, 30, 801, 315}}}},
        // Q 190: rows at 30, 220, 410; the upper NHK row stays empty.
        {"another station in two runs: two rows, its programmes in the lower one",
         {{"ＮＨＫ総合", 1, 6, 0, 7, 0}, {"ＴＢＳ", 1, 6, 0, 7, 0}, {"ＮＨＫ総合", 1, 7, 0, 8, 0}},
         800, 600, 0, 3, 2, 1, 2, 360,
         {"6:00", "6:30", "7:00", "7:30"},
         {{0, {81, 410, 441, 600}}, {1, {81, 220, 441, 410}}, {2, {441, 410, 801, 600}}}},
        // No columns: the boxes use the previous paint's hour width of 120 (P 2).
        {"a 24-hour span: no labels, boxes with the previous hour width",
         {{"ＮＨＫ総合", 1, 5, 0, 6, 0}, {"ＮＨＫ総合", 2, 4, 0, 4, 30}},
         800, 600, 120, 1, 0, 0, 1, 120,
         {},
         {{0, {81, 30, 201, 600}}, {1, {80 + 23 * 120 + 1, 30, 80 + 23 * 120 + 1 + 60, 600}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgrammeStore list;
        Fill(list, c.records);
        TimetableLayout layout;
        layout.clientWidth = c.width;
        layout.clientHeight = c.height;
        layout.hourWidth = c.previousHourWidth;
        layout.firstProgramme = 99;   // a previous paint's values are not kept
        layout.lastProgramme = 99;
        std::vector<StationRow> rows;
        const int firstHour = LayOutTimetable(list, static_cast<int>(c.records.size()), layout, rows);

        EXPECT_EQ(layout.stationCount, c.stations);
        EXPECT_EQ(layout.hourCount, c.hours);
        EXPECT_EQ(layout.firstProgramme, c.first);
        EXPECT_EQ(layout.lastProgramme, c.last);
        EXPECT_EQ(layout.hourWidth, c.hourWidth);

        std::vector<std::string> labels;
        for (const TimeLabel& label : BuildTimeLabels(layout, firstHour))
            labels.emplace_back(label.Text);
        EXPECT_EQ(labels, c.labels);

        for (const Box& b : c.boxes) {
            SCOPED_TRACE(b.index);
            const ProgrammeBox& got = list[b.index].Box;
            EXPECT_EQ(got.Left, b.box.Left);
            EXPECT_EQ(got.Top, b.box.Top);
            EXPECT_EQ(got.Right, b.box.Right);
            EXPECT_EQ(got.Bottom, b.box.Bottom);
        }
    }
}

TEST(TimetableLayout, LabelBoxes)
{
    struct Case {
        const char* name;
        int width, height, hours;
    } cases[] = {
        {"six columns of 120 px", 800, 600, 6},
        {"seven columns of 102 px", 800, 500, 7},
        {"one wide column", 1300, 900, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TimetableLayout layout;
        layout.clientWidth = c.width;
        layout.clientHeight = c.height;
        MeasureGrid(layout, 3, c.hours);
        const int s = layout.stationColumnWidth, u = layout.hourWidth, t = layout.headerHeight;
        const auto labels = BuildTimeLabels(layout, 5);
        ASSERT_EQ(labels.size(), static_cast<size_t>(2 * c.hours));
        EXPECT_EQ(labels[0].Right, s + u / 2 - 5) << "label 1 stops 5 px before the first half-hour mark";
        for (size_t i = 0; i < labels.size(); ++i) {
            const int n = static_cast<int>(i) + 1;
            SCOPED_TRACE(n);
            EXPECT_EQ(labels[i].Left, s + 10 + (n - 1) * (u / 2));
            EXPECT_EQ(labels[i].Top, 0);
            EXPECT_EQ(labels[i].Bottom, t);
            if (n >= 2) {
                // The mark following the label's start: the hour line after a half-hour
                // label, the half-hour mark after a full-hour label.
                const int k = (n - 1) / 2;
                const int nextMark = (n % 2 == 0) ? s + (k + 1) * u : s + k * u + u / 2;
                EXPECT_GT(labels[i].Right, nextMark) << "later labels are not cut at their next mark";
            }
        }
    }
}

TEST(TimetableLayout, RecordWithoutRowGetsEmptyBox)
{
    ProgrammeStore list;
    Fill(list, {{"ＮＨＫ総合", 1, 6, 0, 7, 0}, {"ＴＢＳ", 1, 6, 30, 7, 0}});
    TimetableLayout layout;
    layout.clientWidth = 800;
    layout.clientHeight = 600;
    std::vector<StationRow> rows;
    const int firstHour = LayOutTimetable(list, 1, layout, rows);   // the second arrived after the rows were built
    list[1].Box = ProgrammeBox{5, 5, 50, 50};
    const ProgrammeBox box = LayoutProgrammeBox(list[1], layout, rows, firstHour);
    EXPECT_EQ(box.Left, 0);
    EXPECT_EQ(box.Top, 0);
    EXPECT_EQ(box.Right, 0);
    EXPECT_EQ(box.Bottom, 0);
    EXPECT_EQ(list[1].Box.Right, 0) << "the stale box of an earlier paint is replaced";
}

TEST(TimetableLayout, WindowFit)
{
    struct Case {
        const char* name;
        int width, height, stations, hours;
        bool fits;
        int fitWidth, fitHeight;
    } cases[] = {
        {"800 wide (U 102) fits to 506 (U 60); 500 high, 9 rows fits to 493", 800, 500, 9, 7, true, 506, 493},
        {"1000 wide (U 128) fits to 946 (U 120)", 1000, 500, 9, 7, true, 946, 493},
        {"460 wide (U 59) shrinks to 52 (U 0)", 460, 500, 9, 7, true, 52, 493},
        {"a size that already fits stays", 933, 600, 6, 7, true, 933, 600},
        {"no rows: no fit", 800, 500, 0, 7, false, 0, 0},
        {"no columns: no fit", 800, 500, 9, 0, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TimetableLayout layout;
        layout.clientWidth = c.width;
        layout.clientHeight = c.height;
        MeasureGrid(layout, c.stations, c.hours);
        int w1 = -1, h1 = -1;
        ASSERT_EQ(FitClientSize(layout, c.width, c.height, w1, h1), c.fits);
        if (c.fits) {
            EXPECT_EQ(w1, c.fitWidth);
            EXPECT_EQ(h1, c.fitHeight);
        }
    }
}

namespace {

int ReferenceFitWidth(int w1, int s, int n)
{
    while (((w1 - s) / n) % 60 != 0)
        --w1;
    return w1;
}

int ReferenceFitHeight(int h1, int t, int r)
{
    while ((h1 - t) % r != 0)
        --h1;
    return h1;
}

} // namespace

TEST(TimetableLayout, FitMatchesStepByStepSearch)
{
    // Including client sizes below the station column or the header, where
    // truncation towards zero changes where the search stops.
    int mismatches = 0;
    for (int s : {0, 46, 100, 900})
        for (int n : {1, 2, 3, 5, 7, 12, 23, 30})
            for (int w0 = -300; w0 <= 1500; ++w0)
                if (FitClientWidth(w0, s, n) != ReferenceFitWidth(w0, s, n) && ++mismatches <= 5)
                    ADD_FAILURE() << "width " << w0 << " S " << s << " N " << n << ": "
                                  << FitClientWidth(w0, s, n) << " != " << ReferenceFitWidth(w0, s, n);
    for (int t : {0, 25, 60, 2000})
        for (int r = 1; r <= 40; ++r)
            for (int h0 = -100; h0 <= 1200; ++h0)
                if (FitClientHeight(h0, t, r) != ReferenceFitHeight(h0, t, r) && ++mismatches <= 10)
                    ADD_FAILURE() << "height " << h0 << " T " << t << " R " << r << ": "
                                  << FitClientHeight(h0, t, r) << " != " << ReferenceFitHeight(h0, t, r);
    EXPECT_EQ(mismatches, 0);
}
