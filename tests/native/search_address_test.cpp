#include "views/search_address.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

TEST(SearchAddress, EncodesTheSelectionBehindEitherPrefix)
{
    // UTF-8 from u8 literals, as plain narrow literals are code page 932 here; the encyclopedia's page is 特別.
    auto utf8 = [](const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); };
    const std::string google = "https://www.google.co.jp/search?hl=ja&q=";
    const std::string wikipedia = "https://ja.wikipedia.org/wiki/" + PercentEncode(utf8(u8"特別")) + ":Search?search=";
    const std::pair<std::string, std::string> cases[] = {
        {"AZaz09-._~", "AZaz09-._~"}, // unreserved characters pass
        {"A&B", "A%26B"},             // an ampersand cannot start a new parameter
        {"\"x y\"/?#=+%", "%22x%20y%22%2F%3F%23%3D%2B%25"},
        {utf8(u8"ニュース 7"), "%E3%83%8B%E3%83%A5%E3%83%BC%E3%82%B9%207"},
        {std::string("a\0b", 3), "a%00b"},
    };
    for (const auto& [text, encoded] : cases) {
        EXPECT_EQ(BuildSearchAddress(SearchEnginePrefix, text), google + encoded);
        EXPECT_EQ(BuildSearchAddress(EncyclopediaPrefix, text), wikipedia + encoded);
    }
}
