// Drop-down lists filled from the choice tables.
#pragma once

#include <windows.h>

// Each entry carries its table position as item data, so a sorting list that
// orders its entries differently still yields the right site code.
void FillGenreList(HWND list, int selected);
void FillTimeList(HWND list, int selected);
void FillRegionList(HWND list, int selected);
void FillDayList(HWND list, int selected);

// The table position of the selected entry, or -1 when none is selected.
int SelectedChoice(HWND list);
