// Positions, dates and host names come from lists, the clock and the settings
// file: every result stays inside its buffer and is zero-terminated, and a
// position outside its table builds nothing. (The dates, the address parts and
// the ports are examples in tests/native/request_builder_test.cpp.)
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <memory>
#include <string>

#include "fetch/choices.h"
#include "fetch/request_builder.h"
#include "fetch/split_address.h"

namespace {

void Require(bool condition) { condition ? void() : __builtin_trap(); }

// Exactly `size` bytes of junk, so ASan sees a write past them.
std::unique_ptr<char[]> Junk(size_t size)
{
    std::unique_ptr<char[]> buffer(new char[size]);
    std::memset(buffer.get(), '\xA5', size);
    return buffer;
}

bool Ends(const char* buffer, size_t size) { return size == 0 || std::memchr(buffer, 0, size) != nullptr; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    // Mostly inside the tables, sometimes just outside them.
    auto position = [&in](int count) { return in.ConsumeIntegralInRange<int>(-2, count + 1); };
    const RequestChoices c{position(GenreChoiceCount), position(TimeChoiceCount), position(RegionChoiceCount),
                           position(DayChoiceCount)};
    // Dates around century years, where the leap rules bite, and just outside the calendar.
    auto upTo = [&in](uint16_t highest) { return in.ConsumeIntegralInRange<uint16_t>(0, highest); };
    const LocalClock now{{static_cast<uint16_t>(1899 + upTo(202)), upTo(13), upTo(40)}, upTo(25), upTo(59)};
    const size_t sizes[3] = {upTo(255), upTo(255), upTo(255)};
    const std::string host = in.ConsumeRandomLengthString(400), address = in.ConsumeRandomLengthString(400);
    const std::string hostPort = in.ConsumeRemainingBytesAsString();

    std::unique_ptr<char[][RequestAddressSize]> slots(new char[3][RequestAddressSize]);
    std::memset(slots.get(), '\xA5', 3 * RequestAddressSize);
    const bool inTables = c.Genre >= 0 && c.Genre < GenreChoiceCount && c.Time >= 0 && c.Time < TimeChoiceCount &&
                          c.Region >= 0 && c.Region < RegionChoiceCount && c.Day >= 0 && c.Day < DayChoiceCount;
    Require(BuildRequestAddresses(c, now, host.c_str(), slots.get()) == inTables);
    for (int i = 0; i < 3; ++i)
        Require(Ends(slots[i], RequestAddressSize) && (inTables ? !std::strncmp(slots[i], "http://", 7) : !*slots[i]));

    auto hostPart = Junk(sizes[0]), path = Junk(sizes[1]), name = Junk(sizes[2]);
    SplitAddress(address.c_str(), hostPart.get(), sizes[0], path.get(), sizes[1]);
    Require(address.starts_with("http://") ? Ends(hostPart.get(), sizes[0]) && Ends(path.get(), sizes[1])
                                           : std::memcmp(hostPart.get(), Junk(sizes[0]).get(), sizes[0]) == 0);
    uint16_t port = 0;
    const bool ok = SplitHostPort(hostPort.c_str(), name.get(), sizes[2], port);
    Require(Ends(name.get(), sizes[2]) && (!ok || (port != 0 && hostPort[0] != ':' && hostPort[0] != 0)));
    return 0;
}
