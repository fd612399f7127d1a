#include "fetch/choices.h"
#include "listing/cp932_iconv.h"
#include "xmltv/xmltv_genre.h"
#include "xmltv/xmltv_reader.h"
#include "xmltv/xmltv_time.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

int PositionOf(const Choice* table, int count, const char* label); // in request_builder_test.cpp
std::string ToEuc(const std::string& cp932), R(const std::string& text, size_t count); // in detail_parser_test.cpp

namespace {

std::string JapanText(int64_t seconds)
{
    const JapanTime t = ToJapanTime(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.Date.Year, t.Date.Month, t.Date.Day, t.Hour, t.Minute);
    return text;
}

// Documents are UTF-8; plain literals are code page 932 like the records.
std::string operator""_utf8(const char8_t* text, size_t length) { return {reinterpret_cast<const char*>(text), length}; }

int EveningTime() { return PositionOf(TimeChoices, TimeChoiceCount, "19:00～25:00"); }

// Evening of 10 March 2009, 19:00 to 25:00 Japan time.
XmltvRequest Evening(const char* genre = "全て", std::vector<std::string> channels = {})
{
    return {{{2009, 3, 10}, 12, 0}, 0, EveningTime(), PositionOf(GenreChoices, GenreChoiceCount, genre), channels};
}

// Times are Japan time on 10 March 2009 unless they carry a date; "" leaves the stop out.
std::string Programme(const char* channel, const char* start, const char* stop, const std::string& inside)
{
    auto time = [](const std::string& t) { return (t.size() == 4 ? "20090310" + t : t) + "00 +0900"; };
    return std::string("<programme channel=\"") + channel + "\" start=\"" + time(start) + "\"" +
           (*stop ? " stop=\"" + time(stop) + "\"" : "") + ">" + inside + "</programme>\n";
}

std::string Title(const std::string& title) { return "<title>" + title + "</title>"; }

std::string Channel(const char* id, const std::string& name)
{
    return std::string("<channel id=\"") + id + "\"><display-name lang=\"ja\">" + name + "</display-name></channel>\n";
}
std::string Document(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE tv SYSTEM \"xmltv.dtd\">\n<tv>\n" + body + "</tv>\n";
}

struct Outcome { bool Complete; XmltvFault Fault; std::string Records; };

// One line a record: station, date, times and title, then the other texts when there are any.
Outcome Read(const XmltvRequest& request, const std::string& document, size_t piece)
{
    XmltvReader reader(request, IconvCp932Codec());
    bool fed = true;
    for (size_t at = 0; at < document.size() && fed; at += piece)
        fed = reader.Feed(document.data() + at, std::min(piece, document.size() - at));
    Outcome out{reader.Finish(), reader.Fault(), ""};
    EXPECT_TRUE(fed || !out.Complete);
    reader.ForEachRecord([&out](const TELOMI& r) {
        char line[3000];
        std::snprintf(line, sizeof line, "%s %d/%d %02d:%02d-%02d:%02d %s", r.Station, r.Month, r.Day, r.StartHour,
                      r.StartMinute, r.EndHour, r.EndMinute, r.Title);
        const bool more = *r.Subtitle || *r.Performers || *r.Other;
        out.Records += line + (more ? std::string("|") + r.Subtitle + "|" + r.Performers + "|" + r.Other : "") + "\n";
    });
    return out;
}

}  // namespace

