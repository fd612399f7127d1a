// Detail pages are untrusted: whatever the bytes (EUC-JP or not), the parser
// stays inside the page and the record and leaves every text field terminated.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "listing/detail_parser.h"

namespace {

// A broken rule is a crash, so libFuzzer keeps the input.
void Require(bool condition) { condition ? void() : __builtin_trap(); }

struct Span { size_t From, To; };

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

void CheckParsed(const TELOMI& r)
{
    for (const Span& text : Texts)
        Require(Bytes(r, text).find('\0') != std::string_view::npos);
    Require(std::strstr(r.Title, "\x81\x40") == nullptr && std::strstr(r.Other, "\r\n") != nullptr);
    Require(std::strlen(r.Subtitle) != 1 && (!*r.Subtitle || !std::strchr(r.Subtitle + 1, '\t')));
    Require(!*r.Station || !std::strchr(r.Station + 1, '/'));
    // Two-digit numbers; a day one more after midnight, hours 12 more after noon.
    Require(r.Month >= 0 && r.Month <= 99 && r.Day >= 0 && r.Day <= 100 && r.StartHour >= 0 && r.StartHour <= 111 &&
            r.StartMinute >= 0 && r.StartMinute <= 99 && r.EndHour >= 0 && r.EndHour <= 111 && r.EndMinute >= 0 &&
            r.EndMinute <= 99);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The worker hands over an all-zero record; one full of junk shows what
    // the parser leaves alone and that nothing old leaks into the result.
    const char fills[2] = {0, '\xA5'};
    TELOMI r[2];
    bool parsed[2];
    for (int i = 0; i < 2; ++i) {
        std::memset(&r[i], fills[i], sizeof(TELOMI));
        // Exactly sized with the page buffer's zero behind: a byte more is an ASan report.
        std::unique_ptr<char[]> page(new char[size + 1]);
        std::memcpy(page.get(), data, size);
        page[size] = 0;
        parsed[i] = ParseDetailPage(page.get(), r[i], 2028);
        for (const Span& span : parsed[i] ? Foreign : Kept)
            Require(Bytes(r[i], span).find_first_not_of(fills[i]) == std::string_view::npos);
    }
    Require(parsed[0] == parsed[1] && (parsed[0] || (!*r[1].Title && !*r[1].Subtitle)));
    if (parsed[0]) {
        CheckParsed(r[0]);
        for (const Span& text : Texts) // the same texts whatever the record held before
            Require(std::strcmp(Bytes(r[0], text).data(), Bytes(r[1], text).data()) == 0);
        Require(Bytes(r[0], Numbers) == Bytes(r[1], Numbers));
    }
    return 0;
}
