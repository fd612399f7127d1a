// Grid pages are untrusted and arrive as a byte count, not a C string: the
// scan stays inside `length` bytes, hands over only well-formed candidates and
// finds exactly the links a plain reading of the link rules finds.
//
// Input: one control byte, then the page. The control byte's high nibble is
// the number of candidates after which the acceptor says stop (0: never); its
// low nibble places the split of the page into two pages (0 to 15 fifteenths).
// The scans run over the first page, the second and the first again, carrying
// the previous candidate from one to the next as the worker does.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fetch/link_scan.h"

namespace {

void Require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

constexpr std::string_view Marker = "/genre/detail.php3?";
constexpr size_t LongestQuery = 100;
constexpr std::string_view IdeographicSpace = "\x81\x40";

bool Rejected(std::string_view candidate)
{
    return candidate.find("<br>") != std::string_view::npos || candidate.find(' ') != std::string_view::npos ||
           candidate.find(IdeographicSpace) != std::string_view::npos;
}

struct Expected {
    std::vector<std::string> Accepted;
    bool MarkerSeen = false;
};

// The link rules read straight: the page ends at its length or at its first
// zero byte, whichever comes first.
Expected ReferenceScan(std::string_view page, std::string& previous, unsigned stopAfter)
{
    Expected expected;
    page = page.substr(0, page.find('\0'));
    size_t cursor = 0;
    for (;;) {
        const size_t found = page.find(Marker, cursor);
        if (found == std::string_view::npos)
            break;
        expected.MarkerSeen = true;
        cursor = found + Marker.size();
        const std::string_view rest = page.substr(cursor, LongestQuery);
        const std::string_view query = rest.substr(0, rest.find('"'));
        cursor += query.size();
        std::string candidate = std::string(Marker) + std::string(query);
        const bool accepted = !Rejected(candidate) && candidate != previous;
        previous = candidate;
        if (accepted) {
            expected.Accepted.push_back(std::move(candidate));
            if (expected.Accepted.size() == stopAfter)
                break;
        }
    }
    return expected;
}

struct Seen {
    std::vector<std::string> Accepted;
    unsigned StopAfter = 0;
};

bool Accept(const char* candidate, void* context)
{
    // Every candidate handed over must fit a record's DetailPath.
    const size_t length = strnlen(candidate, DetailPathSize);
    Require(length < DetailPathSize);
    const std::string_view text(candidate, length);
    Require(text.substr(0, Marker.size()) == Marker);
    Require(text.find("<br>") == std::string_view::npos);
    Require(text.find(' ') == std::string_view::npos);
    Require(text.find(IdeographicSpace) == std::string_view::npos);
    Require(text.find('"') == std::string_view::npos);

    auto& seen = *static_cast<Seen*>(context);
    seen.Accepted.emplace_back(text);
    return seen.Accepted.size() != seen.StopAfter;
}

void ScanOnce(const uint8_t* data, size_t size, char (&previous)[DetailPathSize], std::string& referencePrevious,
              unsigned stopAfter)
{
    // Exactly sized, no zero behind: one byte read too far is an ASan report.
    std::unique_ptr<char[]> page(new char[size > 0 ? size : 1]);
    if (size > 0)
        std::memcpy(page.get(), data, size);

    Seen seen;
    seen.StopAfter = stopAfter;
    const GridScanResult result = ScanGridLinks(page.get(), size, previous, Accept, &seen);
    const Expected expected =
        ReferenceScan(std::string_view(reinterpret_cast<const char*>(data), size), referencePrevious, stopAfter);

    Require(std::memcmp(page.get(), data, size) == 0); // the page is only read
    Require(result.MarkerSeen == expected.MarkerSeen);
    Require(result.Accepted == static_cast<int>(seen.Accepted.size()));
    Require(seen.Accepted == expected.Accepted);
    Require(strnlen(previous, DetailPathSize) < DetailPathSize);
    Require(referencePrevious == previous);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const unsigned stopAfter = data[0] >> 4;
    const uint8_t* page = data + 1;
    const size_t pageSize = size - 1;
    const size_t split = pageSize * (data[0] & 0x0F) / 15;

    char previous[DetailPathSize] = "";
    std::string referencePrevious;
    ScanOnce(page, split, previous, referencePrevious, stopAfter);
    ScanOnce(page + split, pageSize - split, previous, referencePrevious, stopAfter);
    ScanOnce(page, split, previous, referencePrevious, stopAfter);
    return 0;
}
