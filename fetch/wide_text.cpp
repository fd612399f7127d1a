#include "fetch/wide_text.h"

#include <cstring>
#include <vector>

namespace {

char16_t DecodeCp932(unsigned char lead, unsigned char trail)
{
    const char code[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    wchar_t wide[2] = {};
    return MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, code, 2, wide, 2) == 1 ? wide[0] : 0;
}

} // namespace

const Cp932Codec& Cp932()
{
    // Never destroyed: a reading that a stop left behind may still use it at exit.
    static const Cp932Codec* const codec = new Cp932Codec(DecodeCp932);
    return *codec;
}

std::wstring Wide(std::string_view text)
{
    // Every character of the code page is one UTF-16 unit.
    std::u16string units(text.size() + 1, u'\0');
    units.resize(Cp932().ToUtf16(text, units.data(), units.size()));
    return std::wstring(units.begin(), units.end());
}

std::string Narrow(std::wstring_view text, size_t room, bool* whole)
{
    const std::u16string units(text.begin(), text.end());
    std::string out(room, '\0');
    const bool all = Cp932().FromUtf16(units, out.data(), room);
    if (whole)
        *whole = all;
    out.resize(std::strlen(out.c_str()));
    return out;
}

std::string ReadText(HWND window, size_t room, bool* whole)
{
    // A character takes one or two bytes: these units fill the room, and a
    // longer text, cut to them, still overflows it and is not whole.
    std::vector<wchar_t> units(room + 1, L'\0');
    const int length = GetWindowTextW(window, units.data(), static_cast<int>(units.size()));
    return Narrow(std::wstring_view(units.data(), length > 0 ? static_cast<size_t>(length) : 0), room, whole);
}

void ShowText(HWND window, std::string_view text)
{
    SetWindowTextW(window, Wide(text).c_str());
}

int ShowMessage(HWND owner, std::string_view text, std::string_view caption, UINT type)
{
    return MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(), type);
}
