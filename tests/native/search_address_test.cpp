#include "views/search_address.h"

#include <gtest/gtest.h>

#include <string>

// UTF-8 text from a u8 literal; plain narrow literals are code page 932 here.
static std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

TEST(SearchAddress, EncodesTheSelectionBehindThePrefix)
{
    struct Case { const char* prefix; std::string text, encoded; } cases[] = {
        {SearchEnginePrefix, "", ""},
        {SearchEnginePrefix, "AZaz09-._~", "AZaz09-._~"},   // unreserved characters pass
        {EncyclopediaPrefix, "A&B", "A%26B"},               // an ampersand cannot start a new parameter
        {SearchEnginePrefix, "\"x y\"", "%22x%20y%22"},
        {SearchEnginePrefix, "a/b?c#d=e+f%", "a%2Fb%3Fc%23d%3De%2Bf%25"},
        {SearchEnginePrefix, Utf8(u8"ニュース 7"), "%E3%83%8B%E3%83%A5%E3%83%BC%E3%82%B9%207"},
        {SearchEnginePrefix, std::string("a\0b", 3), "a%00b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PercentEncode(c.text), c.encoded);
        EXPECT_EQ(BuildSearchAddress(c.prefix, c.text), c.prefix + c.encoded);
    }
}

TEST(SearchAddress, Prefixes)
{
    EXPECT_STREQ(SearchEnginePrefix, "https://www.google.co.jp/search?hl=ja&q=");
    // The page name is the UTF-8 of 特別, encoded as any search text is.
    EXPECT_EQ(std::string(EncyclopediaPrefix),
              "https://ja.wikipedia.org/wiki/" + PercentEncode(Utf8(u8"特別")) + ":Search?search=");
}
