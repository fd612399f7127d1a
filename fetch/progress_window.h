// The "状況" window shown while a retrieval runs, with its stop button.
#pragma once

#include <windows.h>

extern char ProgressText[256];

LRESULT CALLBACK ProgressWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
