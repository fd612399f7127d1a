// The request builder and the address splitting take positions, dates and
// host names that come from lists, the clock and the settings file: whatever
// their values, every result stays inside its buffer, zero-terminated, and
// the dates agree with the calendar of <chrono>.
//
// Input layout (missing bytes count as zero):
//   0-3   genre, time, region and day positions (signed bytes)
//   4-5   year (little-endian), 6 month, 7 day, 8 hour, 9 minute
//   10-12 sizes of the host, path and name buffers for the splitters
//   13-   three texts separated by '\n': the builder's host, an address for
//         SplitAddress and a "name:port" for SplitHostPort
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "fetch/choices.h"
#include "fetch/request_builder.h"
#include "fetch/split_address.h"

namespace {

void Require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

constexpr unsigned char Junk = 0xA5;

struct Input {
    RequestChoices Choices;
    LocalClock Clock;
    size_t HostSize, PathSize, NameSize;
    std::string Host, Address, HostPort;
};

Input Decode(const uint8_t* data, size_t size)
{
    uint8_t head[13] = {};
    std::memcpy(head, data, size < sizeof head ? size : sizeof head);
    Input in;
    in.Choices.Genre = static_cast<int8_t>(head[0]);
    in.Choices.Time = static_cast<int8_t>(head[1]);
    in.Choices.Region = static_cast<int8_t>(head[2]);
    in.Choices.Day = static_cast<int8_t>(head[3]);
    in.Clock.Date.Year = static_cast<uint16_t>(head[4] | head[5] << 8);
    in.Clock.Date.Month = head[6];
    in.Clock.Date.Day = head[7];
    in.Clock.Hour = head[8];
    in.Clock.Minute = head[9];
    in.HostSize = head[10];
    in.PathSize = head[11];
    in.NameSize = head[12];

    std::string_view rest;
    if (size > sizeof head)
        rest = std::string_view(reinterpret_cast<const char*>(data) + sizeof head, size - sizeof head);
    std::string* texts[] = {&in.Host, &in.Address, &in.HostPort};
    for (std::string* text : texts) {
        const size_t end = rest.find('\n');
        *text = std::string(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    return in;
}

// A zero-terminated copy in a buffer of exactly its size.
std::unique_ptr<char[]> CString(const std::string& text)
{
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

std::unique_ptr<char[]> JunkBuffer(size_t size)
{
    std::unique_ptr<char[]> buffer(new char[size]);
    std::memset(buffer.get(), Junk, size);
    return buffer;
}

bool Untouched(const char* buffer, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        if (static_cast<unsigned char>(buffer[i]) != Junk)
            return false;
    }
    return true;
}

// What a buffer of `size` bytes holds of `text` when results are cut to fit.
bool HoldsCut(const char* buffer, size_t size, std::string_view text)
{
    if (size == 0)
        return true;
    if (std::memchr(buffer, 0, size) == nullptr)
        return false;
    return std::string_view(buffer) == text.substr(0, size - 1);
}

std::string Padded(unsigned value, size_t digits)
{
    std::string text = std::to_string(value);
    return std::string(text.size() < digits ? digits - text.size() : 0, '0') + text;
}

constexpr int HighestYear = 32766; // <chrono>'s years end at 32767

std::chrono::year_month_day Calendar(const CalendarDate& date)
{
    return std::chrono::year{date.Year} / std::chrono::month{date.Month} / std::chrono::day{date.Day};
}

bool IsRealDate(const CalendarDate& date)
{
    return date.Year <= HighestYear && Calendar(date).ok();
}

void CheckNormalizeDate(const CalendarDate& given)
{
    CalendarDate date = given;
    NormalizeDate(date);
    const bool unchanged = date.Year == given.Year && date.Month == given.Month && date.Day == given.Day;
    if (given.Month < 1 || given.Month > 12) {
        Require(unchanged);
        return;
    }
    if (given.Year > HighestYear)
        return;
    using namespace std::chrono;
    const unsigned length = static_cast<unsigned>(
        year_month_day_last(year{given.Year}, month_day_last(month{given.Month})).day());
    if (given.Day <= length) {
        Require(unchanged);
        return;
    }
    // One carry: the day shrinks by the month's length, the month moves on.
    Require(date.Day == given.Day - length);
    Require(date.Month == given.Month % 12 + 1);
    Require(date.Year == static_cast<uint16_t>(given.Year + (given.Month == 12 ? 1 : 0)));
    // Within the promised overflow of up to seven days it is the true date.
    if (given.Day <= length + 7) {
        const year_month_day expected{sys_days{year{given.Year} / month{given.Month} / day{1}} +
                                      days{given.Day - 1}};
        Require(IsRealDate(date) && Calendar(date) == expected);
    }
}

bool InTable(int position, int count)
{
    return position >= 0 && position < count;
}

void CheckRequests(const Input& in)
{
    auto host = CString(in.Host);
    char (*slots)[RequestAddressSize] = new char[3][RequestAddressSize];
    std::memset(slots, Junk, 3 * RequestAddressSize);

    const RequestChoices& c = in.Choices;
    const bool built = BuildRequestAddresses(c, in.Clock, host.get(), slots);
    const bool inTables = InTable(c.Genre, GenreChoiceCount) && InTable(c.Time, TimeChoiceCount) &&
                          InTable(c.Region, RegionChoiceCount) && InTable(c.Day, DayChoiceCount);
    Require(built == inTables);
    for (int i = 0; i < 3; ++i) {
        Require(std::memchr(slots[i], 0, RequestAddressSize) != nullptr);
        if (!built)
            Require(slots[i][0] == 0);
    }

    if (built) {
        // The host ends at its first zero, as the builder sees it.
        const std::string hostText(host.get());
        const char* groups[3] = {RegionChoices[c.Region].Code, "3001", "3003"};
        std::string suffix;
        bool suffixKnown = true;
        if (c.Day > 0) {
            suffix = "&s_hiduke=";
            if (IsRealDate(in.Clock.Date) && in.Clock.Date.Year + 1 <= HighestYear) {
                using namespace std::chrono;
                // The site's day runs until 05:00: 01:00 to 04:59 belong to the day before.
                const int back = in.Clock.Hour >= 1 && in.Clock.Hour <= 4 ? 1 : 0;
                const year_month_day when{sys_days{Calendar(in.Clock.Date)} + days{c.Day - back}};
                suffix += Padded(static_cast<unsigned>(static_cast<int>(when.year())), 4) +
                          Padded(static_cast<unsigned>(when.month()), 2) +
                          Padded(static_cast<unsigned>(when.day()), 2);
            } else {
                suffixKnown = false; // not a clock reading: only the start is known
            }
        }
        for (int i = 0; i < 3; ++i) {
            const std::string expected = "http://" + hostText +
                                         "/program/gridNormal.php?frame=off&tikicd=" + groups[i] +
                                         "&way=h&genre=" + GenreChoices[c.Genre].Code +
                                         "&hour_select=6&s_jikan=" + TimeChoices[c.Time].Code + suffix;
            const std::string_view slot(slots[i]);
            if (suffixKnown && expected.size() < RequestAddressSize) {
                Require(slot == expected);
                continue;
            }
            // A long host cuts the address, but what is there is right.
            const size_t common = std::min(slot.size(), expected.size());
            Require(slot.substr(0, common) == std::string_view(expected).substr(0, common));
            if (suffixKnown)
                Require(slot.size() <= expected.size());
        }
    }
    delete[] slots;
}

void CheckSplitAddress(const Input& in)
{
    auto address = CString(in.Address);
    auto host = JunkBuffer(in.HostSize);
    auto path = JunkBuffer(in.PathSize);
    SplitAddress(address.get(), host.get(), in.HostSize, path.get(), in.PathSize);

    const std::string_view text(address.get());
    constexpr std::string_view Scheme = "http://";
    if (text.substr(0, Scheme.size()) != Scheme) {
        Require(Untouched(host.get(), in.HostSize));
        Require(Untouched(path.get(), in.PathSize));
        return;
    }
    const std::string_view rest = text.substr(Scheme.size());
    const size_t slash = rest.find('/');
    const std::string_view hostPart = rest.substr(0, slash);
    const std::string_view pathPart = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    Require(HoldsCut(host.get(), in.HostSize, hostPart));
    Require(HoldsCut(path.get(), in.PathSize, pathPart));
}

void CheckSplitHostPort(const Input& in)
{
    auto host = CString(in.HostPort);
    auto name = JunkBuffer(in.NameSize);
    uint16_t port = 0;
    const bool ok = SplitHostPort(host.get(), name.get(), in.NameSize, port);

    const std::string_view text(host.get());
    const size_t colon = text.find(':');
    const std::string_view namePart = text.substr(0, colon);
    Require(HoldsCut(name.get(), in.NameSize, namePart));

    bool digitsOnly = colon != std::string_view::npos && colon + 1 < text.size();
    unsigned long value = 0;
    if (digitsOnly) {
        for (const char ch : text.substr(colon + 1)) {
            if (ch < '0' || ch > '9') {
                digitsOnly = false;
                break;
            }
            value = value * 10 + static_cast<unsigned>(ch - '0');
            if (value > 65535)
                value = 65536; // stays out of range, never overflows
        }
    }
    if (ok) {
        Require(!namePart.empty());
        Require(port >= 1);
        if (colon == std::string_view::npos)
            Require(port == 80);
        else
            Require(digitsOnly && value == port);
    } else {
        // A refusal needs a reason; more than five digits count as one.
        const bool longDigits = colon != std::string_view::npos && text.size() - colon - 1 > 5;
        Require(namePart.empty() || (colon != std::string_view::npos &&
                                     (!digitsOnly || value < 1 || value > 65535 || longDigits)));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Input in = Decode(data, size);
    CheckNormalizeDate(in.Clock.Date);
    CheckRequests(in);
    CheckSplitAddress(in);
    CheckSplitHostPort(in);
    return 0;
}
