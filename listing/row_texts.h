// The display texts of a record's list-view row.
#pragma once

#include "listing/programme.h"

// DateText "%d月/%d日", StartText and EndText "%.2d:%.2d". Texts that would
// not fit their fields (numbers of three digits) are cut, never overrun.
void FormatDisplayTexts(TELOMI& record);
