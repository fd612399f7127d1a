#include "fetch/choices.h"
#include "xmltv/cp932_iconv.h"
#include "xmltv/xmltv_genre.h"
#include "xmltv/xmltv_time.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string JapanText(int64_t seconds)
{
    const JapanTime t = ToJapanTime(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.Date.Year, t.Date.Month, t.Date.Day, t.Hour,
                  t.Minute);
    return text;
}

}  // namespace

TEST(XmltvTime, ReadsAsJapanTime)
{
    struct Case { const char* Name; const char* Text; const char* Japan; } cases[] = {
        {"Japan offset", "20090310190000 +0900", "2009-03-10 19:00"},
        {"no seconds", "200903101900 +0900", "2009-03-10 19:00"},
        {"no space before the offset", "20090310190000+0900", "2009-03-10 19:00"},
        {"seconds dropped, not rounded", "20090310185959 +0900", "2009-03-10 18:59"},
        {"no offset is UTC", "20090310100000", "2009-03-10 19:00"},
        {"UTC evening is the next Japan day", "20090310153000 +0000", "2009-03-11 00:30"},
        {"negative offset", "20090310190000 -0500", "2009-03-11 09:00"},
        {"end of February", "20090228150000 +0000", "2009-03-01 00:00"},
        {"end of year", "20281231150000 +0000", "2029-01-01 00:00"},
        {"into a leap day", "20280228150000 +0000", "2028-02-29 00:00"},
        {"no leap day in 2027", "20270229120000 +0900", "malformed"},
        {"month 13", "20091310190000 +0900", "malformed"},
        {"hour 24", "20090310240000 +0900", "malformed"},
        {"short offset", "20090310190000 +09", "malformed"},
        {"ISO punctuation", "2009-03-10T19:00", "malformed"},
    };
    for (const Case& c : cases) {
        int64_t seconds = 0;
        EXPECT_EQ(ParseXmltvTime(c.Text, seconds) ? JapanText(seconds) : "malformed", c.Japan) << c.Name;
    }
}

TEST(XmltvTime, BroadcastWindowOfTheChoices)
{
    auto time = [](const char* label) {
        for (int i = 0; i < TimeChoiceCount; ++i)
            if (std::strcmp(TimeChoices[i].Label, label) == 0)
                return i;
        return -1;
    };
    struct Case { const char* Name; LocalClock Now; int Days; int Time; const char* Window; } cases[] = {
        {"today evening", {{2009, 3, 10}, 12, 0}, 0, time("19:00～25:00"), "2009-03-10 19:00 2009-03-11 01:00"},
        {"00:30 keeps its day", {{2009, 3, 10}, 0, 30}, 0, time("19:00～25:00"), "2009-03-10 19:00 2009-03-11 01:00"},
        {"03:00 is the day before", {{2009, 3, 10}, 3, 0}, 0, time("19:00～25:00"), "2009-03-09 19:00 2009-03-10 01:00"},
        {"05:00 is a new day", {{2009, 3, 10}, 5, 0}, 0, time("19:00～25:00"), "2009-03-10 19:00 2009-03-11 01:00"},
        {"25:00 is the next morning", {{2009, 3, 10}, 12, 0}, 1, time("25:00～31:00"), "2009-03-12 01:00 2009-03-12 07:00"},
        {"02:00 on the 1st", {{2009, 3, 1}, 2, 0}, 0, time("05:00～11:00"), "2009-02-28 05:00 2009-02-28 11:00"},
        {"a week over the year end", {{2008, 12, 31}, 3, 0}, 7, time("29:00～35:00"), "2009-01-07 05:00 2009-01-07 11:00"},
        {"time outside the table", {{2009, 3, 10}, 12, 0}, 0, TimeChoiceCount, "none"},
    };
    for (const Case& c : cases) {
        ListingWindow w{};
        const bool ok = BroadcastWindow(c.Now, c.Days, c.Time, w);
        EXPECT_EQ(ok ? JapanText(w.Start) + " " + JapanText(w.End) : "none", c.Window) << c.Name;
    }
}

TEST(XmltvGenre, CategoriesToShownGenres)
{
    struct Case { const char* Name; const char* Category; const char* Genre; } cases[] = {
        {"recorder's large genre", "ニュース／報道", "ニュース・報道"},
        {"recorder's documentary", "ドキュメンタリー／教養", "ﾄﾞｷｭﾒﾝﾀﾘｰ・教養"},
        {"recorder's anime", "アニメ／特撮", "アニメ・特撮"},
        {"our own label", "趣味・実用", "趣味・実用"},
        {"English in any case, trimmed", "  mOVIE \n", "映画"},
        {"British spelling", "Theatre", "演劇"},
        {"'all' is no category", "全て", "none"},
        {"unknown", "Cookery", "none"},
    };
    for (const Case& c : cases) {
        const int position = XmltvGenrePosition(c.Category);
        EXPECT_STREQ(position >= 0 ? GenreChoices[position].Label : "none", c.Genre) << c.Name;
    }
}

TEST(XmltvCp932, CodesWindowsWrites)
{
    struct Case { const char* Name; char32_t Char; unsigned Code; } cases[] = {
        {"half-width katakana", U'ｱ', 0xB1},
        {"kanji", U'日', 0x93FA},
        {"IBM extension over its NEC-selected copy", U'ⅰ', 0xFA40},
        {"JIS code over NEC row 13 and IBM", U'∵', 0x81E6},
        {"NEC row 13 over IBM", U'Ⅰ', 0x8754},
        {"JIS wave dash as Windows' tilde", U'〜', 0x8160},
        {"Hangul has none", U'한', 0},
        {"beyond the BMP has none", U'😀', 0},
    };
    const Cp932Encoder& encoder = IconvCp932Encoder();
    for (const Case& c : cases) {
        char bytes[2];
        const size_t count = encoder.Encode(c.Char, bytes);
        unsigned code = 0;
        for (size_t i = 0; i < count; ++i)
            code = code << 8 | static_cast<unsigned char>(bytes[i]);
        EXPECT_EQ(code, c.Code) << c.Name;
    }
}

TEST(XmltvCp932, TextFitsItsField)
{
    struct Case { const char* Name; const char8_t* Text; bool LineBreaks; size_t Size; const char* Field; } cases[] = {
        {"cut after a whole character", u8"ABC日本", false, 6, "ABC日"},
        {"never half a character", u8"ABC日本", false, 5, "ABC"},
        {"half-width kana are single bytes", u8"ﾃﾚﾋﾞ局", false, 6, "ﾃﾚﾋﾞ"},
        {"what has no code becomes a geta mark", u8"A😀B한", false, 255, "A〓B〓"},
        {"line breaks become spaces", u8"a\nb\tc", false, 255, "a b c"},
        {"line breaks kept in a description", u8"a\nb\tc", true, 255, "a\nb c"},
        {"C1 controls dropped", u8"a\u0085b", true, 255, "ab"},
        {"broken UTF-8 skipped", u8"a\xE6\x97z", false, 255, "az"},
    };
    for (const Case& c : cases) {
        char field[256];
        std::memset(field, 'x', sizeof field);
        FitCp932(IconvCp932Encoder().FromUtf8(reinterpret_cast<const char*>(c.Text), c.LineBreaks), field, c.Size);
        EXPECT_STREQ(field, c.Field) << c.Name;
        EXPECT_EQ(field[c.Size], 'x') << c.Name << ": written past the field";
    }
}
