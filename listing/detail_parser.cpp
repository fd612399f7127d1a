#include "listing/detail_parser.h"

#include "listing/calendar.h"
#include "listing/cp932_text.h"
#include "listing/euc_to_sjis.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// The page's markers, compared as Shift_JIS bytes after the conversion.
constexpr char TitleMarker[] = "<TD class=\"gtitle\">";
constexpr char IdeographicSpace[] = "　";
constexpr char LineBreak[] = "<BR>";
constexpr char DateTable[] = "<TABLE cellSpacing=\"1\" cellPadding=\"0\" border=\"0\" width=\"590\">";
constexpr char DateCell[] = "<TR><TD class=\"genre\">";
constexpr char EndTimeMarker[] = "&gt;&gt; ";
constexpr char StationMarker[] = " 　";
constexpr char CellEnd[] = "</TD>";
constexpr char PerformerLink[] = "/program/listPerformer.php?";
constexpr char HeadingEnd[] = "／";
constexpr char InfoMarker[] = "<!--info2 from  here-->";
constexpr char InfoCell[] = "<TD class=\"genre\">";
constexpr char NameSeparator[] = "・";
constexpr char LineEnd[] = "\r\n";

template <size_t N>
constexpr size_t Len(const char (&)[N])
{
    return N - 1;
}

// The cursor arithmetic below counts on these byte lengths.
static_assert(Len(TitleMarker) == 19);
static_assert(Len(IdeographicSpace) == 2);
static_assert(Len(DateCell) == 22);
static_assert(Len(EndTimeMarker) == 9);
static_assert(Len(StationMarker) == 3);
static_assert(Len(HeadingEnd) == 2);
static_assert(Len(InfoCell) == 18);
static_assert(Len(NameSeparator) == 2);

constexpr unsigned char AfterMidnightSign = 0x90;
constexpr unsigned char AfternoonSign = 0x8C;

// Moves up to n bytes on, but never past the zero that ends the page.
char* Past(char* at, size_t n)
{
    while (n > 0 && *at != 0) {
        ++at;
        --n;
    }
    return at;
}

// The two bytes at p[at] and p[at + 1] as a decimal number; bytes behind the
// end of the page are never read, they count as missing.
long ReadNumber(const char* p, size_t at)
{
    char window[3] = {0, 0, 0};
    for (size_t i = 0; i < at + 2 && p[i] != 0; ++i) {
        if (i >= at)
            window[i - at] = p[i];
    }
    return std::strtol(window, nullptr, 10);
}

int32_t NonNegative(long value)
{
    return value < 0 ? 0 : static_cast<int32_t>(value);
}

template <size_t N>
void StoreIfShorter(char (&field)[N], const char* text, size_t length, size_t limit)
{
    static_assert(N > 0);
    if (length < limit && length < N) {
        std::memcpy(field, text, length);
        field[length] = 0;
    } else {
        field[0] = 0;
    }
}

// Appends as much of text as the field holds.
template <size_t N>
void AppendCut(char (&field)[N], const char* text, size_t length)
{
    const size_t used = std::strlen(field);
    const size_t n = Cp932FitLength(text, length, N - 1 - used);
    std::memcpy(field + used, text, n);
    field[used + n] = 0;
}

bool EndsWith(const char* text, size_t length, const char* tail, size_t tailLength)
{
    return length >= tailLength && std::memcmp(text + length - tailLength, tail, tailLength) == 0;
}

void CarryMonth(TELOMI& record, int year)
{
    const int32_t daysInMonth = DaysInMonth(year, record.Month);
    if (daysInMonth > 0 && record.Day > daysInMonth) {
        record.Day -= daysInMonth;
        record.Month = record.Month == 12 ? 1 : record.Month + 1;
    }
}

// Title and subtitle; the title marker has been found at marker.
char* ParseTitle(char* marker, TELOMI& record)
{
    // The byte right after the tag is skipped.
    char* p = Past(marker + Len(TitleMarker), 1);
    char* space = std::strstr(p, IdeographicSpace);
    if (space == nullptr) {
        // Nothing tells where the title ends: keep neither, parse the rest.
        record.Title[0] = 0;
        record.Subtitle[0] = 0;
        return p;
    }
    *space = 0;
    if (char* br = std::strstr(p, LineBreak))
        p = br + Len(LineBreak);
    StoreIfShorter(record.Title, p, static_cast<size_t>(space - p), 255);

    p = space + Len(IdeographicSpace);
    // A TAB right at the start belongs to the subtitle.
    char* tab = *p != 0 ? std::strchr(p + 1, '\t') : nullptr;
    size_t length;
    char* next;
    if (tab != nullptr) {
        *tab = 0;
        length = static_cast<size_t>(tab - p);
        next = tab + 1;
    } else {
        length = std::strlen(p);
        next = p + length; // stays on the page's end
    }
    StoreIfShorter(record.Subtitle, p, length, 254);
    if (std::strlen(record.Subtitle) < 2)
        record.Subtitle[0] = 0;
    return next;
}

