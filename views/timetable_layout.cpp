#include "views/timetable_layout.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "listing/calendar.h"

TimetableLayout TableLayout;
std::vector<StationRow> StationTable;

namespace {

// Station is a fixed field; never read past it even if a record lacks its NUL.
std::string_view StationOf(const TELOMI& record)
{
    const void* end = std::memchr(record.Station, 0, sizeof record.Station);
    return {record.Station, end ? static_cast<size_t>(static_cast<const char*>(end) - record.Station)
                                : sizeof record.Station};
}

// A record whose detail page never arrived has no date (month 0) and no place on the grid.
bool HasDate(const TELOMI& record)
{
    return record.Month >= 1 && record.Month <= 12;
}

// Satellite grids repeat these stations on several pages; they keep one row.
const char* const MergedStations[] = {"ＷＯＷＯＷ", "ＮＨＫ衛星第一", "ＮＨＫ衛星第二"};

} // namespace

int BuildStationTable(const ProgrammeStore& list, int count, std::vector<StationRow>& rows)
{
    rows.clear();
    // An undated record between two of one station must not split its run.
    const TELOMI* previous = nullptr;
    for (int i = 0; i < count; ++i) {
        if (!HasDate(list[i]))
            continue;
        const std::string_view station = StationOf(list[i]);
        const bool sameRun = previous && station == StationOf(*previous);
        previous = &list[i];
        if (sameRun)
            continue;
        StationRow row{};
        std::memcpy(row.Name, station.data(), station.size());
        rows.push_back(row);
    }
    for (const char* merged : MergedStations) {
        bool seen = false;
        std::vector<StationRow> kept;
        kept.reserve(rows.size());
        for (const StationRow& row : rows) {
            if (std::strcmp(row.Name, merged) == 0) {
                if (seen)
                    continue;
                seen = true;
            }
            kept.push_back(row);
        }
        rows.swap(kept);
    }
    return static_cast<int>(rows.size());
}

int ComputeHourSpan(const ProgrammeStore& list, int count, int year, int& first, int& last)
{
    first = 0;
    last = 0;
    int start = 0;
    while (start < count && !HasDate(list[start]))
        ++start;
    if (start == count)
        return 0;
    first = start;
    last = start;
    // Records carry no year: each date is read as the one nearest the first record's.
    const CalendarDate anchor{year, list[start].Month, list[start].Day};
    int firstDay = 0;
    int lastDay = 0;
    int firstHour = 24;
    int lastHour = 0;
    for (int i = start; i < count; ++i) {
        const TELOMI& record = list[i];
        if (!HasDate(record))
            continue;
        const int day = DaysToNearest(anchor, record.Month, record.Day);
        const TELOMI& earliest = list[first];
        if (day < firstDay) {
            first = i;
            firstDay = day;
            firstHour = record.StartHour;
        } else if (record.StartHour >= 0 && record.StartHour <= firstHour && day == firstDay) {
            if (record.StartHour < firstHour || record.StartMinute <= earliest.StartMinute)
                first = i;
            firstHour = record.StartHour;
        }

        const TELOMI& latest = list[last];
        if (day > lastDay) {
            last = i;
            lastDay = day;
            lastHour = record.EndHour;
        } else if (record.EndHour >= lastHour && record.EndHour <= 24 && day == lastDay) {
            if (record.EndHour > lastHour || record.EndMinute >= latest.EndMinute)
                last = i;
            lastHour = record.EndHour;
        }
    }
    // A partly used last hour still gets a whole column.
    if (list[last].EndMinute != 0)
        ++lastHour;
    return lastHour >= firstHour ? lastHour - firstHour : 24 - firstHour + lastHour;
}

int GridFirstHour(const ProgrammeStore& list, int count, int first)
{
    return count > 0 && HasDate(list[first]) ? list[first].StartHour : 24;
}

void MeasureGrid(TimetableLayout& layout, int stationCount, int hourCount)
{
    layout.stationColumnWidth = layout.clientWidth / 10;
    layout.headerHeight = layout.clientHeight / 20;
    layout.stationCount = stationCount;
    layout.hourCount = hourCount;
    if (hourCount > 0)
        layout.hourWidth = (layout.clientWidth - layout.stationColumnWidth) / hourCount;
}

int RowHeight(const TimetableLayout& layout)
{
    if (layout.stationCount <= 0)
        return 0;
    return (layout.clientHeight - layout.headerHeight) / layout.stationCount;
}

int MinuteWidth(const TimetableLayout& layout)
{
    return layout.hourWidth / 60;
}

int FontHeight(const TimetableLayout& layout)
{
    return (layout.clientWidth + layout.clientHeight) / 150;
}

