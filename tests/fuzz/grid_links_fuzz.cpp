// Grid pages are untrusted and arrive as a byte count, not a C string: the
// scan stays inside `length` bytes and finds exactly the links a plain
// reading of the link rules finds.
// Input: a control byte, then the page. The high nibble is the count after
// which the acceptor says stop (0: never), the low one splits the page in two
// (0 to 15 fifteenths); the scans run over the first part, the second and the
// first again, carrying the previous candidate on as the worker does.
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

struct Scan {
    std::vector<std::string> Accepted;
    bool MarkerSeen = false;
    unsigned StopAfter = 0;
};

// The link rules read straight; the page ends at its length or its first zero.
Scan ReferenceScan(std::string_view page, std::string& previous, unsigned stopAfter)
{
    constexpr std::string_view Marker = "/genre/detail.php3?";
    Scan scan;
    page = page.substr(0, page.find('\0'));
    for (size_t found = page.find(Marker); found != std::string_view::npos; found = page.find(Marker, found)) {
        scan.MarkerSeen = true;
        found += Marker.size();
        std::string_view query = page.substr(found, 100);
        query = query.substr(0, query.find('"'));
        found += query.size();
        std::string candidate = std::string(Marker) + std::string(query);
        const bool rejected = candidate.find("<br>") != std::string::npos ||
                              candidate.find(' ') != std::string::npos ||
                              candidate.find("\x81\x40") != std::string::npos || candidate == previous;
        previous = candidate;
        if (!rejected) {
            scan.Accepted.push_back(std::move(candidate));
            if (scan.Accepted.size() == stopAfter)
                break;
        }
    }
    return scan;
}

bool Accept(const char* candidate, void* context)
{
    // Every candidate must fit a record's DetailPath.
    const size_t length = strnlen(candidate, DetailPathSize);
    Require(length < DetailPathSize);
    auto& scan = *static_cast<Scan*>(context);
    scan.Accepted.emplace_back(candidate, length);
    return scan.Accepted.size() != scan.StopAfter;
}

void ScanOnce(const uint8_t* data, size_t size, char (&previous)[DetailPathSize], std::string& referencePrevious,
              unsigned stopAfter)
{
    // Exactly sized, no zero behind: one byte read too far is an ASan report.
    std::unique_ptr<char[]> page(new char[size > 0 ? size : 1]);
    std::memcpy(page.get(), data, size);
    Scan seen;
    seen.StopAfter = stopAfter;
    const GridScanResult result = ScanGridLinks(page.get(), size, previous, Accept, &seen);
    const Scan expected =
        ReferenceScan(std::string_view(reinterpret_cast<const char*>(data), size), referencePrevious, stopAfter);

    Require(std::memcmp(page.get(), data, size) == 0); // the page is only read
    Require(result.MarkerSeen == expected.MarkerSeen && seen.Accepted == expected.Accepted);
    Require(result.Accepted == static_cast<int>(seen.Accepted.size()));
    Require(strnlen(previous, DetailPathSize) < DetailPathSize && referencePrevious == previous);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t split = (size - 1) * (data[0] & 0x0F) / 15;
    char previous[DetailPathSize] = "";
    std::string referencePrevious;
    ScanOnce(data + 1, split, previous, referencePrevious, data[0] >> 4);
    ScanOnce(data + 1 + split, size - 1 - split, previous, referencePrevious, data[0] >> 4);
    ScanOnce(data + 1, split, previous, referencePrevious, data[0] >> 4);
    return 0;
}
