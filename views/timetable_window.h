// The painted timetable window "表で表示".
#pragma once

#include <windows.h>

LRESULT CALLBACK TableWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
