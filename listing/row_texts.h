// The display texts of a record's list-view row.
#pragma once

#include "listing/programme.h"

// DateText "%d月/%d日", StartText and EndText "%.2d:%.2d". Texts that would
// not fit their fields (numbers of three digits) are cut, never overrun.
void FormatDisplayTexts(TELOMI& record);

constexpr int RowColumnCount = 8;

// The text of column 0 to 7: title, subtitle, station, date, start, end,
// performers, other.
const char* RowText(const TELOMI& record, int column);

// The sort order of two rows by one column, as the list shows the texts in a
// 30-byte buffer: their first 29 bytes (never half a double-byte character)
// compared as unsigned bytes. Negative, 0 or positive.
int CompareRowTexts(const TELOMI& left, const TELOMI& right, int column);
