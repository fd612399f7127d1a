// The "状況" window shown while a retrieval runs, with its stop button.
#pragma once

#include <windows.h>

extern char ProgressText[256];

// Sent by the worker before its end steps: add the rows still missing now.
constexpr UINT WM_ADDROWS = WM_APP + 1;

LRESULT CALLBACK ProgressWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
