// Any document, split into any pieces: the reader never crashes, every
// record's texts end inside their fields, its times are clock times, and the
// pieces change nothing against feeding the document whole.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fetch/choices.h"
#include "xmltv/cp932_iconv.h"
#include "xmltv/xmltv_reader.h"

namespace {

void Require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

template <size_t N>
bool Ends(const char (&field)[N])
{
    return std::memchr(field, 0, N) != nullptr;
}

std::string Text(const TELOMI& r)
{
    Require(Ends(r.Station) && Ends(r.Title) && Ends(r.Subtitle) && Ends(r.Performers) && Ends(r.Other));
    Require(r.Month >= 1 && r.Month <= 12 && r.Day >= 1 && r.Day <= 31 && r.StartHour >= 0 && r.StartHour <= 23 &&
            r.StartMinute >= 0 && r.StartMinute <= 59 && r.EndHour >= 0 && r.EndHour <= 23 && r.EndMinute >= 0 &&
            r.EndMinute <= 59);
    return std::string(r.Station) + '|' + std::to_string(r.Month * 1000000 + r.Day * 10000 + r.StartHour * 100 +
                                                         r.StartMinute) +
           '|' + std::to_string(r.EndHour * 100 + r.EndMinute) + '|' + r.Title + '|' + r.Subtitle + '|' +
           r.Performers + '|' + r.Other;
}

std::vector<std::string> Read(const XmltvRequest& request, const uint8_t* data, size_t size, uint32_t split,
                              XmltvFaultKind& kind)
{
    XmltvReader reader(request, IconvCp932Encoder());
    bool going = true;
    for (size_t at = 0; at < size && going;) {
        // Pieces of 1 to 64 bytes when split, else the whole document.
        split = split * 1103515245u + 12345u;
        const size_t piece = request.Channels.size() < 9 && split != 0 ? 1 + (split >> 16) % 64 : size;
        const size_t length = std::min(piece, size - at);
        going = reader.Feed(reinterpret_cast<const char*>(data) + at, length);
        at += length;
    }
    Require(reader.Finish() == (going && reader.Fault().Kind == XmltvFaultKind::None));
    kind = reader.Fault().Kind;
    std::vector<std::string> texts;
    for (const TELOMI& record : reader.Records())
        texts.push_back(Text(record));
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
    Require(whole == pieces && wholeKind == piecesKind);
    return 0;
}
