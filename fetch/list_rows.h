// The main list view's rows: one per record, item data = the record's index.
#pragma once

#include <windows.h>

#include "listing/programme.h"

// Formats the record's display texts and appends its row as row `row`,
// on the thread that owns the list.
void AddRow(HWND list, TELOMI& record, int row);
