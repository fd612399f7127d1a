// Grid pages are untrusted and arrive as a byte count: the scan reads only inside
// `length` bytes, leaves the page alone, and every candidate and the previous one
// carried on fit a DetailPath (the link rules are native examples). Input: a control
// byte, its high nibble the count after which the acceptor says stop (0: never), its
// low one where the page splits; scans run over part one, part two, part one again.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "fetch/link_scan.h"

namespace {

void Require(bool condition) { condition ? void() : __builtin_trap(); }

struct Seen { int Count, StopAfter; };

bool Accept(const char* candidate, void* context)
{
    Require(strnlen(candidate, DetailPathSize) < DetailPathSize);
    Require(std::strncmp(candidate, "/genre/detail.php3?", 19) == 0 && std::strpbrk(candidate, " \"") == nullptr);
    auto& seen = *static_cast<Seen*>(context);
    return ++seen.Count != seen.StopAfter;
}

void ScanOnce(const uint8_t* data, size_t size, char (&previous)[DetailPathSize], int stopAfter)
{
    // Exactly sized, no zero behind: one byte read too far is an ASan report.
    std::unique_ptr<char[]> page(new char[size > 0 ? size : 1]);
    std::memcpy(page.get(), data, size);
    Seen seen{0, stopAfter};
    const int accepted = ScanGridLinks(page.get(), size, previous, Accept, &seen);
    Require(std::memcmp(page.get(), data, size) == 0); // the page is only read
    Require(accepted == seen.Count && (stopAfter == 0 || seen.Count <= stopAfter));
    Require(strnlen(previous, DetailPathSize) < DetailPathSize);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t split = (size - 1) * (data[0] & 0x0F) / 15;
    char previous[DetailPathSize] = "";
    ScanOnce(data + 1, split, previous, data[0] >> 4);
    ScanOnce(data + 1 + split, size - 1 - split, previous, data[0] >> 4);
    ScanOnce(data + 1, split, previous, data[0] >> 4);
    return 0;
}
