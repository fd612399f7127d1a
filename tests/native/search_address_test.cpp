#include "views/search_address.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// UTF-8 text from a u8 literal; plain narrow literals are code page 932 here.
std::string Utf8(const char8_t* text)
{
    return reinterpret_cast<const char*>(text);
}

} // namespace

TEST(SearchAddress, PercentEncode)
{
    struct Case {
        const char* name;
        std::string text;
        std::string encoded;
    } cases[] = {
        {"empty stays empty", "", ""},
        {"unreserved characters pass unchanged", "AZaz09-._~", "AZaz09-._~"},
        {"an ampersand cannot start a new parameter", "A&B", "A%26B"},
        {"a space and quotes", "\"x y\"", "%22x%20y%22"},
        {"reserved characters and the percent sign itself", "a/b?c#d=e+f%", "a%2Fb%3Fc%23d%3De%2Bf%25"},
        {"Japanese UTF-8, every byte in uppercase hex", Utf8(u8"番組"), "%E7%95%AA%E7%B5%84"},
        {"a zero byte inside the text", std::string("a\0b", 3), "a%00b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PercentEncode(c.text), c.encoded);
    }
}

TEST(SearchAddress, Prefixes)
{
    EXPECT_STREQ(SearchEnginePrefix, "https://www.google.co.jp/search?hl=ja&q=");
    // The page name is the UTF-8 of 特別, encoded as any search text is.
    EXPECT_EQ(std::string(EncyclopediaPrefix),
              "https://ja.wikipedia.org/wiki/" + PercentEncode(Utf8(u8"特別")) + ":Search?search=");
}

TEST(SearchAddress, BuildSearchAddress)
{
    struct Case {
        const char* name;
        const char* prefix;
        std::string selection;
        std::string address;
    } cases[] = {
        {"search engine with a title", SearchEnginePrefix, Utf8(u8"ニュース 7"),
         std::string(SearchEnginePrefix) + "%E3%83%8B%E3%83%A5%E3%83%BC%E3%82%B9%207"},
        {"encyclopedia with an ampersand", EncyclopediaPrefix, "A&B", std::string(EncyclopediaPrefix) + "A%26B"},
        {"empty selection gives the bare prefix", SearchEnginePrefix, "", SearchEnginePrefix},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BuildSearchAddress(c.prefix, c.selection), c.address);
    }
}
