// The program keeps its texts in code page 932 and hands windows UTF-16:
// every text crosses here, whatever code page the system itself runs on.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "listing/cp932_codec.h"

// Code page 932 as this system's MultiByteToWideChar(932) reads it.
const Cp932Codec& Cp932();

// Code page 932 text, up to its first zero, for the wide functions.
std::wstring Wide(std::string_view text);
// A wide text in code page 932, cut to `room` bytes with the zero; `whole`
// tells whether every character had a code and fitted.
std::string Narrow(std::wstring_view text, size_t room, bool* whole = nullptr);

// A window's text in code page 932, at most `room` bytes with the zero;
// `whole` as for Narrow.
std::string ReadText(HWND window, size_t room, bool* whole = nullptr);
void ShowText(HWND window, std::string_view text);
int ShowMessage(HWND owner, std::string_view text, std::string_view caption, UINT type);
