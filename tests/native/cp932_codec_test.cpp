#include "listing/cp932_iconv.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(Cp932Codec, ToUtf16CutsOnCharactersAndMarksBrokenBytes)
{
    const std::string tele = "テレビ";
    struct Case { const char* Name; std::string Text; size_t Room; std::u16string Wide; } cases[] = {
        {"whole text", tele, 8, u"テレビ"},
        {"room for two characters and the zero", tele, 3, u"テレ"},
        {"no room but the zero", tele, 1, u""},
        {"a bound inside a character drops its lead byte", tele.substr(0, 3), 8, u"テ"},
        {"half-width kana and ASCII are single bytes", "ﾃﾚﾋﾞ TV", 8, u"ﾃﾚﾋﾞ TV"},
        {"a lead byte before a space marks itself only", std::string("\x81 \"") + "局", 8, u"・ \"局"},
        {"bytes that start nothing, an unassigned pair", "\x80\xA0\xFD\x85\x40" + tele.substr(0, 2), 8, u"・・・・テ"},
        {"the first zero ends the text", std::string("ab\0cd", 5), 8, u"ab"},
    };
    for (const Case& c : cases) {
        char16_t out[16];
        std::fill(std::begin(out), std::end(out), u'x');
        const size_t written = IconvCp932Codec().ToUtf16(c.Text, out, c.Room);
        EXPECT_EQ(std::u16string(out, written), c.Wide) << c.Name;
        EXPECT_EQ(out[written], u'\0') << c.Name;
        EXPECT_EQ(out[c.Room], u'x') << c.Name << ": written past the room";
    }
}

TEST(Cp932Codec, FromUtf16NeverEndsInHalfACharacterAndTellsWhatItLost)
{
    struct Case { const char* Name; std::u16string Wide; size_t Room; const char* Text; bool Whole; } cases[] = {
        {"whole text", u"番組表 TV", 10, "番組表 TV", true},
        {"cut before a character that does not fit", u"番組表", 6, "番組", false},
        {"no room but the zero", u"番", 1, "", false},
        {"Windows' codes: wave dash as tilde, IBM ⅰ", u"〜ⅰ", 8, "\x81\x60\xFA\x40", true},
        {"beyond the BMP, Hangul and a lone surrogate", u"a😀b한\xD800", 16, "a〓b〓〓", false},
        {"half-width kana", u"ﾃﾚﾋﾞ", 8, "ﾃﾚﾋﾞ", true},
        {"the first zero ends the text", std::u16string(u"ab\0cd", 5), 8, "ab", true},
    };
    for (const Case& c : cases) {
        char out[32];
        std::memset(out, 'x', sizeof out);
        EXPECT_EQ(IconvCp932Codec().FromUtf16(c.Wide, out, c.Room), c.Whole) << c.Name;
        EXPECT_STREQ(out, c.Text) << c.Name;
        EXPECT_EQ(out[c.Room], 'x') << c.Name << ": written past the room";
    }
}
