#include "fetch/split_address.h"

#include <cstring>

namespace {

// Copies `count` bytes, cut to what the buffer holds, always zero-terminated.
void CopyCut(char* out, size_t outSize, const char* from, size_t count)
{
    if (out == nullptr || outSize == 0)
        return;
    if (count > outSize - 1)
        count = outSize - 1;
    std::memcpy(out, from, count);
    out[count] = '\0';
}

}  // namespace

void SplitAddress(const char* address, char* host, size_t hostSize, char* path, size_t pathSize)
{
    constexpr char Scheme[] = "http://";
    constexpr size_t SchemeLength = sizeof Scheme - 1;
    if (address == nullptr || std::strncmp(address, Scheme, SchemeLength) != 0)
        return;
    const char* hostStart = address + SchemeLength;
    const char* slash = std::strchr(hostStart, '/');
    const char* hostEnd = slash != nullptr ? slash : hostStart + std::strlen(hostStart);
    CopyCut(host, hostSize, hostStart, static_cast<size_t>(hostEnd - hostStart));
    CopyCut(path, pathSize, hostEnd, std::strlen(hostEnd));
}

bool SplitHostPort(const char* host, char* name, size_t nameSize, uint16_t& port)
{
    if (host == nullptr)
        return false;
    const char* colon = std::strchr(host, ':');
    size_t nameLength = colon != nullptr ? static_cast<size_t>(colon - host) : std::strlen(host);
    CopyCut(name, nameSize, host, nameLength);
    if (nameLength == 0)
        return false;
    if (colon == nullptr) {
        port = 80;
        return true;
    }

    // Digits only, and no more than fit a port, so the value cannot overflow.
    const char* digits = colon + 1;
    size_t digitCount = std::strlen(digits);
    if (digitCount == 0 || digitCount > 5)
        return false;
    unsigned value = 0;
    for (size_t i = 0; i < digitCount; ++i) {
        if (digits[i] < '0' || digits[i] > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(digits[i] - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}
