#include "fetch/choices.h"
#include "xmltv/cp932_iconv.h"
#include "xmltv/xmltv_reader.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Documents are UTF-8; plain literals are code page 932 like the records.
std::string operator""_utf8(const char8_t* text, size_t length)
{
    return std::string(reinterpret_cast<const char*>(text), length);
}

std::string EucJp(std::string utf8)
{
    const iconv_t converter = iconv_open("EUC-JP-MS", "UTF-8");
    std::string euc(utf8.size() * 2, '\0');
    char *from = utf8.data(), *to = euc.data();
    size_t fromLeft = utf8.size(), toLeft = euc.size();
    EXPECT_NE(iconv(converter, &from, &fromLeft, &to, &toLeft), static_cast<size_t>(-1));
    iconv_close(converter);
    return euc.substr(0, euc.size() - toLeft);
}

// Evening of 10 March 2009, 19:00 to 25:00 Japan time.
XmltvRequest Evening(const char* genre = "全て", std::vector<std::string> channels = {})
{
    XmltvRequest request{{{2009, 3, 10}, 12, 0}, 0, 7, -1, std::move(channels)};
    for (int i = 0; i < GenreChoiceCount; ++i)
        if (std::strcmp(GenreChoices[i].Label, genre) == 0)
            request.GenreChoice = i;
    EXPECT_STREQ(TimeChoices[request.TimeChoice].Label, "19:00～25:00");
    return request;
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

// One line a record: station, date, times and title, then the other texts when there are any.
std::string Lines(const std::vector<TELOMI>& records)
{
    std::string lines;
    for (const TELOMI& r : records) {
        char line[3000];
        std::snprintf(line, sizeof line, "%s %d/%d %02d:%02d-%02d:%02d %s", r.Station, r.Month, r.Day, r.StartHour,
                      r.StartMinute, r.EndHour, r.EndMinute, r.Title);
        lines += line + (*r.Subtitle || *r.Performers || *r.Other
                             ? std::string("|") + r.Subtitle + "|" + r.Performers + "|" + r.Other
                             : std::string()) + "\n";
    }
    return lines;
}

struct Outcome { bool Complete; XmltvFault Fault; std::string Records; };

Outcome Read(const XmltvRequest& request, const std::string& document, size_t piece = 4096)
{
    XmltvReader reader(request, IconvCp932Encoder());
    bool fed = true;
    for (size_t at = 0; at < document.size() && fed; at += piece)
        fed = reader.Feed(document.data() + at, std::min(piece, document.size() - at));
    const bool complete = reader.Finish();
    EXPECT_TRUE(fed || !complete);
    return {complete, reader.Fault(), Lines(reader.Records())};
}

}  // namespace

