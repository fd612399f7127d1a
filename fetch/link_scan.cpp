#include "fetch/link_scan.h"

#include <cstring>

namespace {

constexpr char Marker[] = "/genre/detail.php3?";
constexpr size_t MarkerLength = sizeof Marker - 1;
constexpr size_t LongestQuery = 100;

static_assert(MarkerLength + LongestQuery + 1 == DetailPathSize, "a candidate fills a DetailPath exactly");

// Bounded search: the page need not be zero-terminated at `length`.
const char* FindMarker(const char* from, const char* end)
{
    if (static_cast<size_t>(end - from) < MarkerLength)
        return nullptr;
    const char* last = end - MarkerLength;
    for (const char* p = from; p <= last; ++p) {
        p = static_cast<const char*>(std::memchr(p, Marker[0], static_cast<size_t>(last - p) + 1));
        if (p == nullptr)
            return nullptr;
        if (std::memcmp(p, Marker, MarkerLength) == 0)
            return p;
    }
    return nullptr;
}

bool IsRejected(const char* candidate)
{
    return std::strstr(candidate, "<br>") != nullptr || std::strchr(candidate, ' ') != nullptr ||
           std::strstr(candidate, "　") != nullptr;  // the ideographic space, searched byte-wise
}

}  // namespace

int ScanGridLinks(const char* page, size_t length, char (&previousCandidate)[DetailPathSize],
                             LinkAcceptor accept, void* context)
{
    int accepted = 0;
    if (page == nullptr)
        return accepted;
    // The page is text: it ends at its first zero byte or after `length` bytes.
    const void* zero = std::memchr(page, '\0', length);
    const char* const end = zero != nullptr ? static_cast<const char*>(zero) : page + length;
    const char* cursor = page;

    while (const char* found = FindMarker(cursor, end)) {
        cursor = found + MarkerLength;
        size_t taken = 0;
        while (taken < LongestQuery && cursor + taken < end && cursor[taken] != '"')
            ++taken;

        char candidate[DetailPathSize];
        std::memcpy(candidate, Marker, MarkerLength);
        std::memcpy(candidate + MarkerLength, cursor, taken);
        candidate[MarkerLength + taken] = '\0';
        // The next search starts right after the bytes taken, not after the quote.
        cursor += taken;

        // Only a link equal to the one just before it is a repeat.
        const bool isNew = !IsRejected(candidate) && std::strcmp(candidate, previousCandidate) != 0;
        std::memcpy(previousCandidate, candidate, MarkerLength + taken + 1);
        if (isNew) {
            ++accepted;
            if (!accept(candidate, context))
                break;
        }
    }
    return accepted;
}
