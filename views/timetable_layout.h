// The timetable's geometry: station rows, hour columns, time labels, programme
// boxes and the window fit. Pure integer arithmetic on client coordinates, every
// division truncating towards zero, so the window itself only draws.
#pragma once

#include <cstdint>
#include <vector>

#include "listing/programme.h"

struct StationRow {
    char Name[256];   // code page 932, a copy of one record's Station
    int32_t Top;      // y of the row's top edge
};

// Measures kept from one paint to the next; the fit reads them.
struct TimetableLayout {
    int32_t clientWidth = 0;          // W
    int32_t clientHeight = 0;         // H
    int32_t stationColumnWidth = 0;   // S = W / 10
    int32_t headerHeight = 0;         // T = H / 20
    int32_t stationCount = 0;         // R
    int32_t hourCount = 0;            // N
    int32_t hourWidth = 0;            // U = (W - S) / N, kept while N is 0
    int32_t firstProgramme = 0;       // earliest-starting record
    int32_t lastProgramme = 0;        // latest-ending record
    bool fitPending = true;           // a fit follows the next paint
};

// The timetable window's measures and rows, kept from one paint to the next;
// interface thread only.
extern TimetableLayout TableLayout;
extern std::vector<StationRow> StationTable;

// One row per run of equal Station among the first count records, the later
// rows of the three satellite stations merged into their first; returns R.
// Records without a date (Month 0: their detail page never arrived) are left
// out here and everywhere below: no row, no part in the span, an empty box.
int BuildStationTable(const ProgrammeStore& list, int count, std::vector<StationRow>& rows);

// Earliest-starting and latest-ending records (ties to the later record) and
// the number of hour columns between them; 0 for a list without dated records
// and for a span of exactly 24 hours. Month and day are compared as dates, each
// read nearest the first dated record's month and day taken in year.
int ComputeHourSpan(const ProgrammeStore& list, int count, int year, int& first, int& last);

// The grid's first hour: StartHour of the first programme; 24 for a list
// without dated records, where there are no columns, labels or boxes to place.
int GridFirstHour(const ProgrammeStore& list, int count, int first);

// S, T, R, N and, when N > 0, U for the layout's client size.
void MeasureGrid(TimetableLayout& layout, int stationCount, int hourCount);
int RowHeight(const TimetableLayout& layout);     // Q, 0 without rows
int MinuteWidth(const TimetableLayout& layout);   // P = U / 60
int FontHeight(const TimetableLayout& layout);    // (W + H) / 150

// Row r's top is T + r * Q; the window writes the same while drawing names.
void SetRowTops(std::vector<StationRow>& rows, const TimetableLayout& layout);

struct TimeLabel {
    char Text[8];   // "%d:%.2d", hour 0 to 23
    int32_t Left, Top, Right, Bottom;
};

// Labels 1 to 2N across the header band.
std::vector<TimeLabel> BuildTimeLabels(const TimetableLayout& layout, int firstHour);

// The record's box in the last row named like its station, also stored in
// record.Box. A record without a date or a station without a row gives the
// empty box 0,0,0,0, which the detail window's strict hit test never selects.
ProgrammeBox LayoutProgrammeBox(TELOMI& record, const TimetableLayout& layout,
                                const std::vector<StationRow>& rows, int firstHour);

// One whole paint's layout of the first count records: resets first/last,
// builds the rows, measures the grid, sets row tops and every record's Box.
// Returns the grid's first hour. year is the one the listing's dates fall in
// or next to (the local year), so a leap day counts.
int LayOutTimetable(ProgrammeStore& list, int count, int year, TimetableLayout& layout,
                    std::vector<StationRow>& rows);

// The largest width W1 <= W0 whose hour width (W1 - S) / N is a multiple of 60
// (0 included), as the step-by-step search finds it; W0 when N <= 0.
int FitClientWidth(int w0, int stationColumnWidth, int hourCount);
// The largest height H1 <= H0 with (H1 - T) a multiple of R; H0 when R <= 0.
int FitClientHeight(int h0, int headerHeight, int stationCount);
// Both, from the last paint's S, T, N and R; false (no fit) without rows or columns.
bool FitClientSize(const TimetableLayout& layout, int w0, int h0, int& w1, int& h1);
