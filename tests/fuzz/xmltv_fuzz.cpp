// Any document, split into any pieces: the reader never crashes, every
// record's texts end inside their fields, its times are clock times, and the
// pieces change nothing against feeding the document whole.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fetch/choices.h"
#include "listing/cp932_iconv.h"
#include "xmltv/xmltv_reader.h"

namespace {

void Require(bool condition) { condition ? void() : __builtin_trap(); }

#define ENDS(field) (std::memchr(r.field, 0, sizeof r.field) != nullptr)
std::string Text(const TELOMI& r)
{
    Require(ENDS(Station) && ENDS(Title) && ENDS(Subtitle) && ENDS(Performers) && ENDS(Other));
    Require(r.Month >= 1 && r.Month <= 12 && r.Day >= 1 && r.Day <= 31 && r.StartHour >= 0 && r.StartHour <= 23 &&
            r.StartMinute >= 0 && r.StartMinute <= 59 && r.EndHour >= 0 && r.EndHour <= 23 && r.EndMinute >= 0 &&
            r.EndMinute <= 59);
    char times[64];
    std::snprintf(times, sizeof times, "|%d/%d %d:%d-%d:%d|", r.Month, r.Day, r.StartHour, r.StartMinute, r.EndHour,
                  r.EndMinute);
    return std::string(r.Station) + times + r.Title + '|' + r.Subtitle + '|' + r.Performers + '|' + r.Other;
}

std::vector<std::string> Read(const XmltvRequest& request, const uint8_t* data, size_t size, uint32_t split,
                              XmltvFaultKind& kind)
{
    XmltvReader reader(request, IconvCp932Codec());
    bool going = true;
    for (size_t at = 0; at < size && going;) {
        // Pieces of 1 to 64 bytes when split, else the whole document.
        split = split == 0 ? 0 : split * 1103515245u + 12345u;
        const size_t length = std::min(split != 0 ? 1 + (split >> 16) % 64 : size, size - at);
        going = reader.Feed(reinterpret_cast<const char*>(data) + at, length);
        at += length;
    }
    Require(reader.Finish() == (going && reader.Fault().Kind == XmltvFaultKind::None));
    kind = reader.Fault().Kind;
    std::vector<std::string> texts;
    reader.ForEachRecord([&texts](const TELOMI& record) { texts.push_back(Text(record)); });
    return texts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The choices come from the document itself, so seeds stay plain documents.
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    XmltvRequest request{{{2009, 3, 10}, static_cast<int>(hash % 24), 0}, static_cast<int>(hash >> 5) % 2,
                         static_cast<int>(hash >> 8) % TimeChoiceCount,
                         static_cast<int>(hash >> 12) % GenreChoiceCount, {}};
    if (hash & 0x80000000u)
        request.Channels = {"b.jp", "a.jp"};
    XmltvFaultKind wholeKind, piecesKind;
    const auto whole = Read(request, data, size, 0, wholeKind);
    const auto pieces = Read(request, data, size, hash | 1, piecesKind);
    // However the bytes arrive, the same programmes, and a fault or none; which
    // fault expat names first may depend on where its buffer ends.
    Require(whole == pieces && (wholeKind == XmltvFaultKind::None) == (piecesKind == XmltvFaultKind::None));
    return 0;
}
