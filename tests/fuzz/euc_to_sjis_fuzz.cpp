// The conversion runs in place over untrusted bytes: it must never grow the
// text, must end it with a zero at the length it returns, and must leave a
// well-formed Shift_JIS text whose ASCII characters (the HTML markup the
// parser searches for) are the input's own, none swallowed as a trail byte.
// A well-formed EUC-JP text must give exactly its Shift_JIS form.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "listing/euc_to_sjis.h"

namespace {

void Require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool IsLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool IsTrail(unsigned char c)
{
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// '?' stands in for bytes that start no character, so it is left out when
// the ASCII characters of input and output are compared.
std::string AsciiOfInput(const unsigned char* text, size_t length)
{
    std::string ascii;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < 0x80 && text[i] != '?')
            ascii += static_cast<char>(text[i]);
    }
    return ascii;
}

// Walks the output as Shift_JIS; false when a lead byte has no trail byte or
// a byte can be no character at all.
bool AsciiOfShiftJis(const unsigned char* text, size_t length, std::string& ascii)
{
    for (size_t i = 0; i < length;) {
        const unsigned char c = text[i];
        if (IsLead(c)) {
            if (i + 1 >= length || !IsTrail(text[i + 1]))
                return false;
            i += 2;
        } else if (c < 0x80 || (c >= 0xA1 && c <= 0xDF)) {
            if (c < 0x80 && c != '?')
                ascii += static_cast<char>(c);
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

// The textbook JIS X 0208 to Shift_JIS mapping, written apart from the
// converter's arithmetic; false when the text is not well-formed EUC-JP
// (ASCII, JIS X 0208 pairs and half-width katakana only).
bool ShiftJisOfWellFormed(const unsigned char* text, size_t length, std::string& sjis)
{
    for (size_t i = 0; i < length;) {
        const unsigned c1 = text[i];
        if (c1 < 0x80) {
            sjis += static_cast<char>(c1);
            ++i;
            continue;
        }
        if (i + 1 >= length)
            return false;
        const unsigned c2 = text[i + 1];
        if (c1 == 0x8E && c2 >= 0xA1 && c2 <= 0xDF) {
            sjis += static_cast<char>(c2); // half-width katakana is one byte
        } else if (c1 >= 0xA1 && c1 <= 0xFE && c2 >= 0xA1 && c2 <= 0xFE) {
            const unsigned row = c1 - 0x80;
            const unsigned cell = c2 - 0x80;
            sjis += static_cast<char>((row + 1) / 2 + (row <= 0x5E ? 0x70 : 0xB0));
            sjis += static_cast<char>(row % 2 == 1 ? cell + (cell <= 0x5F ? 0x1F : 0x20) : cell + 0x7E);
        } else {
            return false;
        }
        i += 2;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Exactly sized plus the terminating zero; bytes behind an earlier zero
    // in the input are not part of the text and must stay as they are.
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[size + 1]);
    if (size > 0)
        std::memcpy(buffer.get(), data, size);
    buffer[size] = 0;
    const size_t before = std::strlen(reinterpret_cast<const char*>(buffer.get()));

    const size_t after = EucToSjis(reinterpret_cast<char*>(buffer.get()));

    Require(after <= before);
    Require(buffer[after] == 0);
    Require(std::memchr(buffer.get(), 0, after) == nullptr);
    if (before < size)
        Require(std::memcmp(buffer.get() + before + 1, data + before + 1, size - before - 1) == 0);

    std::string outputAscii;
    Require(AsciiOfShiftJis(buffer.get(), after, outputAscii));
    Require(outputAscii == AsciiOfInput(data, before));

    std::string expected;
    if (ShiftJisOfWellFormed(data, before, expected))
        Require(std::string_view(reinterpret_cast<const char*>(buffer.get()), after) == expected);
    return 0;
}
