// Code page 932 (Shift_JIS as Windows has it) and Unicode, both ways: the
// program keeps its texts in code page 932, windows and XMLTV speak Unicode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "listing/cp932_text.h"

// The platform's reading of one double-byte code: the UTF-16 character, or 0
// when the code is unmapped. On Windows MultiByteToWideChar(932) gives it.
using Cp932Decode = char16_t (*)(unsigned char lead, unsigned char trail);

class Cp932Codec {
public:
    // Asks `decode` about every double-byte code once.
    explicit Cp932Codec(Cp932Decode decode);

    // The character of a double-byte code, 0 when there is none.
    char16_t Decode(unsigned char lead, unsigned char trail) const;
    // One or two bytes into `out`; 0 when code page 932 cannot hold `c`.
    size_t Encode(char32_t c, char out[2]) const;
    // The whole text; what the code page cannot hold becomes "〓", malformed
    // UTF-8 is skipped. Controls: TAB, CR and LF become spaces, or stay as
    // they are with `keepLineBreaks` (TAB still becomes a space), the other
    // C0 and C1 controls are dropped.
    std::string FromUtf8(std::string_view utf8, bool keepLineBreaks = false) const;

    // `text`, up to its first zero, into `out` of `room` units, zero-terminated
    // and cut after the last character that fits; the units written. A byte
    // that starts no character and an unassigned pair become "・"; a lead
    // byte that ends the text is half a character cut off, and is dropped.
    size_t ToUtf16(std::string_view text, char16_t* out, size_t room) const;
    // `text`, up to its first zero, into `out` of `room` bytes, zero-terminated
    // and never ending in half a character; what the code page cannot hold
    // becomes "〓". False when anything was replaced or cut.
    bool FromUtf16(std::u16string_view text, char* out, size_t room) const;

private:
    std::vector<uint16_t> ToCp932;     // by UTF-16 unit; lead << 8 | trail, or a single byte, 0 = none
    std::vector<char16_t> FromDouble;  // by (lead - 0x80) << 8 | trail
};

// Copies `text` into `field` of `size` bytes, zero-terminated, cut on a
// character boundary when it does not fit.
void FitCp932(std::string_view text, char* field, size_t size);
