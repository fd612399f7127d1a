#include "listing/cp932_text.h"

bool IsCp932Lead(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

size_t Cp932FitLength(const char* text, size_t length, size_t room)
{
    size_t n = 0;
    while (n < length) {
        const size_t step = IsCp932Lead(static_cast<unsigned char>(text[n])) && n + 1 < length ? 2 : 1;
        if (n + step > room)
            break;
        n += step;
    }
    return n;
}
