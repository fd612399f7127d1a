// Positions, dates and host names come from lists, the clock and the settings
// file: every result stays inside its buffer, is zero-terminated and agrees
// with a plain reading (the dates with <chrono>).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

constexpr char Junk = '\xA5';

// Exactly `size` bytes, so ASan sees a write past them.
std::unique_ptr<char[]> JunkBuffer(size_t size)
{
    std::unique_ptr<char[]> buffer(new char[size]);
    std::memset(buffer.get(), Junk, size);
    return buffer;
}

// What a buffer of `size` bytes holds of `text` when results are cut to fit.
bool HoldsCut(const char* buffer, size_t size, std::string_view text)
{
    return size == 0 || (std::memchr(buffer, 0, size) != nullptr && text.substr(0, size - 1) == buffer);
}

void CheckRequests(const RequestChoices& c, const LocalClock& now, const char* host)
{
    std::unique_ptr<char[][RequestAddressSize]> slots(new char[3][RequestAddressSize]);
    std::memset(slots.get(), Junk, 3 * RequestAddressSize);
    const bool inTables = c.Genre >= 0 && c.Genre < GenreChoiceCount && c.Time >= 0 && c.Time < TimeChoiceCount &&
                          c.Region >= 0 && c.Region < RegionChoiceCount && c.Day >= 0 && c.Day < DayChoiceCount;
    Require(BuildRequestAddresses(c, now, host, slots.get()) == inTables);
    for (int i = 0; i < 3; ++i)
        Require(std::memchr(slots[i], 0, RequestAddressSize) != nullptr && (inTables || slots[i][0] == 0));
    if (!inTables)
        return;

    using namespace std::chrono;
    const year_month_day today = year{now.Date.Year} / now.Date.Month / now.Date.Day;
    const bool dateKnown = c.Day == 0 || today.ok(); // of a day off the calendar only the start is sure
    char date[32] = "";
    if (c.Day > 0 && dateKnown) {
        // The site's day runs until 05:00: 01:00 to 04:59 belong to the day before.
        const int back = now.Hour >= 1 && now.Hour <= 4 ? 1 : 0;
        const year_month_day when{sys_days{today} + days{c.Day - back}};
        std::snprintf(date, sizeof date, "&s_hiduke=%04d%02u%02u", static_cast<int>(when.year()),
                      static_cast<unsigned>(when.month()), static_cast<unsigned>(when.day()));
    }
    const char* groups[3] = {RegionChoices[c.Region].Code, "3001", "3003"};
    for (int i = 0; i < 3; ++i) {
        const std::string expected = "http://" + std::string(host) + "/program/gridNormal.php?frame=off&tikicd=" +
                                     groups[i] + "&way=h&genre=" + GenreChoices[c.Genre].Code +
                                     "&hour_select=6&s_jikan=" + TimeChoices[c.Time].Code + date;
        // A long host cuts the address.
        const std::string_view slot(slots[i]);
        Require(slot.substr(0, dateKnown ? slot.size() : expected.size()) ==
                std::string_view(expected).substr(0, RequestAddressSize - 1));
    }
}

void CheckSplitAddress(const char* address, size_t hostSize, size_t pathSize)
{
    auto host = JunkBuffer(hostSize);
    auto path = JunkBuffer(pathSize);
    SplitAddress(address, host.get(), hostSize, path.get(), pathSize);
    const std::string_view text(address);
    if (!text.starts_with("http://")) {
        Require(std::string_view(host.get(), hostSize) == std::string(hostSize, Junk) &&
                std::string_view(path.get(), pathSize) == std::string(pathSize, Junk));
        return;
    }
    const std::string_view rest = text.substr(7);
    const size_t slash = std::min(rest.find('/'), rest.size());
    Require(HoldsCut(host.get(), hostSize, rest.substr(0, slash)));
    Require(HoldsCut(path.get(), pathSize, rest.substr(slash)));
}

void CheckSplitHostPort(const char* hostPort, size_t nameSize)
{
    auto name = JunkBuffer(nameSize);
    uint16_t port = 0;
    const bool ok = SplitHostPort(hostPort, name.get(), nameSize, port);
    const std::string_view text(hostPort);
    const size_t colon = std::min(text.find(':'), text.size());
    Require(HoldsCut(name.get(), nameSize, text.substr(0, colon)));
    // 80 when no port is given, else one to five digits from 1 to 65535.
    const std::string_view digits = text.substr(std::min(colon + 1, text.size()));
    unsigned long expected = colon == text.size() ? 80 : 0;
    if (!digits.empty() && digits.size() <= 5 && digits.find_first_not_of("0123456789") == std::string_view::npos)
        expected = std::stoul(std::string(digits));
    const bool valid = colon > 0 && expected >= 1 && expected <= 65535;
    Require(ok == valid && (!ok || port == expected));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    // Mostly inside the tables, sometimes just outside them.
    auto position = [&in](int count) { return in.ConsumeIntegralInRange<int>(-2, count + 1); };
    const RequestChoices choices{position(GenreChoiceCount), position(TimeChoiceCount), position(RegionChoiceCount),
                                 position(DayChoiceCount)};
    // Dates around century years, where the leap rules bite, and just outside the calendar.
    auto upTo = [&in](uint16_t highest) { return in.ConsumeIntegralInRange<uint16_t>(0, highest); };
    const LocalClock now{{static_cast<uint16_t>(1899 + upTo(202)), upTo(13), upTo(40)}, upTo(25), upTo(59)};
    const size_t sizes[3] = {upTo(255), upTo(255), upTo(255)};
    const std::string host = in.ConsumeRandomLengthString(400);
    const std::string address = in.ConsumeRandomLengthString(400);
    const std::string hostPort = in.ConsumeRemainingBytesAsString();
    CheckRequests(choices, now, host.c_str());
    CheckSplitAddress(address.c_str(), sizes[0], sizes[1]);
    CheckSplitHostPort(hostPort.c_str(), sizes[2]);
    return 0;
}
