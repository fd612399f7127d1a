// Detail pages are untrusted: whatever the bytes (EUC-JP or not), the parser
// stays inside the page and the record and leaves every text field terminated.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "listing/detail_parser.h"

namespace {

// A broken rule is a crash, so libFuzzer keeps the input.
void Require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

struct Span {
    size_t From, To;
};

#define FIELD(name) Span{offsetof(TELOMI, name), offsetof(TELOMI, name) + sizeof(TELOMI::name)}
const Span Texts[] = {FIELD(Station), FIELD(Title), FIELD(Subtitle), FIELD(Performers), FIELD(Other)};
const Span Numbers{offsetof(TELOMI, Month), offsetof(TELOMI, Title)};
// The display texts, the box and the link are not the parser's to write.
const Span Foreign[] = {{offsetof(TELOMI, DateText), offsetof(TELOMI, Performers)},
                        {offsetof(TELOMI, Box), sizeof(TELOMI)}};
// Without a title cell, all but the title and the subtitle stays.
const Span Kept[] = {{0, offsetof(TELOMI, Title)}, {offsetof(TELOMI, DateText), sizeof(TELOMI)}};

// Within one struct ASan sees no overflow, so the bytes are compared.
std::string_view Bytes(const TELOMI& record, Span span)
{
    return {reinterpret_cast<const char*>(&record) + span.From, span.To - span.From};
}

void CheckParsed(const TELOMI& record)
{
    for (const Span& text : Texts)
        Require(Bytes(record, text).find('\0') != std::string_view::npos);
    Require(std::strstr(record.Title, "\x81\x40") == nullptr); // cut at the first ideographic space
    Require(record.Subtitle[0] == 0 || std::strchr(record.Subtitle + 1, '\t') == nullptr);
    Require(std::strlen(record.Subtitle) != 1); // a one-byte subtitle is dropped
    Require(record.Station[0] == 0 || std::strchr(record.Station + 1, '/') == nullptr);
    Require(std::strstr(record.Other, "\r\n") != nullptr);
    // Two-digit numbers; a day one more after midnight, hours 12 more after noon.
    const int32_t values[] = {record.Month, record.Day, record.StartHour, record.StartMinute, record.EndHour,
                              record.EndMinute};
    const int32_t highest[] = {99, 100, 111, 99, 111, 99};
    for (int i = 0; i < 6; ++i)
        Require(values[i] >= 0 && values[i] <= highest[i]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The worker hands over an all-zero record; one full of junk shows what
    // the parser leaves alone and that nothing old leaks into the result.
    const char fills[2] = {0, '\xA5'};
    TELOMI records[2];
    bool parsed[2];
    for (int i = 0; i < 2; ++i) {
        std::memset(&records[i], fills[i], sizeof(TELOMI));
        // Exactly sized with the page buffer's zero behind: a byte more is an ASan report.
        std::unique_ptr<char[]> page(new char[size + 1]);
        std::memcpy(page.get(), data, size);
        page[size] = 0;
        parsed[i] = ParseDetailPage(page.get(), records[i], 2028);
        for (const Span& span : Foreign)
            Require(Bytes(records[i], span).find_first_not_of(fills[i]) == std::string_view::npos);
    }
    Require(parsed[0] == parsed[1]);
    if (!parsed[1]) {
        Require(records[1].Title[0] == 0 && records[1].Subtitle[0] == 0);
        for (const Span& span : Kept)
            Require(Bytes(records[1], span).find_first_not_of(fills[1]) == std::string_view::npos);
        return 0;
    }
    for (const TELOMI& record : records)
        CheckParsed(record);
    for (const Span& text : Texts)
        Require(std::strcmp(Bytes(records[0], text).data(), Bytes(records[1], text).data()) == 0);
    Require(Bytes(records[0], Numbers) == Bytes(records[1], Numbers));
    return 0;
}