void SetRowTops(std::vector<StationRow>& rows, const TimetableLayout& layout)
{
    const int q = RowHeight(layout);
    for (size_t r = 0; r < rows.size(); ++r)
        rows[r].Top = layout.headerHeight + static_cast<int32_t>(r) * q;
}

std::vector<TimeLabel> BuildTimeLabels(const TimetableLayout& layout, int firstHour)
{
    std::vector<TimeLabel> labels;
    if (layout.hourCount <= 0)
        return labels;
    const int s = layout.stationColumnWidth;
    const int u = layout.hourWidth;
    const int half = u / 2;
    int hour = ((firstHour % 24) + 24) % 24;
    for (int n = 1; n <= 2 * layout.hourCount; ++n) {
        const int minute = (n % 2 == 1) ? 0 : 30;
        TimeLabel label{};
        std::snprintf(label.Text, sizeof label.Text, "%d:%.2d", hour, minute);
        label.Left = s + 10 + (n - 1) * half;
        label.Top = 0;
        label.Bottom = layout.headerHeight;
        // The first label stops short of the first half-hour mark; the others
        // may run one hour column, as "23:30" is often wider than half a column.
        label.Right = (n == 1) ? s + half - 5 : label.Left + u;
        labels.push_back(label);
        if (minute == 30)
            hour = (hour + 1) % 24;
    }
    return labels;
}

ProgrammeBox LayoutProgrammeBox(TELOMI& record, const TimetableLayout& layout,
                                const std::vector<StationRow>& rows, int firstHour)
{
    const std::string_view station = StationOf(record);
    const StationRow* row = nullptr;
    for (const StationRow& candidate : rows)
        if (station == candidate.Name)
            row = &candidate;
    if (!row || !HasDate(record)) {
        record.Box = ProgrammeBox{0, 0, 0, 0};
        return record.Box;
    }

    const int s = layout.stationColumnWidth;
    const int u = layout.hourWidth;
    const int p = MinuteWidth(layout);
    const int sh = record.StartHour, sm = record.StartMinute;
    const int eh = record.EndHour, em = record.EndMinute;

    // Programmes after midnight come before the first hour on the clock.
    const int h0 = sh >= firstHour ? sh - firstHour : sh + 24 - firstHour;
    int dh = eh - sh;
    if (eh < sh)
        dh += 24;
    int dm = em - sm;
    if (dm < 0) {
        dm += 60;
        dh -= 1;
    }

    ProgrammeBox box;
    box.Left = s + h0 * u + sm * p + 1;
    box.Right = box.Left + dm * p + dh * u;
    box.Top = row->Top;
    box.Bottom = row->Top + RowHeight(layout);
    record.Box = box;
    return box;
}

int LayOutTimetable(ProgrammeStore& list, int count, int year, TimetableLayout& layout,
                    std::vector<StationRow>& rows)
{
    layout.firstProgramme = 0;
    layout.lastProgramme = 0;
    const int stations = BuildStationTable(list, count, rows);
    int first = 0, last = 0;
    const int hours = ComputeHourSpan(list, count, year, first, last);
    layout.firstProgramme = first;
    layout.lastProgramme = last;
    MeasureGrid(layout, stations, hours);
    SetRowTops(rows, layout);
    const int firstHour = GridFirstHour(list, count, first);
    for (int i = 0; i < count; ++i)
        LayoutProgrammeBox(list[i], layout, rows, firstHour);
    return firstHour;
}

int FitClientWidth(int w0, int stationColumnWidth, int hourCount)
{
    if (hourCount <= 0)
        return w0;
    const int64_t n = hourCount;
    const int64_t d0 = static_cast<int64_t>(w0) - stationColumnWidth;
    const int64_t q0 = d0 / n;
    // The next hour width at or below q0 that is a multiple of 60.
    const int64_t q = q0 - ((q0 % 60) + 60) % 60;
    int64_t d;
    if (q == q0)
        d = d0;
    else if (q >= 0)
        d = q * n + n - 1;   // the widest span that still divides down to q
    else
        d = q * n;           // truncation towards zero: below 0 the widest is q * n itself
    return static_cast<int>(stationColumnWidth + d);
}

int FitClientHeight(int h0, int headerHeight, int stationCount)
{
    if (stationCount <= 0)
        return h0;
    const int64_t r = stationCount;
    const int64_t d0 = static_cast<int64_t>(h0) - headerHeight;
    const int64_t d = d0 - ((d0 % r) + r) % r;
    return static_cast<int>(headerHeight + d);
}

bool FitClientSize(const TimetableLayout& layout, int w0, int h0, int& w1, int& h1)
{
    if (layout.hourCount <= 0 || layout.stationCount <= 0)
        return false;
    w1 = FitClientWidth(w0, layout.stationColumnWidth, layout.hourCount);
    h1 = FitClientHeight(h0, layout.headerHeight, layout.stationCount);
    return true;
}
