// Detail pages are untrusted: whatever the bytes, the parser stays inside the
// page and the record, and leaves every text field zero-terminated.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "listing/detail_parser.h"

namespace {

// Any broken invariant is a crash, so libFuzzer keeps the input.
void Require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

template <size_t N>
bool Terminated(const char (&field)[N])
{
    return std::memchr(field, 0, N) != nullptr;
}

template <size_t N>
bool SameText(const char (&a)[N], const char (&b)[N])
{
    return std::strcmp(a, b) == 0;
}

bool HasPair(const char* text, unsigned char first, unsigned char second)
{
    for (; text[0] != 0; ++text) {
        if (static_cast<unsigned char>(text[0]) == first && static_cast<unsigned char>(text[1]) == second)
            return true;
    }
    return false;
}

// Fields the parser has no business writing: the display texts, the box and
// the link. Within one struct ASan sees no overflow, so they are compared.
bool ForeignFieldsEqual(const TELOMI& a, const TELOMI& b)
{
    return std::memcmp(a.DateText, b.DateText, sizeof a.DateText) == 0 &&
           std::memcmp(a.StartText, b.StartText, sizeof a.StartText) == 0 &&
           std::memcmp(a.EndText, b.EndText, sizeof a.EndText) == 0 &&
           std::memcmp(&a.Box, &b.Box, sizeof a.Box) == 0 &&
           std::memcmp(a.DetailPath, b.DetailPath, sizeof a.DetailPath) == 0;
}

bool NumbersEqual(const TELOMI& a, const TELOMI& b)
{
    return a.Month == b.Month && a.Day == b.Day && a.StartHour == b.StartHour &&
           a.StartMinute == b.StartMinute && a.EndHour == b.EndHour && a.EndMinute == b.EndMinute;
}

bool InRange(int32_t value, int32_t highest)
{
    return value >= 0 && value <= highest;
}

// An exactly sized copy with the zero the page buffer always has behind the
// text: one byte more read or written is an ASan report.
std::unique_ptr<char[]> PageCopy(const uint8_t* data, size_t size)
{
    std::unique_ptr<char[]> page(new char[size + 1]);
    if (size > 0)
        std::memcpy(page.get(), data, size);
    page[size] = 0;
    return page;
}

void CheckParsedFields(const TELOMI& record)
{
    Require(Terminated(record.Title));
    Require(Terminated(record.Subtitle));
    Require(Terminated(record.Station));
    Require(Terminated(record.Performers));
    Require(Terminated(record.Other));

    // Cut at the first ideographic space, so the title holds none.
    Require(!HasPair(record.Title, 0x81, 0x40));
    // The subtitle ends at the first TAB not at its start.
    Require(record.Subtitle[0] == 0 || std::strchr(record.Subtitle + 1, '\t') == nullptr);
    // A one-byte subtitle is dropped.
    Require(std::strlen(record.Subtitle) != 1);
    // The station ends in front of the first '/' not at its start.
    Require(record.Station[0] == 0 || std::strchr(record.Station + 1, '/') == nullptr);
    // The description is always followed by CR LF.
    Require(std::strstr(record.Other, "\r\n") != nullptr);

    // Two-digit numbers, a day one more after midnight, hours 12 more after noon.
    Require(InRange(record.Month, 99));
    Require(InRange(record.Day, 100));
    Require(InRange(record.StartHour, 12 + 99));
    Require(InRange(record.StartMinute, 99));
    Require(InRange(record.EndHour, 12 + 99));
    Require(InRange(record.EndMinute, 99));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The worker hands over an all-zero record; a second record full of junk
    // shows what the parser leaves alone and what it really terminates.
    TELOMI zeroed;
    std::memset(&zeroed, 0, sizeof zeroed);
    TELOMI junk;
    std::memset(&junk, 0xA5, sizeof junk);
    const TELOMI junkBefore = junk;

    auto zeroPage = PageCopy(data, size);
    auto junkPage = PageCopy(data, size);
    const bool parsed = ParseDetailPage(zeroPage.get(), zeroed);
    Require(ParseDetailPage(junkPage.get(), junk) == parsed);

    TELOMI allZero;
    std::memset(&allZero, 0, sizeof allZero);
    Require(ForeignFieldsEqual(zeroed, allZero));
    Require(ForeignFieldsEqual(junk, junkBefore));

    if (!parsed) {
        // No title cell: only the title and the subtitle are cleared.
        Require(junk.Title[0] == 0 && junk.Subtitle[0] == 0);
        Require(std::memcmp(junk.Station, junkBefore.Station, sizeof junk.Station) == 0);
        Require(std::memcmp(junk.Performers, junkBefore.Performers, sizeof junk.Performers) == 0);
        Require(std::memcmp(junk.Other, junkBefore.Other, sizeof junk.Other) == 0);
        Require(NumbersEqual(junk, junkBefore));
        return 0;
    }

    CheckParsedFields(zeroed);
    CheckParsedFields(junk);
    // What was in the record before must not leak into the result.
    Require(SameText(zeroed.Title, junk.Title));
    Require(SameText(zeroed.Subtitle, junk.Subtitle));
    Require(SameText(zeroed.Station, junk.Station));
    Require(SameText(zeroed.Performers, junk.Performers));
    Require(SameText(zeroed.Other, junk.Other));
    Require(NumbersEqual(zeroed, junk));
    return 0;
}
