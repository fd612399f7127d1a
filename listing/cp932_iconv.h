// The code page 932 reading from glibc's iconv, for the native tests and the
// fuzz targets; Windows gives the same reading through MultiByteToWideChar.
#pragma once

#include <iconv.h>

#include "listing/cp932_codec.h"

inline char16_t IconvCp932Decode(unsigned char lead, unsigned char trail)
{
    static const iconv_t converter = iconv_open("UTF-16LE", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return 0;
    char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    unsigned char out[4];
    char* from = in;
    char* to = reinterpret_cast<char*>(out);
    size_t inLeft = sizeof in, outLeft = sizeof out;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    // Exactly one UTF-16 unit from both bytes, or the code is unmapped.
    if (iconv(converter, &from, &inLeft, &to, &outLeft) == static_cast<size_t>(-1) || inLeft != 0 ||
        outLeft != 2)
        return 0;
    return static_cast<char16_t>(out[0] | out[1] << 8);
}

inline const Cp932Codec& IconvCp932Codec()
{
    static const Cp932Codec encoder(IconvCp932Decode);
    return encoder;
}
