#include "listing/euc_to_sjis.h"

namespace {

bool IsEucByte(unsigned char c)
{
    return c >= 0xA1 && c <= 0xFE;
}

} // namespace

size_t EucToSjis(char* text)
{
    unsigned char* s = reinterpret_cast<unsigned char*>(text);
    // The output never gets ahead of the input (every sequence becomes at
    // most as many bytes as it had), so the text can be rewritten in place.
    size_t in = 0;
    size_t out = 0;
    while (s[in] != 0) {
        const unsigned char c1 = s[in];
        if (c1 < 0x80) {
            s[out++] = c1;
            ++in;
            continue;
        }
        const unsigned char c2 = s[in + 1];
        if (c2 == 0)
            break; // a lead byte cut off by the end of the text is dropped
        if (c1 == 0x8E && c2 >= 0xA1 && c2 <= 0xDF) {
            s[out++] = c2; // half-width katakana is one byte in Shift_JIS
            in += 2;
        } else if (c1 == 0x8F && IsEucByte(c2)) {
            const unsigned char c3 = s[in + 2];
            if (c3 == 0)
                break; // a JIS X 0212 character cut off by the end of the text
            if (!IsEucByte(c3)) {
                s[out++] = '?';
                ++in;
                continue;
            }
            // JIS X 0212 has no Shift_JIS form: the geta mark stands in for it.
            s[out++] = 0x81;
            s[out++] = 0xAC;
            in += 3;
        } else if (IsEucByte(c1) && IsEucByte(c2)) {
            const unsigned h = c1 >> 1;
            if (c1 & 1) {
                s[out] = static_cast<unsigned char>(c1 <= 0xDE ? h + 0x31 : h + 0x71);
                s[out + 1] = static_cast<unsigned char>(c2 < 0xE0 ? c2 - 0x61 : c2 - 0x60);
            } else {
                s[out] = static_cast<unsigned char>(c1 <= 0xDE ? h + 0x30 : h + 0x70);
                s[out + 1] = static_cast<unsigned char>(c2 - 2);
            }
            out += 2;
            in += 2;
        } else {
            // A byte that starts no valid sequence becomes '?' on its own:
            // left as it is, Shift_JIS would read it as a lead byte and
            // swallow the next byte, which may be the '<' of a tag.
            s[out++] = '?';
            ++in;
        }
    }
    s[out] = 0;
    return out;
}
