// What every window of the program is made with.
#pragma once

#include <windows.h>

#include <string_view>

// The program's instance; written once at start-up, read by every window.
extern HINSTANCE AppInstance;

// The one routine that registers a window class: icon 103, the arrow cursor,
// a white background, class style 11 and, when asked, menu 105.
ATOM RegisterWindowClass(HINSTANCE instance, WNDPROC procedure, const char* className, bool withMenu);

// A visible child control with its id, in the interface font; the owner
// moves it into place.
HWND CreateChild(HWND parent, const char* className, const char* text, DWORD style, int id);

// A font that holds kana and kanji whatever the system's language: asking for
// the Japanese character set makes the mapper find one when the face is missing.
HFONT CreateJapaneseFont(int height);
// The font of every control and painted label, created on first use and kept
// for the life of the process.
HFONT InterfaceFont();
// A label painted at (x, y) in the interface font.
void PaintText(HDC dc, int x, int y, std::string_view text);
