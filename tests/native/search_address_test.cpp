#include "views/search_address.h"

#include <gtest/gtest.h>

#include <string>

TEST(SearchAddress, EncodesTheSelectionBehindEitherPrefix)
{
    // UTF-8 from u8 literals, as plain narrow literals are code page 932 here; the encyclopedia's page is 特別.
    auto utf8 = [](const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); };
    const std::string cases[][2] = {
        {"AZaz09-._~", "AZaz09-._~"}, // unreserved characters pass
        {"A&B", "A%26B"},             // an ampersand cannot start a new parameter
        {"\"x y\"/?#=+%", "%22x%20y%22%2F%3F%23%3D%2B%25"}, {std::string("a\0b", 3), "a%00b"},
        {utf8(u8"ニュース 7"), "%E3%83%8B%E3%83%A5%E3%83%BC%E3%82%B9%207"},
    };
    for (const auto& [text, encoded] : cases) {
        EXPECT_EQ(BuildSearchAddress(SearchEnginePrefix, text), "https://www.google.co.jp/search?hl=ja&q=" + encoded);
        EXPECT_EQ(BuildSearchAddress(EncyclopediaPrefix, text),
                  "https://ja.wikipedia.org/wiki/%E7%89%B9%E5%88%A5:Search?search=" + encoded);
    }
}
