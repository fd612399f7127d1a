// Code page 932 text: which bytes start a double-byte character, and cuts
// that never split one.
#pragma once

#include <cstddef>

bool IsCp932Lead(unsigned char byte);

// The length of the longest start of `text` (`length` bytes) that fits in
// `room` bytes without splitting a double-byte character. A lead byte that
// ends the text counts as a character of its own.
size_t Cp932FitLength(const char* text, size_t length, size_t room);
