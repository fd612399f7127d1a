#include "listing/cp932_codec.h"

#include <cstring>

namespace {

// What Windows' WideCharToMultiByte gives for the characters JIS X 0208
// converters spell differently from Microsoft's table (wave dash, minus,
// double vertical line, ...); without this they would all become "〓".
constexpr char16_t Unfolded[][2] = {
    {0x301C, 0xFF5E}, {0x2016, 0x2225}, {0x2212, 0xFF0D}, {0x00A2, 0xFFE0},
    {0x00A3, 0xFFE1}, {0x00AC, 0xFFE2}, {0x2014, 0x2015}, {0x00A6, 0xFFE4},
};

bool Prefers(uint16_t code, uint16_t held)
{
    // Codes are met in rising order, so the held one is lower and wins,
    // except that Windows writes the IBM extensions (0xFA-0xFC) rather than
    // their NEC-selected copies (0xED, 0xEE).
    const unsigned heldLead = held >> 8;
    const unsigned lead = code >> 8;
    return (heldLead == 0xED || heldLead == 0xEE) && lead >= 0xFA;
}

}  // namespace

Cp932Codec::Cp932Codec(Cp932Decode decode) : ToCp932(0x10000, 0), FromDouble(0x8000, 0)
{
    for (unsigned c = 0; c < 0x80; ++c)
        ToCp932[c] = static_cast<uint16_t>(c);
    for (unsigned c = 0xFF61; c <= 0xFF9F; ++c)
        ToCp932[c] = static_cast<uint16_t>(c - 0xFF61 + 0xA1);
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsCp932Lead(static_cast<unsigned char>(lead)))
            continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const char16_t c = decode(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
            // The single-byte characters keep their single bytes.
            if (c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F))
                continue;
            FromDouble[(lead - 0x80) << 8 | trail] = c;
            const uint16_t code = static_cast<uint16_t>(lead << 8 | trail);
            if (ToCp932[c] == 0 || Prefers(code, ToCp932[c]))
                ToCp932[c] = code;
        }
    }
}

char16_t Cp932Codec::Decode(unsigned char lead, unsigned char trail) const
{
    return lead >= 0x80 ? FromDouble[(lead - 0x80) << 8 | trail] : 0;
}

size_t Cp932Codec::Encode(char32_t c, char out[2]) const
{
    if (c > 0xFFFF)
        return 0;
    uint16_t code = ToCp932[c];
    if (code == 0 && c != 0) {
        for (const auto& pair : Unfolded)
            if (pair[0] == c)
                code = ToCp932[pair[1]];
        if (code == 0)
            return 0;
    }
    if (code <= 0xFF) {
        out[0] = static_cast<char>(code);
        return 1;
    }
    out[0] = static_cast<char>(code >> 8);
    out[1] = static_cast<char>(code & 0xFF);
    return 2;
}

std::string Cp932Codec::FromUtf8(std::string_view utf8, bool keepLineBreaks) const
{
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char first = static_cast<unsigned char>(utf8[i]);
        size_t length = first < 0x80 ? 1 : first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 0;
        if (length == 0 || i + length > utf8.size()) {
            ++i;
            continue;
        }
        char32_t c = length == 1 ? first : first & (0x7F >> length);
        bool wellFormed = true;
        for (size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(utf8[i + k]);
            wellFormed = wellFormed && (next & 0xC0) == 0x80;
            c = c << 6 | (next & 0x3F);
        }
        if (!wellFormed) {
            ++i;
            continue;
        }
        i += length;
        if (c == '\t' || ((c == '\r' || c == '\n') && !keepLineBreaks)) {
            out += ' ';
            continue;
        }
        if ((c < 0x20 && c != '\r' && c != '\n') || (c >= 0x7F && c <= 0x9F))
            continue;
        char bytes[2];
        const size_t count = Encode(c, bytes);
        if (count == 0)
            out += "〓";
        else
            out.append(bytes, count);
    }
    return out;
}

void FitCp932(std::string_view text, char* field, size_t size)
{
    if (size == 0)
        return;
    const size_t length = Cp932FitLength(text.data(), text.size(), size - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

size_t Cp932Codec::ToUtf16(std::string_view text, char16_t* out, size_t room) const
{
    if (room == 0)
        return 0;
    size_t written = 0;
    for (size_t i = 0; i < text.size() && text[i] != '\0' && written + 1 < room; ++i) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        char16_t c = u'・';
        if (byte < 0x80)
            c = byte;
        else if (byte >= 0xA1 && byte <= 0xDF)
            c = static_cast<char16_t>(byte - 0xA1 + 0xFF61);
        else if (IsCp932Lead(byte)) {
            if (i + 1 == text.size() || text[i + 1] == '\0')
                break;
            // A byte that cannot follow a lead byte is a character of its own,
            // such as a quote; an unassigned pair is one unknown character.
            const unsigned char trail = static_cast<unsigned char>(text[i + 1]);
            if (trail >= 0x40 && trail <= 0xFC && trail != 0x7F) {
                if (const char16_t paired = Decode(byte, trail))
                    c = paired;
                ++i;
            }
        }
        out[written++] = c;
    }
    out[written] = u'\0';
    return written;
}

bool Cp932Codec::FromUtf16(std::u16string_view text, char* out, size_t room) const
{
    if (room == 0)
        return text.empty() || text[0] == u'\0';
    size_t written = 0;
    bool whole = true;
    size_t i = 0;
    for (; i < text.size() && text[i] != u'\0'; ++i) {
        char32_t c = text[i];
        // A surrogate pair is one character beyond the code page's reach.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        char bytes[2];
        size_t count = c >= 0xD800 && c <= 0xDFFF ? 0 : Encode(c, bytes);
        if (count == 0) {
            whole = false;
            count = Encode(U'〓', bytes);
        }
        if (written + count + 1 > room)
            break;
        std::memcpy(out + written, bytes, count);
        written += count;
    }
    out[written] = '\0';
    return whole && (i == text.size() || text[i] == u'\0');
}
