#pragma once

#include <cstddef>

// Converts a zero-terminated EUC-JP text to Shift_JIS in place; returns the
// new length. Half-width katakana shrink to one byte, so the text may get shorter.
size_t EucToSjis(char* text);
