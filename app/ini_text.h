// The settings file's text: [sections] of key=value lines, read and rewritten
// byte for byte. The platform's profile functions pass the file through the
// system's ANSI code page, which garbles code page 932 on other systems.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The value of `key` in the first `section`, or `fallback` when it has none.
// Names match whatever their ASCII case; lines starting with ';' are
// comments; spaces and tabs around the value and one pair of quotes around
// it are dropped, every other byte is the value's.
std::string_view IniValue(std::string_view text, std::string_view section, std::string_view key,
                          std::string_view fallback);
// The decimal number that starts the value, a sign allowed, held to the
// range of int; `fallback` when the key is missing or the value has no digits.
int IniNumber(std::string_view text, std::string_view section, std::string_view key, int fallback);
// The text with `key` set to `value`, or removed without one. A new key goes
// after the last line of its section, a new section at the end; every other
// byte stays as it was.
std::string SetIniValue(std::string_view text, std::string_view section, std::string_view key,
                        std::optional<std::string_view> value);
