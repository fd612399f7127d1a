// The "状況" window shown while a retrieval runs, with its stop button. It
// puts the rows of completed records into the list in batches.
#pragma once

#include <windows.h>

// The progress window's line; interface thread only.
extern char ProgressText[256];

// Sent by the worker when its walk has ended: the end steps follow.
constexpr UINT WM_RETRIEVALDONE = WM_APP + 1;

// Creates the window owned by owner, a third of its client's width and a
// fifth of its height; list is the list view the rows go into.
HWND CreateProgressWindow(HWND owner, const RECT& ownerClient, HWND list);
// Adds the rows of the records completed since the last batch.
void AddCompletedRows();

LRESULT CALLBACK ProgressWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
