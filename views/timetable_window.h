// The painted timetable window "表で表示".
#pragma once

#include <windows.h>

// This program's timetable window, null while none is open; interface thread only.
extern HWND TableWnd;

LRESULT CALLBACK TableWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