TEST(XmltvTime, ReadsAsJapanTime)
{
    struct Case { const char* Name; const char* Text; const char* Japan; } cases[] = {
        {"Japan offset", "20090310190000 +0900", "2009-03-10 19:00"},
        {"no seconds", "200903101900 +0900", "2009-03-10 19:00"},
        {"seconds dropped, not rounded", "20090310185959 +0900", "2009-03-10 18:59"},
        {"no offset is UTC", "20090310100000", "2009-03-10 19:00"},
        {"UTC evening is the next Japan day", "20090310153000 +0000", "2009-03-11 00:30"},
        {"negative offset", "20090310190000 -0500", "2009-03-11 09:00"},
        {"end of February", "20090228150000 +0000", "2009-03-01 00:00"},
        {"end of year", "20281231150000 +0000", "2029-01-01 00:00"},
        {"into a leap day", "20280228150000 +0000", "2028-02-29 00:00"},
        {"no leap day in 2027", "20270229120000 +0900", "malformed"}, {"month 13", "20091310190000 +0900", "malformed"},
        {"hour 24", "20090310240000 +0900", "malformed"},         {"ISO punctuation", "2009-03-10T19:00", "malformed"},
    };
    for (const Case& c : cases) {
        int64_t seconds = 0;
        EXPECT_EQ(ParseXmltvTime(c.Text, seconds) ? JapanText(seconds) : "malformed", c.Japan) << c.Name;
    }
}

TEST(XmltvTime, BroadcastWindowOfTheChoices)
{
    auto time = [](const char* label) { return PositionOf(TimeChoices, TimeChoiceCount, label); };
    struct Case { const char* Name; LocalClock Now; int Days; int Time; const char* Window; } cases[] = {
        {"00:30 keeps its day", {{2009, 3, 10}, 0, 30}, 0, EveningTime(), "2009-03-10 19:00 2009-03-11 01:00"},
        {"03:00 is the day before", {{2009, 3, 10}, 3, 0}, 0, EveningTime(), "2009-03-09 19:00 2009-03-10 01:00"},
        {"05:00 is a new day", {{2009, 3, 10}, 5, 0}, 0, EveningTime(), "2009-03-10 19:00 2009-03-11 01:00"},
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
        {"our own label", "趣味・実用", "趣味・実用"},
        {"English in any case, trimmed", "  mOVIE \n", "映画"},
        {"'all' is no category", "全て", "none"}, {"unknown", "Cookery", "none"},
    };
    for (const Case& c : cases) {
        const int position = XmltvGenrePosition(c.Category);
        EXPECT_STREQ(position >= 0 ? GenreChoices[position].Label : "none", c.Genre) << c.Name;
    }
}

TEST(XmltvCp932, TextFitsItsField)
{
    struct Case { const char* Name; const char8_t* Text; bool LineBreaks; size_t Size; const char* Field; } cases[] = {
        {"cut after a whole character", u8"ABC日本", false, 6, "ABC日"},
        {"never half a character", u8"ABC日本", false, 5, "ABC"},
        {"half-width kana are single bytes", u8"ﾃﾚﾋﾞ局", false, 6, "ﾃﾚﾋﾞ"},
        {"Windows' codes: IBM ⅰ, JIS ∵, NEC Ⅰ, wave dash as tilde", u8"ⅰ∵Ⅰ〜", false, 255,
         "\xFA\x40\x81\xE6\x87\x54\x81\x60"},
        {"Hangul and beyond the BMP become geta marks", u8"A😀B한", false, 255, "A〓B〓"},
        {"line breaks become spaces", u8"a\nb\tc", false, 255, "a b c"},
        {"line breaks kept in a description", u8"a\nb\tc", true, 255, "a\nb c"},
        {"C1 controls dropped", u8"a\u0085b", true, 255, "ab"}, {"broken UTF-8 skipped", u8"a\xE6\x97z", false, 255, "az"},
    };
    for (const Case& c : cases) {
        char field[256];
        std::memset(field, 'x', sizeof field);
        FitCp932(IconvCp932Codec().FromUtf8(reinterpret_cast<const char*>(c.Text), c.LineBreaks), field, c.Size);
        EXPECT_STREQ(field, c.Field) << c.Name;
        EXPECT_EQ(field[c.Size], 'x') << c.Name << ": written past the field";
    }
}