char* ParseDate(char* p, TELOMI& record)
{
    record.Month = 0;
    record.Day = 0;
    char* table = std::strstr(p, DateTable);
    if (table == nullptr)
        return p;
    p = table + 1;
    char* cell = std::strstr(p, DateCell);
    if (cell == nullptr)
        return p;
    p = cell + Len(DateCell);
    record.Month = NonNegative(ReadNumber(p, 0));
    record.Day = NonNegative(ReadNumber(p, 3));
    return Past(p, 5);
}

// A time as the page writes it: a sign (深 after midnight, 後 in the afternoon,
// which adds twelve hours) and "hh:mm" behind it. Returns the sign's first byte.
unsigned char ReadClock(const char* p, int32_t& hour, int32_t& minute)
{
    const unsigned char sign = static_cast<unsigned char>(p[0]);
    const long value = ReadNumber(p, 2);
    hour = value < 0 ? 0 : (sign == AfternoonSign ? 12 : 0) + static_cast<int32_t>(value);
    minute = NonNegative(ReadNumber(p, 5));
    return sign;
}

char* ParseStartTime(char* p, TELOMI& record, int year)
{
    record.StartHour = 0;
    record.StartMinute = 0;
    char* space = std::strstr(p, IdeographicSpace);
    if (space == nullptr)
        return p;
    p = space + Len(IdeographicSpace);
    // After midnight the programme belongs to the next calendar day.
    if (ReadClock(p, record.StartHour, record.StartMinute) == AfterMidnightSign) {
        ++record.Day;
        if (record.Day >= 29)
            CarryMonth(record, year);
    }
    return Past(p, 7);
}

char* ParseEndTime(char* p, TELOMI& record)
{
    record.EndHour = 0;
    record.EndMinute = 0;
    char* marker = std::strstr(p, EndTimeMarker);
    if (marker == nullptr)
        return p;
    p = marker + Len(EndTimeMarker);
    ReadClock(p, record.EndHour, record.EndMinute);
    return Past(p, 7);
}

char* ParseStation(char* p, TELOMI& record)
{
    record.Station[0] = 0;
    char* marker = std::strstr(p, StationMarker);
    if (marker == nullptr)
        return p;
    p = marker + Len(StationMarker);
    char* slash = *p != 0 ? std::strchr(p + 1, '/') : nullptr;
    if (slash == nullptr)
        return p;
    // The byte in front of the '/' (a space on the site) is not part of the name.
    slash[-1] = 0;
    slash[0] = 0;
    StoreIfShorter(record.Station, p, static_cast<size_t>(slash - 1 - p), 30);
    return slash + 1;
}

// The description; the cursor stays where it is.
void ParseDescription(const char* p, TELOMI& record)
{
    record.Other[0] = 0;
    const char* br = std::strstr(p, LineBreak);
    const char* cellEnd = std::strstr(p, CellEnd);
    if (br != nullptr && cellEnd != nullptr) {
        const char* from = br + Len(LineBreak);
        // Up to the byte in front of "</TD>".
        if (cellEnd - from > 1) {
            const size_t length = static_cast<size_t>(cellEnd - 1 - from);
            // Cut short enough that the CR LF always fits behind it.
            AppendCut(record.Other, from, Cp932FitLength(from, length, sizeof record.Other - 1 - Len(LineEnd)));
        }
    }
    AppendCut(record.Other, LineEnd, Len(LineEnd));
}

struct PerformerResult {
    char* Cursor;
    bool SkipInfo;
};

// The performers field as it fills. Once a heading or a name does not fit,
// nothing more is taken, so the field stays a clean start of the list.
struct PerformerField {
    char* Text;
    size_t Used = 0;
    bool Full = false;
    static constexpr size_t Room = sizeof TELOMI::Performers - 1;

    // A heading replaces the "・" behind the name before it.
    void AddHeading(const char* heading, size_t length)
    {
        const size_t keep = EndsWith(Text, Used, NameSeparator, Len(NameSeparator)) ? Used - Len(NameSeparator) : Used;
        if (Full || keep + length > Room) {
            Full = true;
            return;
        }
        std::memcpy(Text + keep, heading, length);
        Used = keep + length;
        Text[Used] = 0;
    }

