// The "状況" window shown while a retrieval runs, with its stop button.
#pragma once

#include <windows.h>

extern char ProgressText[256];

// Sent by the worker: add the row of the TELOMI at lParam on this thread; answers 1.
constexpr UINT WM_ADDROW = WM_APP + 1;

LRESULT CALLBACK ProgressWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
