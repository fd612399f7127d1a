#include "app/ini_text.h"

#include <gtest/gtest.h>

// "番組表" and "ソ" end in '\\', "ゼ" in '[', "評" in ']': data, never syntax.
const std::string Path = "C:\\番組表\\ソフト.xml", Awkward = "ゼ評]";

TEST(IniText, ReadsAValueOrTheFallback)
{
    struct Case { const char* Name; std::string Text; const char* Section; const char* Key; std::string Value; } cases[] = {
        {"names in any case, spaces and tabs trimmed", "[Section1]\r\n  bs \t=  on 1 \r\n", "section1", "BS", "on 1"},
        {"LF line ends; one pair of quotes goes", "[a]\nk=\"'x'\"\nj=2", "a", "k", "'x'"},
        {"another section's key is not the one", "[b]\r\nk=2\r\n[a]\r\nj=1\r\n", "a", "k", "-"},
        {"'[' after the line's start heads no section", "[x]\r\nj=" + Awkward + "\r\n k=" + Path, "x", "k", Path},
        {"an empty text", "", "a", "k", "-"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IniValue(c.Text, c.Section, c.Key, "-"), c.Value) << c.Name;

    const std::pair<const char*, int> numbers[] = {{"-12", -12}, {"+7 min", 7}, {"x1", 99}, {"", 99},
                                                   {"4294967297", 2147483647}, {"-99999999999", -2147483647 - 1}};
    for (const auto& [value, number] : numbers)
        EXPECT_EQ(IniNumber("[a]\r\nn=" + std::string(value), "A", "N", 99), number) << value;
}

TEST(IniText, SetsOrRemovesAKeyAndKeepsEveryOtherByte)
{
    struct Case { const char* Name; std::string Before; const char* Section; std::optional<std::string> Value;
                  std::string After; } cases[] = {
        {"replaced where it is", "; mine\r\n[A]\r\nK=1\r\nj=\r\n\r\n[b]\n", "a", "2", "; mine\r\n[A]\r\nk=2\r\nj=\r\n\r\n[b]\n"},
        {"added after the last line, before blanks", "[a]\r\nj=" + Path + "\r\n;\r\n\r\n[b]\r\n", "a", Path,
         "[a]\r\nj=" + Path + "\r\n;\r\nk=" + Path + "\r\n\r\n[b]\r\n"},
        {"added to a file ending without a line end", "[a]\nj=1", "a", Awkward, "[a]\nj=1\r\nk=" + Awkward + "\r\n"},
        {"a new section at the end", "[a]\r\nj=1", "b", "1", "[a]\r\nj=1\r\n[b]\r\nk=1\r\n"},
        {"a new file", "", "b", "", "[b]\r\nk=\r\n"},
        {"removed with its line end", "[a]\r\nk=" + Awkward + "\r\nj=1\n", "a", std::nullopt, "[a]\r\nj=1\n"},
        {"removing a missing key changes nothing", "[a]\r\nj=1", "b", std::nullopt, "[a]\r\nj=1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SetIniValue(c.Before, c.Section, "k", c.Value), c.After) << c.Name;
        EXPECT_EQ(SetIniValue(c.After, c.Section, "k", c.Value), c.After) << c.Name << ": written twice";
        EXPECT_EQ(IniValue(c.After, c.Section, "k", "-"), c.Value.value_or("-")) << c.Name << ": read back";
    }
}
