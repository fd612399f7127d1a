// What every window of the program is made with.
#pragma once

#include <windows.h>

// The program's instance; written once at start-up, read by every window.
extern HINSTANCE AppInstance;

// The one routine that registers a window class: icon 103, the arrow cursor,
// a white background, class style 11 and, when asked, menu 105.
ATOM RegisterWindowClass(HINSTANCE instance, WNDPROC procedure, const char* className, bool withMenu);

// A visible child control with its id; the owner moves it into place.
HWND CreateChild(HWND parent, const char* className, const char* text, DWORD style, int id);
