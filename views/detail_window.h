// The small popup that shows one programme's details and searches the web for
// the text selected in it.
#pragma once

#include <windows.h>

#include <cstdint>

// SelectedProgramme's value while no programme is chosen.
constexpr int32_t NoProgramme = 999999;

// The open detail window and its programme; interface thread only.
extern HWND DetailWnd;
extern int32_t SelectedProgramme;

// Hands a finished web address to the shell; replaceable so tests can capture
// the address instead of starting a browser. Set before any window exists.
extern void (*OpenInBrowser)(const char* address);

// Closes the open detail window, then opens one for the programme whose box
// holds the click (x, y in the timetable's client coordinates), if any.
void OpenDetailWindow(int x, int y, HWND timetable, const RECT& client, const WINDOWPLACEMENT& placement);

LRESULT CALLBACK DetailWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