TEST(XmltvReader, TakesTheChosenProgrammesAndKeepsThemOnAFault)
{
    const std::string two = Channel("a", u8"Ａ"_utf8) + Programme("a", "1900", "2000", Title("one")) +
                            Programme("a", "2000", "2100", Title("two"));
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE tv [<!ENTITY a \"aaaaaaaaaaaaaaaa\">";
    for (char e = 'b'; e <= 'f'; ++e) // each sixteen of the one before
        bomb += "<!ENTITY " + std::string(1, e) + " \"" + R("&" + std::string(1, e - 1) + ";", 16) + "\">";
    bomb += "]><tv>" + Programme("a", "1900", "2000", "<title>&f;</title>") + "</tv>";
    const std::string jis = Programme("a", "1900", "2000", Title("日本の天気・ﾃﾚﾋﾞ①")) + "</tv>";
    using enum XmltvFaultKind;
    struct Case { const char* Name; XmltvRequest Request; std::string Document; XmltvFaultKind Kind; unsigned long Line;
                  std::string Records; } cases[] = {
        {"window edges; after midnight the next day's date, also when given in UTC", Evening(), Document(
         Channel("a", u8"Ａ局"_utf8) + Programme("a", "1800", "1900", Title("ends at the start")) +
             Programme("a", "1830", "1930", Title("runs into it")) + Programme("a", "1900", "1900", Title("no length")) +
             "<programme channel=\"a\" start=\"20090310153000\" stop=\"200903110045 +0900\">" + Title("late") +
             "</programme>" + Programme("a", "200903110100", "200903110200", Title("starts at the end"))),
         None, 0, "Ａ局 3/10 18:30-19:30 runs into it\nＡ局 3/10 19:00-19:00 no length\nＡ局 3/11 00:30-00:45 late\n"},
        {"a missing or backward stop ends at the channel's next start, however shuffled", Evening(), Document(
         Channel("a", u8"Ａ局"_utf8) + Programme("a", "200903110300", "", Title("later")) +
             Programme("a", "2100", "", Title("last")) + Programme("a", "1800", "", Title("before")) +
             Programme("a", "200903110200", "", Title("after")) + Programme("a", "2000", "1900", Title("backward")) +
             Programme("a", "1700", "", Title("ended before")) + Programme("a", "junk", "", Title("no start"))),
         None, 0, "Ａ局 3/10 18:00-20:00 before\nＡ局 3/10 20:00-21:00 backward\nＡ局 3/10 21:00-02:00 last\n"},
        {"declared channels in order, then the undeclared by id; the first of a start wins", Evening(), Document(
         Channel("b", u8"Ｂ"_utf8) + Programme("a", "2000", "2100", Title("A1")) + Channel("a", u8"Ａ"_utf8) +
             Programme("b", "1900", "2000", Title("B1")) + Programme("x.jp", "1930", "2000", Title("X")) +
             Programme("a", "1900", "2000", Title("A0")) + Programme("a", "2000", "2030", Title("again"))),
         None, 0, "Ｂ 3/10 19:00-20:00 B1\nＡ 3/10 19:00-20:00 A0\nＡ 3/10 20:00-21:00 A1\nx.jp 3/10 19:30-20:00 X\n"},
        {"chosen channels only, in the chosen order", Evening("全て", {"c", "a", "gone"}), Document(
         Channel("a", u8"Ａ"_utf8) + Channel("b", u8"Ｂ"_utf8) + Channel("c", u8"Ｃ"_utf8) + Programme("a", "1900", "2000", Title("A")) +
             Programme("b", "1900", "2000", Title("B")) + Programme("c", "1900", "2000", Title("C"))),
         None, 0, "Ｃ 3/10 19:00-20:00 C\nＡ 3/10 19:00-20:00 A\n"},
        {"a genre takes its categories; the others still end the one before", Evening("映画"), Document(
         Channel("a", u8"Ａ"_utf8) + Programme("a", "1900", "", Title("M1") + "<category lang=\"en\">Movie</category>") +
             Programme("a", "2000", "2100", Title("N") + "<category>News</category>") +
             Programme("a", "2100", "2200", Title("M2") + "<category>Drama</category><category lang=\"ja\">"  + u8"映画"_utf8 + "</category>") +
             Programme("a", "2200", "2300", Title("U") + "<category>Cookery</category>")),
         None, 0, "Ａ 3/10 19:00-20:00 M1\nＡ 3/10 21:00-22:00 M2\n"},
        {"Japanese texts preferred, else the first; credits under headings", Evening(), Document(
         Channel("a", u8"Ａ"_utf8) +
             Programme("a", "1900", "2000",
                       u8"<title lang=\"en\">Evening news</title><title lang=\"ja\">夜のニュース</title>"
                       u8"<sub-title lang=\"ja-JP\">第一部</sub-title><sub-title lang=\"en\">Part 1</sub-title>"
                       u8"<desc>一行目\n二行目</desc><desc lang=\"en\">Lines</desc><credits><actor>佐藤花子</actor>"
                       u8"<director>山田太郎</director><actor> 鈴木一郎 </actor><guest> </guest>"
                       u8"<presenter>Ａ</presenter></credits>"_utf8)),
         None, 0, "Ａ 3/10 19:00-20:00 夜のニュース|第一部|監督／山田太郎出演／佐藤花子・鈴木一郎司会／Ａ|一行目\n二行目\n"},
        {"cut short: what was read is kept", Evening(), Document(two).substr(0, Document(two).size() - 40),
         BrokenOff, 6, "Ａ 3/10 19:00-20:00 one\n"},
        {"a syntax error after good programmes", Evening(), Document(two + "<programme></tv>"), Syntax, 7,
         "Ａ 3/10 19:00-20:00 one\nＡ 3/10 20:00-21:00 two\n"},
        {"plain text", Evening(), "Not Found\r\n", NotXml, 1, ""},
        {"nothing at all", Evening(), "", NotXml, 1, ""},
        {"Shift_JIS in code page 932", Evening(), "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><tv>" + jis,
         None, 0, "a 3/10 19:00-20:00 日本の天気・ﾃﾚﾋﾞ①\n"},
        {"EUC-JP through the same table", Evening(), ToEuc("<?xml version=\"1.0\" encoding=\"EUC-JP\"?><tv>" + jis),
         None, 0, "a 3/10 19:00-20:00 日本の天気・ﾃﾚﾋﾞ①\n"},
        {"an external entity is never read", Evening(),
         "<!DOCTYPE tv [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><tv>" +
             Programme("a", "1900", "2000", "<title>[&x;]</title>") + "</tv>",
         None, 0, "a 3/10 19:00-20:00 []\n"},
        {"an entity bomb", Evening(), bomb, TooLarge, 1, ""},
        {"a million nested elements", Evening(), "<tv>" + R("<a>", 1000000), TooLarge, 1, ""},
        {"a choice outside its table", {{{2009, 3, 10}, 12, 0}, 0, 0, GenreChoiceCount, {}}, Document(two), BadChoice, 0, ""},
    };
    for (const Case& c : cases) // fed whole, and a byte at a time where that is quick
        for (size_t piece = 1 << 16; piece > 0; piece = c.Document.size() < 100000 && piece > 1 ? 1 : 0) {
            const Outcome got = Read(c.Request, c.Document, piece);
            SCOPED_TRACE(std::string(c.Name) + ", in pieces of " + std::to_string(piece) + ": " + got.Fault.Detail);
            EXPECT_EQ(got.Complete, c.Kind == None);
            EXPECT_EQ(std::make_pair(got.Fault.Kind, got.Fault.Line), std::make_pair(c.Kind, c.Line));
            EXPECT_EQ(got.Records, c.Records);
        }
}