    // Names of 30 bytes or more are left out.
    void AddName(const char* name, size_t length)
    {
        if (length >= 30 || Full)
            return;
        if (Used + length + Len(NameSeparator) > Room) {
            Full = true;
            return;
        }
        std::memcpy(Text + Used, name, length);
        std::memcpy(Text + Used + length, NameSeparator, Len(NameSeparator));
        Used += length + Len(NameSeparator);
        Text[Used] = 0;
    }
};

// Takes the role heading between the cursor and the next link, if any, and
// cuts the page behind it; returns the cursor. A "／" is a heading only when it
// ends before the link (with a byte to spare, so the cut and the step past it
// leave the link whole): one further on belongs to a later heading, or to no
// heading at all, and taking it now would skip the names in between.
char* TakeHeading(char* p, const char* link, PerformerField& field)
{
    const std::string_view ahead(p, static_cast<size_t>(link - p));
    const size_t found = ahead.find(HeadingEnd);
    if (found == std::string_view::npos || found + Len(HeadingEnd) >= ahead.size())
        return p;
    char* solidus = p + found;
    // The heading starts one byte after the nearest '>' in front of it,
    // looking no further back than the cursor.
    char* start = solidus;
    while (start >= p + 2 && start[-2] != '>')
        --start;
    if (start < p + 2)
        start = p;
    field.AddHeading(start, static_cast<size_t>(solidus + Len(HeadingEnd) - start));
    solidus[Len(HeadingEnd)] = 0;
    return solidus + 3;
}

// Takes the name of the link at `link` and cuts it out; returns the cursor
// behind it, or null when the page ends inside the link's tag. Like the
// subtitle, a name with nothing after it runs to the page's end.
char* TakeName(char* link, PerformerField& field)
{
    char* tagEnd = std::strchr(link, '>');
    if (tagEnd == nullptr)
        return nullptr;
    char* name = tagEnd + 1;
    char* nameEnd = *name != 0 ? std::strchr(name + 1, '<') : nullptr;
    if (nameEnd == nullptr) {
        const size_t length = std::strlen(name);
        field.AddName(name, length);
        return name + length;
    }
    *nameEnd = 0;
    field.AddName(name, static_cast<size_t>(nameEnd - name));
    return nameEnd + 1;
}

PerformerResult ParsePerformers(char* p, TELOMI& record)
{
    record.Performers[0] = 0;
    if (std::strstr(p, PerformerLink) == nullptr)
        return {p, false};
    PerformerField field{record.Performers};
    for (char* link; (link = std::strstr(p, PerformerLink)) != nullptr;) {
        p = TakeHeading(p, link, field);
        link = std::strstr(p, PerformerLink);
        if (link == nullptr)
            return {p, true}; // the heading rule keeps this from happening
        char* next = TakeName(link, field);
        if (next == nullptr)
            break;
        p = next;
    }
    // Drop the final "・", or the "／" of a heading that no name followed.
    field.Used = field.Used >= 2 ? field.Used - 2 : 0;
    field.Text[field.Used] = 0;
    return {p, false};
}

void ParseInfo(char* p, TELOMI& record)
{
    char* marker = std::strstr(p, InfoMarker);
    if (marker == nullptr)
        return;
    p = marker;
    char* cell = std::strstr(p, InfoCell);
    if (cell == nullptr)
        return;
    p = Past(cell + Len(InfoCell), 1);
    // Without its "</TD>" the cell's end is unknown: nothing is taken.
    char* cellEnd = std::strstr(p, CellEnd);
    if (cellEnd == nullptr || cellEnd - p <= 1)
        return;
    cellEnd[-1] = 0;
    AppendCut(record.Other, p, static_cast<size_t>(cellEnd - 1 - p));
}

} // namespace

bool ParseDetailPage(char* page, TELOMI& record, int year)
{
    EucToSjis(page);

    char* p = std::strstr(page, TitleMarker);
    if (p == nullptr) {
        record.Title[0] = 0;
        record.Subtitle[0] = 0;
        return false;
    }
    p = ParseTitle(p, record);
    p = ParseDate(p, record);
    p = ParseStartTime(p, record, year);
    p = ParseEndTime(p, record);
    p = ParseStation(p, record);
    ParseDescription(p, record);
    const PerformerResult performers = ParsePerformers(p, record);
    if (!performers.SkipInfo)
        ParseInfo(performers.Cursor, record);
    return true;
}