TEST(XmltvReader, TakesTheChosenProgrammes)
{
    struct Case { const char* Name; XmltvRequest Request; std::string Body; const char* Records; } cases[] = {
        {"window edges; after midnight the next day's date, also when given in UTC", Evening(),
         Channel("a", u8"Ａ局"_utf8) + Programme("a", "1800", "1900", Title("ends at the start")) +
             Programme("a", "1830", "1930", Title("runs into it")) + Programme("a", "1900", "1900", Title("no length")) +
             "<programme channel=\"a\" start=\"20090310153000\" stop=\"200903110045 +0900\">" + Title("late") +
             "</programme>" + Programme("a", "200903110100", "200903110200", Title("starts at the end")),
         "Ａ局 3/10 18:30-19:30 runs into it\nＡ局 3/10 19:00-19:00 no length\nＡ局 3/11 00:30-00:45 late\n"},
        {"a missing or backward stop ends at the channel's next start, however shuffled", Evening(),
         Channel("a", u8"Ａ局"_utf8) + Programme("a", "200903110300", "", Title("later")) +
             Programme("a", "2100", "", Title("last")) + Programme("a", "1800", "", Title("before")) +
             Programme("a", "200903110200", "", Title("after")) + Programme("a", "2000", "1900", Title("backward")) +
             Programme("a", "1700", "", Title("ended before")) + Programme("a", "junk", "", Title("no start")),
         "Ａ局 3/10 18:00-20:00 before\nＡ局 3/10 20:00-21:00 backward\nＡ局 3/10 21:00-02:00 last\n"},
        {"declared channels in order, then the undeclared by id; the first of a start wins", Evening(),
         Channel("b", u8"Ｂ"_utf8) + Programme("a", "2000", "2100", Title("A1")) + Channel("a", u8"Ａ"_utf8) +
             Programme("b", "1900", "2000", Title("B1")) + Programme("x.jp", "1930", "2000", Title("X")) +
             Programme("a", "1900", "2000", Title("A0")) + Programme("a", "2000", "2030", Title("again")),
         "Ｂ 3/10 19:00-20:00 B1\nＡ 3/10 19:00-20:00 A0\nＡ 3/10 20:00-21:00 A1\nx.jp 3/10 19:30-20:00 X\n"},
        {"chosen channels only, in the chosen order", Evening("全て", {"c", "a", "gone"}),
         Channel("a", u8"Ａ"_utf8) + Channel("b", u8"Ｂ"_utf8) + Channel("c", u8"Ｃ"_utf8) + Programme("a", "1900", "2000", Title("A")) +
             Programme("b", "1900", "2000", Title("B")) + Programme("c", "1900", "2000", Title("C")),
         "Ｃ 3/10 19:00-20:00 C\nＡ 3/10 19:00-20:00 A\n"},
        {"a genre takes its categories; the others still end the one before", Evening("映画"),
         Channel("a", u8"Ａ"_utf8) + Programme("a", "1900", "", Title("M1") + "<category lang=\"en\">Movie</category>") +
             Programme("a", "2000", "2100", Title("N") + "<category>News</category>") +
             Programme("a", "2100", "2200", Title("M2") + "<category>Drama</category><category lang=\"ja\">"  + u8"映画"_utf8 + "</category>") +
             Programme("a", "2200", "2300", Title("U") + "<category>Cookery</category>"),
         "Ａ 3/10 19:00-20:00 M1\nＡ 3/10 21:00-22:00 M2\n"},
        {"Japanese texts preferred, else the first; credits under headings", Evening(),
         Channel("a", u8"Ａ"_utf8) +
             Programme("a", "1900", "2000",
                       u8"<title lang=\"en\">Evening news</title><title lang=\"ja\">夜のニュース</title>"
                       u8"<sub-title lang=\"ja-JP\">第一部</sub-title><sub-title lang=\"en\">Part 1</sub-title>"
                       u8"<desc>一行目\n二行目</desc><desc lang=\"en\">Lines</desc><credits><actor>佐藤花子</actor>"
                       u8"<director>山田太郎</director><actor> 鈴木一郎 </actor><guest> </guest>"
                       u8"<presenter>Ａ</presenter></credits>"_utf8),
         "Ａ 3/10 19:00-20:00 夜のニュース|第一部|監督／山田太郎出演／佐藤花子・鈴木一郎司会／Ａ|一行目\n二行目\n"},
    };
    for (const Case& c : cases) {
        const Outcome whole = Read(c.Request, Document(c.Body));
        EXPECT_TRUE(whole.Complete) << c.Name << ": " << whole.Fault.Detail;
        EXPECT_EQ(whole.Records, c.Records) << c.Name;
        EXPECT_EQ(Read(c.Request, Document(c.Body), 1).Records, c.Records) << c.Name << ", fed a byte at a time";
    }
}

