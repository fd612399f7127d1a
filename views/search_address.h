// Well-formed web search addresses for a selected text.
#pragma once

#include <string>

extern const char* const SearchEnginePrefix;   // https, "/search?hl=ja&q="
extern const char* const EncyclopediaPrefix;   // https, "/wiki/特別:Search?search=" encoded

// Percent-encodes every byte of the UTF-8 text outside the unreserved set.
std::string PercentEncode(const std::string& utf8);

// The prefix followed by the encoded text.
std::string BuildSearchAddress(const char* prefix, const std::string& utf8Selection);
