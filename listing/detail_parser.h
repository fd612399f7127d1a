// Cuts a programme's fields out of its detail page.
#pragma once

#include "listing/programme.h"

// page: the zero-terminated EUC-JP page; it is converted and cut in place.
// Fills Title, Subtitle, Month, Day, the times, Station, Performers and Other.
// Returns false when the page has no title cell (then only the title and
// subtitle are cleared). year is the broadcast day's: a start after midnight
// on 28 February falls on the 29th in a leap year.
bool ParseDetailPage(char* page, TELOMI& record, int year);