TEST(XmltvReader, FaultyAndHostileDocuments)
{
    const std::string two = Channel("a", u8"Ａ"_utf8) + Programme("a", "1900", "2000", Title("one")) +
                            Programme("a", "2000", "2100", Title("two"));
    const std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE tv [<!ENTITY a \"aaaaaaaaaaaaaaaa\">"
                             "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                             "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                             "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
                             "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
                             "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">]><tv>" +
                             Programme("a", "1900", "2000", "<title>&f;</title>") + "</tv>";
    std::string deep = "<tv>";
    for (int i = 0; i < 1000000; ++i)
        deep += "<a>";
    const std::string huge = Document(Channel("a", u8"Ａ"_utf8) + Programme("a", "1900", "2000", "<title>" +
                                                                      std::string(50 << 20, 'x') + "</title>"));
    std::string shiftJis = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><tv>" +
                           Programme("a", "1900", "2000", Title("日本の天気・ﾃﾚﾋﾞ①")) + "</tv>";
    struct Case {
        const char* Name;
        std::string Document;
        XmltvFaultKind Kind;
        unsigned long Line;
        const char* Records;
    } cases[] = {
        {"cut short: what was read is kept", Document(two).substr(0, Document(two).size() - 40),
         XmltvFaultKind::BrokenOff, 6, "Ａ 3/10 19:00-20:00 one\n"},
        {"a syntax error after good programmes", Document(two + "<programme></tv>"), XmltvFaultKind::Syntax, 7,
         "Ａ 3/10 19:00-20:00 one\nＡ 3/10 20:00-21:00 two\n"},
        {"plain text", "Not Found\r\n", XmltvFaultKind::NotXml, 1, ""},
        {"a web page", "<html><body><p>Not Found</p></body></html>", XmltvFaultKind::NotXml, 1, ""},
        {"nothing at all", "", XmltvFaultKind::NotXml, 1, ""},
        {"an encoding we cannot read", "<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?><tv></tv>",
         XmltvFaultKind::Encoding, 1, ""},
        {"Shift_JIS in code page 932", shiftJis, XmltvFaultKind::None, 0, "a 3/10 19:00-20:00 日本の天気・ﾃﾚﾋﾞ①\n"},
        {"EUC-JP through the same table",
         EucJp(u8"<?xml version=\"1.0\" encoding=\"EUC-JP\"?><tv>"_utf8 +
               Programme("a", "1900", "2000", Title(u8"日本の天気・ﾃﾚﾋﾞ①"_utf8)) + "</tv>"),
         XmltvFaultKind::None, 0, "a 3/10 19:00-20:00 日本の天気・ﾃﾚﾋﾞ①\n"},
        {"an external entity is never read",
         "<!DOCTYPE tv [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><tv>" +
             Programme("a", "1900", "2000", "<title>[&x;]</title>") + "</tv>",
         XmltvFaultKind::None, 0, "a 3/10 19:00-20:00 []\n"},
        {"an entity bomb", bomb, XmltvFaultKind::TooLarge, 1, ""},
        {"a million nested elements", deep, XmltvFaultKind::TooLarge, 1, ""},
        {"a huge attribute", "<tv><programme start=\"" + std::string(3 << 20, '1'), XmltvFaultKind::TooLarge, 1, ""},
        {"a 50 MB title is cut to the field", huge, XmltvFaultKind::None, 0, nullptr},
    };
    for (const Case& c : cases) {
        const Outcome got = Read(Evening(), c.Document, 65536);
        EXPECT_EQ(got.Complete, c.Kind == XmltvFaultKind::None) << c.Name;
        EXPECT_EQ(got.Fault.Kind, c.Kind) << c.Name << ": " << got.Fault.Detail;
        EXPECT_EQ(got.Fault.Line, c.Line) << c.Name;
        EXPECT_EQ(got.Records, c.Records ? c.Records : "Ａ 3/10 19:00-20:00 " + std::string(254, 'x') + "\n")
            << c.Name;
    }
    XmltvRequest outside = Evening();
    outside.GenreChoice = GenreChoiceCount;
    EXPECT_EQ(Read(outside, Document(two)).Fault.Kind, XmltvFaultKind::BadChoice);
}
