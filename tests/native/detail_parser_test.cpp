#include "listing/detail_parser.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Pages are written here in UTF-8 and sent through iconv to EUC-JP, the form
// in which the site serves them; expected texts are plain literals, which the
// build turns into code page 932 like the parser's output.
std::string ToEuc(std::u8string_view text)
{
    iconv_t handle = iconv_open("EUC-JP", "UTF-8");
    if (handle == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "iconv cannot convert UTF-8 to EUC-JP";
        return "";
    }
    std::string out(text.size() * 2 + 8, '\0');
    char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
    size_t inLeft = text.size();
    char* to = out.data();
    size_t outLeft = out.size();
    const size_t result = iconv(handle, &in, &inLeft, &to, &outLeft);
    iconv_close(handle);
    EXPECT_NE(result, static_cast<size_t>(-1)) << "test page has no EUC-JP form";
    out.resize(out.size() - outLeft);
    return out;
}

std::u8string Repeat(std::u8string_view text, size_t count)
{
    std::u8string result;
    for (size_t i = 0; i < count; ++i)
        result += text;
    return result;
}

std::string Repeat(std::string_view text, size_t count)
{
    std::string result;
    for (size_t i = 0; i < count; ++i)
        result += text;
    return result;
}

std::u8string Number(int value)
{
    const std::string digits = std::to_string(value);
    return std::u8string(digits.begin(), digits.end());
}

std::u8string Link(int id, std::u8string_view name)
{
    return u8"<A href=\"/program/listPerformer.php?id=" + Number(id) + u8"\">" + std::u8string(name) + u8"</A>";
}

// Non-ASCII bytes as \xNN, so a failing comparison can be read.
std::string Shown(std::string_view text)
{
    std::string shown;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            shown += static_cast<char>(c);
        } else {
            char part[8];
            std::snprintf(part, sizeof part, "\\x%02X", c);
            shown += part;
        }
    }
    return shown;
}

constexpr char DetailPathMark[] = "/genre/detail.php3?id=1";

TELOMI FreshRecord()
{
    TELOMI record{};
    std::strcpy(record.DetailPath, DetailPathMark);
    record.Box = {1, 2, 3, 4};
    return record;
}

// Parses a copy held in a buffer of exactly its length plus the zero, so
// AddressSanitizer sees any step outside the page.
bool ParseExact(const std::string& euc, TELOMI& record)
{
    std::unique_ptr<char[]> page(new char[euc.size() + 1]);
    std::memcpy(page.get(), euc.data(), euc.size());
    page[euc.size()] = 0;
    return ParseDetailPage(page.get(), record);
}

// The hand-made sample page, piece by piece; each case changes a piece.
struct Page {
    std::u8string Head = u8"<HTML><BODY>\n";
    std::u8string TitleCell = u8"<TABLE><TR><TD class=\"gtitle\">\n[字]<BR>ニュース　特集\t</TD></TR></TABLE>\n";
    std::u8string DateTable = u8"<TABLE cellSpacing=\"1\" cellPadding=\"0\" border=\"0\" width=\"590\">\n"
                              u8"<TR><TD class=\"genre\">12/24(水)";
    std::u8string Times = u8"　後09:00 &gt;&gt; 後09:54";
    std::u8string Station = u8" 　ＮＨＫ総合 /東京";
    std::u8string Description = u8"<BR>今日の出来事を伝えます。\n</TD></TR></TABLE>\n";
    std::u8string Performers = u8"<TABLE><TR>\n<TD class=\"genre\">\n出演／" + Link(1, u8"山田太郎") + u8"、" +
                               Link(2, u8"鈴木花子") + u8"<BR>\n司会／" + Link(3, u8"佐藤一郎") + u8"、" +
                               Link(4, u8"高橋次郎") + u8"\n</TD></TR></TABLE>\n";
    std::u8string Info = u8"<!--info2 from  here-->\n<TABLE><TR>\n<TD class=\"genre\">\n詳しい情報です。\n</TD></TR></TABLE>\n";
    std::u8string Tail = u8"</BODY></HTML>\n";

    std::string Euc() const
    {
        return ToEuc(Head + TitleCell + DateTable + Times + Station + Description + Performers + Info + Tail);
    }
};

std::u8string DateTableWith(std::u8string_view date)
{
    return u8"<TABLE cellSpacing=\"1\" cellPadding=\"0\" border=\"0\" width=\"590\">\n<TR><TD class=\"genre\">" +
           std::u8string(date);
}

std::u8string PerformerCell(std::u8string_view content)
{
    return u8"<TABLE><TR>\n<TD class=\"genre\">\n" + std::u8string(content) + u8"\n</TD></TR></TABLE>\n";
}

struct Fields {
    std::string Station = "ＮＨＫ総合";
    int Month = 12;
    int Day = 24;
    int StartHour = 21;
    int StartMinute = 0;
    int EndHour = 21;
    int EndMinute = 54;
    std::string Title = "ニュース";
    std::string Subtitle = "特集";
    std::string Performers = "出演／山田太郎・鈴木花子司会／佐藤一郎・高橋次郎";
    std::string Other = "今日の出来事を伝えます。\r\n詳しい情報です。";
};

void ExpectFields(const TELOMI& record, const Fields& expected, const std::string& name)
{
    EXPECT_EQ(Shown(record.Station), Shown(expected.Station)) << name;
    EXPECT_EQ(record.Month, expected.Month) << name;
    EXPECT_EQ(record.Day, expected.Day) << name;
    EXPECT_EQ(record.StartHour, expected.StartHour) << name;
    EXPECT_EQ(record.StartMinute, expected.StartMinute) << name;
    EXPECT_EQ(record.EndHour, expected.EndHour) << name;
    EXPECT_EQ(record.EndMinute, expected.EndMinute) << name;
    EXPECT_EQ(Shown(record.Title), Shown(expected.Title)) << name;
    EXPECT_EQ(Shown(record.Subtitle), Shown(expected.Subtitle)) << name;
    EXPECT_EQ(Shown(record.Performers), Shown(expected.Performers)) << name;
    EXPECT_EQ(Shown(record.Other), Shown(expected.Other)) << name;
    EXPECT_STREQ(record.DetailPath, DetailPathMark) << name << ": the path must stay untouched";
    EXPECT_EQ(record.Box.Left + record.Box.Top + record.Box.Right + record.Box.Bottom, 10) << name;
}

struct Case {
    const char* Name;
    void (*Change)(Page&);
    void (*Expect)(Fields&);
};

void RunCases(const Case* begin, const Case* end)
{
    for (const Case* c = begin; c != end; ++c) {
        Page page;
        c->Change(page);
        Fields expected;
        c->Expect(expected);
        TELOMI record = FreshRecord();
        EXPECT_TRUE(ParseExact(page.Euc(), record)) << c->Name;
        ExpectFields(record, expected, c->Name);
    }
}

void Same(Page&) {}
void Same(Fields&) {}

} // namespace

TEST(DetailParser, TitleAndSubtitle)
{
    const Case cases[] = {
        {"the sample page", Same, Same},
        {"without <BR> the title is the cell text from its second byte",
         [](Page& p) { p.TitleCell = u8"<TD class=\"gtitle\">[字]ニュース　特集\t</TD>\n"; },
         [](Fields& f) { f.Title = "字]ニュース"; }},
        {"a one-byte subtitle is dropped, the title kept",
         [](Page& p) { p.TitleCell = u8"<TD class=\"gtitle\">\n<BR>ニュース　A\t</TD>\n"; },
         [](Fields& f) { f.Subtitle = ""; }},
        {"a two-byte subtitle is kept",
         [](Page& p) { p.TitleCell = u8"<TD class=\"gtitle\">\n<BR>ニュース　AB\t</TD>\n"; },
         [](Fields& f) { f.Subtitle = "AB"; }},
        {"a TAB right after the ideographic space belongs to the subtitle",
         [](Page& p) { p.TitleCell = u8"<TD class=\"gtitle\">\n<BR>ニュース　\t特集\t</TD>\n"; },
         [](Fields& f) { f.Subtitle = "\t特集"; }},
        {"a title of 254 bytes is kept",
         [](Page& p) { p.TitleCell = u8"<TD class=\"gtitle\">\n<BR>" + Repeat(u8"あ", 127) + u8"　特集\t</TD>\n"; },
         [](Fields& f) { f.Title = Repeat("あ", 127); }},
        {"a title of 255 bytes is dropped, the subtitle kept",
         [](Page& p) { p.TitleCell = u8"<TD class=\"gtitle\">\n<BR>" + Repeat(u8"あ", 127) + u8"A　特集\t</TD>\n"; },
         [](Fields& f) { f.Title = ""; }},
        {"a subtitle of 253 bytes is kept",
         [](Page& p) { p.TitleCell = u8"<TD class=\"gtitle\">\n<BR>ニュース　" + Repeat(u8"あ", 126) + u8"A\t</TD>\n"; },
         [](Fields& f) { f.Subtitle = Repeat("あ", 126) + "A"; }},
        {"a subtitle of 254 bytes is dropped",
         [](Page& p) { p.TitleCell = u8"<TD class=\"gtitle\">\n<BR>ニュース　" + Repeat(u8"あ", 127) + u8"\t</TD>\n"; },
         [](Fields& f) { f.Subtitle = ""; }},
        {"half-width katakana in the title and subtitle",
         [](Page& p) { p.TitleCell = u8"<TD class=\"gtitle\">\n<BR>ﾆｭｰｽ　ｽﾍﾟｼｬﾙ\t</TD>\n"; },
         [](Fields& f) {
             f.Title = "ﾆｭｰｽ";
             f.Subtitle = "ｽﾍﾟｼｬﾙ";
         }},
        {"no ideographic space anywhere after the title marker: no title, the rest still parsed",
         [](Page& p) {
             p.TitleCell = u8"<TD class=\"gtitle\">\n<BR>ニュース 特集\t</TD>\n";
             p.Times = u8" 後09:00 &gt;&gt; 後09:54";
             p.Station = u8" ＮＨＫ総合 /東京";
         },
         [](Fields& f) {
             f.Title = f.Subtitle = f.Station = "";
             f.StartHour = f.StartMinute = 0;
         }},
        {"a subtitle without a TAB runs to the page's end",
         [](Page& p) {
             p.TitleCell = u8"<TD class=\"gtitle\">\n<BR>ニュース　特集";
             p.DateTable = p.Times = p.Station = p.Description = p.Performers = p.Info = p.Tail = u8"";
         },
         [](Fields& f) {
             f = Fields{};
             f.Title = "ニュース";
             f.Subtitle = "特集";
             f.Station = f.Performers = "";
             f.Month = f.Day = f.StartHour = f.StartMinute = f.EndHour = f.EndMinute = 0;
             f.Other = "\r\n";
         }},
        {"the page ends right after the title marker",
         [](Page& p) {
             p.TitleCell = u8"<TD class=\"gtitle\">";
             p.DateTable = p.Times = p.Station = p.Description = p.Performers = p.Info = p.Tail = u8"";
         },
         [](Fields& f) {
             f = Fields{};
             f.Title = f.Subtitle = f.Station = f.Performers = "";
             f.Month = f.Day = f.StartHour = f.StartMinute = f.EndHour = f.EndMinute = 0;
             f.Other = "\r\n";
         }},
        {"the page ends right after the title's ideographic space",
         [](Page& p) {
             p.TitleCell = u8"<TD class=\"gtitle\">\n<BR>ニュース　";
             p.DateTable = p.Times = p.Station = p.Description = p.Performers = p.Info = p.Tail = u8"";
         },
         [](Fields& f) {
             f = Fields{};
             f.Subtitle = f.Station = f.Performers = "";
             f.Month = f.Day = f.StartHour = f.StartMinute = f.EndHour = f.EndMinute = 0;
             f.Other = "\r\n";
         }},
    };
    RunCases(std::begin(cases), std::end(cases));
}

TEST(DetailParser, DateTimesAndStation)
{
    const Case cases[] = {
        {"afternoon start and end add 12 hours", Same, Same},
        {"morning start and end",
         [](Page& p) { p.Times = u8"　前09:00 &gt;&gt; 前09:54"; },
         [](Fields& f) {
             f.StartHour = 9;
             f.EndHour = 9;
         }},
        {"after midnight on 31 December is 1 January",
         [](Page& p) {
             p.DateTable = DateTableWith(u8"12/31(水)");
             p.Times = u8"　深01:30 &gt;&gt; 深02:00";
         },
         [](Fields& f) {
             f.Month = 1;
             f.Day = 1;
             f.StartHour = 1;
             f.StartMinute = 30;
             f.EndHour = 2;
             f.EndMinute = 0;
         }},
        {"after midnight on 28 February is 1 March, whatever the year",
         [](Page& p) {
             p.DateTable = DateTableWith(u8"02/28(木)");
             p.Times = u8"　深01:30 &gt;&gt; 深02:00";
         },
         [](Fields& f) {
             f.Month = 3;
             f.Day = 1;
             f.StartHour = 1;
             f.StartMinute = 30;
             f.EndHour = 2;
             f.EndMinute = 0;
         }},
        {"after midnight on 30 April is 1 May",
         [](Page& p) {
             p.DateTable = DateTableWith(u8"04/30(月)");
             p.Times = u8"　深01:30 &gt;&gt; 深02:00";
         },
         [](Fields& f) {
             f.Month = 5;
             f.Day = 1;
             f.StartHour = 1;
             f.StartMinute = 30;
             f.EndHour = 2;
             f.EndMinute = 0;
         }},
        {"after midnight on 30 January stays in January",
         [](Page& p) {
             p.DateTable = DateTableWith(u8"01/30(月)");
             p.Times = u8"　深01:30 &gt;&gt; 深02:00";
         },
         [](Fields& f) {
             f.Month = 1;
             f.Day = 31;
             f.StartHour = 1;
             f.StartMinute = 30;
             f.EndHour = 2;
             f.EndMinute = 0;
         }},
        {"after midnight without a date only counts the day",
         [](Page& p) {
             p.DateTable = u8"<TABLE><TR><TD>";
             p.Times = u8"　深01:30 &gt;&gt; 深02:00";
         },
         [](Fields& f) {
             f.Month = 0;
             f.Day = 1;
             f.StartHour = 1;
             f.StartMinute = 30;
             f.EndHour = 2;
             f.EndMinute = 0;
         }},
        {"a missing date table gives no date, the times still read",
         [](Page& p) { p.DateTable = u8"<TABLE><TR><TD class=\"genre\">12/24(水)"; },
         [](Fields& f) { f.Month = f.Day = 0; }},
        {"a date table without its date cell gives no date, the times still read",
         [](Page& p) {
             p.DateTable = u8"<TABLE cellSpacing=\"1\" cellPadding=\"0\" border=\"0\" width=\"590\">\n"
                           u8"<TR><TD class=\"date\">12/24(水)";
         },
         [](Fields& f) { f.Month = f.Day = 0; }},
        {"negative numbers read as 0, a negative hour drops the afternoon",
         [](Page& p) {
             p.DateTable = DateTableWith(u8"-1/-2");
             p.Times = u8"　後-1:-5 &gt;&gt; 後-3:-4";
         },
         [](Fields& f) { f.Month = f.Day = f.StartHour = f.StartMinute = f.EndHour = f.EndMinute = 0; }},
        {"numbers read like strtol: a leading space, a stop at a non-digit",
         [](Page& p) { p.Times = u8"　後 9:5x &gt;&gt; 後1x: 7"; },
         [](Fields& f) {
             f.StartHour = 21;
             f.StartMinute = 5;
             f.EndHour = 13;
             f.EndMinute = 7;
         }},
        {"the page ends inside the date",
         [](Page& p) {
             p.DateTable = DateTableWith(u8"1");
             p.Times = p.Station = p.Description = p.Performers = p.Info = p.Tail = u8"";
         },
         [](Fields& f) {
             f.Month = 1;
             f.Day = f.StartHour = f.StartMinute = f.EndHour = f.EndMinute = 0;
             f.Station = f.Performers = "";
             f.Other = "\r\n";
         }},
        {"the page ends inside the end time's minutes",
         [](Page& p) {
             p.Times = u8"　後09:00 &gt;&gt; 後09:5";
             p.Station = p.Description = p.Performers = p.Info = p.Tail = u8"";
         },
         [](Fields& f) {
             f.EndMinute = 5;
             f.Station = f.Performers = "";
             f.Other = "\r\n";
         }},
        {"the page ends right after the end-time marker",
         [](Page& p) {
             p.Times = u8"　後09:00 &gt;&gt; ";
             p.Station = p.Description = p.Performers = p.Info = p.Tail = u8"";
         },
         [](Fields& f) {
             f.EndHour = f.EndMinute = 0;
             f.Station = f.Performers = "";
             f.Other = "\r\n";
         }},
        {"the page ends right after the start time's ideographic space",
         [](Page& p) {
             p.Times = u8"　";
             p.Station = p.Description = p.Performers = p.Info = p.Tail = u8"";
         },
         [](Fields& f) {
             f.StartHour = f.StartMinute = f.EndHour = f.EndMinute = 0;
             f.Station = f.Performers = "";
             f.Other = "\r\n";
         }},
        {"a station of 29 bytes is kept",
         [](Page& p) { p.Station = u8" 　" + Repeat(u8"局", 14) + u8"A /東京"; },
         [](Fields& f) { f.Station = Repeat("局", 14) + "A"; }},
        {"a station of 30 bytes is dropped, the rest still parsed",
         [](Page& p) { p.Station = u8" 　" + Repeat(u8"局", 15) + u8" /東京"; },
         [](Fields& f) { f.Station = ""; }},
        {"a station with no '/' after it is empty",
         [](Page& p) {
             p.Station = u8" 　ＮＨＫ総合";
             p.Description = p.Performers = p.Info = p.Tail = u8"";
         },
         [](Fields& f) {
             f.Station = f.Performers = "";
             f.Other = "\r\n";
         }},
    };
    RunCases(std::begin(cases), std::end(cases));
}

TEST(DetailParser, DescriptionAndInformation)
{
    const Case cases[] = {
        {"description, CR LF, information", Same, Same},
        {"no information marker leaves the description and CR LF",
         [](Page& p) { p.Info = u8""; },
         [](Fields& f) { f.Other = "今日の出来事を伝えます。\r\n"; }},
        {"no <BR> for the description leaves only CR LF before the information",
         [](Page& p) {
             p.Description = u8"今日の出来事を伝えます。\n</TD></TR></TABLE>\n";
             p.Performers = PerformerCell(Link(1, u8"山田太郎") + u8"、" + Link(2, u8"鈴木花子"));
         },
         [](Fields& f) {
             f.Performers = "山田太郎・鈴木花子";
             f.Other = "\r\n詳しい情報です。";
         }},
        {"a <BR> only after the description's </TD> gives an empty description",
         [](Page& p) { p.Description = u8"今日の出来事を伝えます。\n</TD></TR></TABLE>\n"; },
         [](Fields& f) { f.Other = "\r\n詳しい情報です。"; }},
        {"no </TD> after the description: neither it nor the information is taken",
         [](Page& p) {
             p.Description = u8"<BR>今日の出来事を伝えます。\n";
             p.Performers = u8"<TD class=\"genre\">\n" + Link(1, u8"山田太郎") + u8"、" + Link(2, u8"鈴木花子") + u8"\n";
             p.Info = u8"<!--info2 from  here-->\n<TD class=\"genre\">\n詳しい情報です。\n";
             p.Tail = u8"";
         },
         [](Fields& f) {
             f.Performers = "山田太郎・鈴木花子";
             f.Other = "\r\n";
         }},
        {"no information cell after the marker",
         [](Page& p) { p.Info = u8"<!--info2 from  here-->\n<P>詳しい情報です。</P>\n"; },
         [](Fields& f) { f.Other = "今日の出来事を伝えます。\r\n"; }},
        {"an information cell without </TD>",
         [](Page& p) {
             p.Info = u8"<!--info2 from  here-->\n<TABLE><TR><TD class=\"genre\">\n詳しい情報です。\n";
             p.Tail = u8"</BODY></HTML>";
         },
         [](Fields& f) { f.Other = "今日の出来事を伝えます。\r\n"; }},
        {"an empty information cell",
         [](Page& p) { p.Info = u8"<!--info2 from  here-->\n<TD class=\"genre\"></TD>\n"; },
         [](Fields& f) { f.Other = "今日の出来事を伝えます。\r\n"; }},
        {"a one-byte information cell gives no text: that byte is the one skipped",
         [](Page& p) { p.Info = u8"<!--info2 from  here-->\n<TD class=\"genre\">x</TD>\n"; },
         [](Fields& f) { f.Other = "今日の出来事を伝えます。\r\n"; }},
        {"the page ends right after the information cell's tag",
         [](Page& p) {
             p.Info = u8"<!--info2 from  here-->\n<TD class=\"genre\">";
             p.Tail = u8"";
         },
         [](Fields& f) { f.Other = "今日の出来事を伝えます。\r\n"; }},
        // 600 two-byte characters: 498 of them (996 bytes) leave room for the
        // CR LF; the one byte left cannot hold the information's first character.
        {"an over-long description is cut at a character and keeps its CR LF",
         [](Page& p) { p.Description = u8"<BR>" + Repeat(u8"あ", 600) + u8"\n</TD></TR></TABLE>\n"; },
         [](Fields& f) { f.Other = Repeat("あ", 498) + "\r\n"; }},
        // 24 bytes of description and the CR LF leave 973 of the 999 bytes.
        {"an over-long information text fills the field to its last byte",
         [](Page& p) {
             p.Info = u8"<!--info2 from  here-->\n<TD class=\"genre\">\n" + Repeat(u8"x", 1200) + u8"\n</TD>\n";
         },
         [](Fields& f) { f.Other = "今日の出来事を伝えます。\r\n" + Repeat("x", 973); }},
        {"an information text of 999 bytes after an empty description is cut at a character",
         [](Page& p) {
             p.Description = u8"</TD>\n";
             p.Info = u8"<!--info2 from  here-->\n<TD class=\"genre\">\nx" + Repeat(u8"あ", 600) + u8"\n</TD>\n";
         },
         // CR LF and "x" take 3 bytes; 498 characters fill 996 of the other 996.
         [](Fields& f) { f.Other = "\r\nx" + Repeat("あ", 498); }},
    };
    RunCases(std::begin(cases), std::end(cases));
}

TEST(DetailParser, Performers)
{
    const Case cases[] = {
        {"two headings with two names each keep every name", Same, Same},
        {"names before any heading are joined by a separator",
         [](Page& p) { p.Performers = PerformerCell(Link(1, u8"山田太郎") + u8"、" + Link(2, u8"鈴木花子")); },
         [](Fields& f) { f.Performers = "山田太郎・鈴木花子"; }},
        {"names before the first heading are kept",
         [](Page& p) {
             p.Performers = PerformerCell(Link(1, u8"山田太郎") + u8"<BR>\n司会／" + Link(2, u8"佐藤一郎"));
         },
         [](Fields& f) { f.Performers = "山田太郎司会／佐藤一郎"; }},
        {"a '／' in the information text is no heading and the information is kept",
         [](Page& p) {
             p.Performers = PerformerCell(Link(1, u8"山田太郎") + u8"、" + Link(2, u8"鈴木花子"));
             p.Info = u8"<!--info2 from  here-->\n<TD class=\"genre\">\n字幕／二か国語\n</TD>\n";
         },
         [](Fields& f) {
             f.Performers = "山田太郎・鈴木花子";
             f.Other = "今日の出来事を伝えます。\r\n字幕／二か国語";
         }},
        {"a name of 30 bytes is skipped, the next is kept",
         [](Page& p) {
             p.Performers = PerformerCell(u8"出演／" + Link(1, Repeat(u8"名", 15)) + u8"、" + Link(2, u8"山田太郎"));
         },
         [](Fields& f) { f.Performers = "出演／山田太郎"; }},
        {"a name of 29 bytes is kept",
         [](Page& p) {
             p.Performers = PerformerCell(u8"出演／" + Link(1, Repeat(u8"名", 14) + u8"A") + u8"、" + Link(2, u8"山田太郎"));
         },
         [](Fields& f) { f.Performers = "出演／" + Repeat("名", 14) + "A・山田太郎"; }},
        {"a heading whose only name is too long loses its '／'",
         [](Page& p) {
             p.Performers = PerformerCell(u8"出演／" + Link(1, u8"山田太郎") + u8"<BR>\n司会／" +
                                          Link(2, Repeat(u8"名", 15)));
         },
         [](Fields& f) { f.Performers = "出演／山田太郎司会"; }},
        {"a heading right behind the cursor starts at the cursor",
         [](Page& p) {
             p.Station = u8" 　ＮＨＫ総合 /出演／" + Link(1, u8"山田太郎") + u8"<BR>説明\n</TD>\n";
             p.Description = p.Performers = u8"";
         },
         [](Fields& f) {
             f.Performers = "出演／山田太郎";
             f.Other = "説明\r\n詳しい情報です。";
         }},
        {"a '／' right against a link's address is no heading",
         [](Page& p) {
             p.Performers = PerformerCell(u8"<A href=\"出演／/program/listPerformer.php?id=1\">山田太郎</A>");
         },
         [](Fields& f) { f.Performers = "山田太郎"; }},
        {"the page ends inside a performer link's tag",
         [](Page& p) {
             p.Performers = u8"<TD class=\"genre\">\n出演／<A href=\"/program/listPerformer.php?id=1";
             p.Info = p.Tail = u8"";
         },
         [](Fields& f) {
             f.Performers = "出演";
             f.Other = "今日の出来事を伝えます。\r\n";
         }},
        {"a name with nothing after it runs to the page's end",
         [](Page& p) {
             p.Performers = u8"<TD class=\"genre\">\n出演／<A href=\"/program/listPerformer.php?id=1\">山田太郎";
             p.Info = p.Tail = u8"";
         },
         [](Fields& f) {
             f.Performers = "出演／山田太郎";
             f.Other = "今日の出来事を伝えます。\r\n";
         }},
        // A 12-byte heading and 141 names of 5 bytes, each with its 2-byte
        // separator, fill the 999 bytes exactly; the 142nd name no longer fits.
        {"an over-long list keeps the names that fit, without a last separator",
         [](Page& p) {
             std::u8string cell = u8"出演者一同／";
             for (int i = 100; i < 250; ++i)
                 cell += Link(i, u8"名" + Number(i)) + u8"、";
             p.Performers = PerformerCell(cell);
         },
         [](Fields& f) {
             f.Performers = "出演者一同／";
             for (int i = 100; i <= 240; ++i)
                 f.Performers += (i > 100 ? "・名" : "名") + std::to_string(i);
         }},
        // 138 names use 6 + 138 * 7 = 972 bytes; the 38-byte heading would
        // need 970 + 38, while the short name after it would still fit.
        {"nothing is taken once a heading no longer fits",
         [](Page& p) {
             std::u8string cell = u8"出演／";
             for (int i = 100; i < 238; ++i)
                 cell += Link(i, u8"名" + Number(i)) + u8"、";
             cell += u8"<BR>\n声の出演者とゲストの皆さんと仲間たち／" + Link(1, u8"山田");
             p.Performers = PerformerCell(cell);
         },
         [](Fields& f) {
             f.Performers = "出演／";
             for (int i = 100; i < 238; ++i)
                 f.Performers += (i > 100 ? "・名" : "名") + std::to_string(i);
         }},
    };
    RunCases(std::begin(cases), std::end(cases));
}

TEST(DetailParser, PageWithoutTitleMarkerOnlyClearsTitleAndSubtitle)
{
    struct NoTitle {
        const char* Name;
        std::u8string Page;
    };
    const NoTitle cases[] = {
        {"empty page", u8""},
        {"title class in lower case", u8"<td class=\"gtitle\">\n<BR>ニュース　特集\t"},
        {"marker cut short by the page's end", u8"<HTML><TD class=\"gtitle\""},
        {"the rest of a page without its title cell",
         u8"<TABLE cellSpacing=\"1\" cellPadding=\"0\" border=\"0\" width=\"590\">\n<TR><TD class=\"genre\">12/24"
         u8"　後09:00 &gt;&gt; 後09:54 　ＮＨＫ総合 /東京<BR>説明\n</TD>"},
    };
    for (const NoTitle& c : cases) {
        TELOMI record = FreshRecord();
        std::strcpy(record.Title, "old title");
        std::strcpy(record.Subtitle, "old subtitle");
        std::strcpy(record.Station, "old station");
        record.Month = 7;
        EXPECT_FALSE(ParseExact(ToEuc(c.Page), record)) << c.Name;
        EXPECT_STREQ(record.Title, "") << c.Name;
        EXPECT_STREQ(record.Subtitle, "") << c.Name;
        EXPECT_STREQ(record.Station, "old station") << c.Name;
        EXPECT_EQ(record.Month, 7) << c.Name;
    }
}

namespace {

std::string Unescape(std::string_view text)
{
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            result += text[i];
            continue;
        }
        const char next = text[++i];
        result += next == 'r' ? '\r' : next == 'n' ? '\n' : next == 't' ? '\t' : next;
    }
    return result;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

} // namespace

// Pages made by the listings site simulator, each with the fields it expects.
TEST(DetailParser, GoldenPagesGiveTheirExpectedFields)
{
    const std::filesystem::path folder = std::filesystem::path(TELOMIYA_SOURCE_DIR) / "tests" / "data" / "pages";
    if (!std::filesystem::is_directory(folder))
        GTEST_SKIP() << "no golden pages at " << folder;
    std::vector<std::filesystem::path> pages;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".html")
            pages.push_back(entry.path());
    }
    std::sort(pages.begin(), pages.end());
    ASSERT_FALSE(pages.empty()) << "the golden page folder holds no page";

    static const char* const fieldNames[] = {"Station", "Month", "Day", "StartHour", "StartMinute", "EndHour",
                                             "EndMinute", "Title", "Subtitle", "Performers", "Other"};
    for (const std::filesystem::path& html : pages) {
        const std::string name = html.filename().string();
        std::filesystem::path expectedPath = html;
        expectedPath.replace_extension(".expected");
        ASSERT_TRUE(std::filesystem::exists(expectedPath)) << name << " has no .expected file";

        std::vector<std::string> values;
        std::istringstream lines(ReadFile(expectedPath));
        std::string line;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty())
                continue;
            const size_t tab = line.find('\t');
            ASSERT_NE(tab, std::string::npos) << name << ": line without a TAB: " << line;
            ASSERT_LT(values.size(), std::size(fieldNames)) << name << ": too many lines";
            ASSERT_EQ(line.substr(0, tab), fieldNames[values.size()]) << name << ": fields out of order";
            values.push_back(Unescape(std::string_view(line).substr(tab + 1)));
        }
        ASSERT_EQ(values.size(), std::size(fieldNames)) << name;

        TELOMI record = FreshRecord();
        ParseExact(ReadFile(html), record);
        const std::string got[] = {record.Station,
                                   std::to_string(record.Month),
                                   std::to_string(record.Day),
                                   std::to_string(record.StartHour),
                                   std::to_string(record.StartMinute),
                                   std::to_string(record.EndHour),
                                   std::to_string(record.EndMinute),
                                   record.Title,
                                   record.Subtitle,
                                   record.Performers,
                                   record.Other};
        for (size_t i = 0; i < std::size(fieldNames); ++i)
            EXPECT_EQ(Shown(got[i]), Shown(values[i])) << name << " " << fieldNames[i];
        EXPECT_STREQ(record.DetailPath, DetailPathMark) << name;
    }
}

namespace {

// What any page, however broken, must leave: every text ends inside its
// field, nothing beside the parsed fields changed, numbers as the reads allow.
void CheckRecord(const TELOMI& record, const std::string& what)
{
    EXPECT_NE(std::memchr(record.Station, 0, sizeof record.Station), nullptr) << what;
    EXPECT_NE(std::memchr(record.Title, 0, sizeof record.Title), nullptr) << what;
    EXPECT_NE(std::memchr(record.Subtitle, 0, sizeof record.Subtitle), nullptr) << what;
    EXPECT_NE(std::memchr(record.Performers, 0, sizeof record.Performers), nullptr) << what;
    EXPECT_NE(std::memchr(record.Other, 0, sizeof record.Other), nullptr) << what;
    EXPECT_LT(std::strlen(record.Title), 255u) << what;
    EXPECT_LT(std::strlen(record.Subtitle), 254u) << what;
    EXPECT_LT(std::strlen(record.Station), 30u) << what;
    EXPECT_STREQ(record.DetailPath, DetailPathMark) << what;
    EXPECT_EQ(record.DateText[0], 0) << what;
    EXPECT_EQ(record.Box.Left, 1) << what;
    EXPECT_EQ(record.Box.Bottom, 4) << what;
    // Two-digit reads: at most 99, plus 12 for an afternoon hour, plus one day.
    EXPECT_TRUE(record.Month >= 0 && record.Month <= 99) << what << " Month " << record.Month;
    EXPECT_TRUE(record.Day >= 0 && record.Day <= 100) << what << " Day " << record.Day;
    EXPECT_TRUE(record.StartHour >= 0 && record.StartHour <= 111) << what;
    EXPECT_TRUE(record.EndHour >= 0 && record.EndHour <= 111) << what;
    EXPECT_TRUE(record.StartMinute >= 0 && record.StartMinute <= 99) << what;
    EXPECT_TRUE(record.EndMinute >= 0 && record.EndMinute <= 99) << what;
}

bool ParseAndCheck(const std::string& page, const std::string& what)
{
    TELOMI record = FreshRecord();
    ParseExact(page, record);
    CheckRecord(record, what);
    return !::testing::Test::HasFailure();
}

} // namespace

// Under the sanitizer build any read or write outside a page shows up here.
TEST(DetailParser, BrokenPagesStayInsideTheirBuffer)
{
    const std::string sample = Page{}.Euc();
    ASSERT_GT(sample.size(), 500u);

    for (size_t cut = 0; cut <= sample.size(); ++cut)
        ASSERT_TRUE(ParseAndCheck(sample.substr(0, cut), "sample cut at " + std::to_string(cut)));

    // The largest page the fetch delivers, cut inside a performer list far
    // longer than the field.
    Page full;
    full.Performers = PerformerCell(u8"出演／" + Repeat(Link(1, u8"山田太郎") + u8"、", 20000));
    std::string largest = full.Euc();
    ASSERT_GT(largest.size(), 1000001u);
    largest.resize(1000001);
    ASSERT_TRUE(ParseAndCheck(largest, "a page of 1,000,001 bytes"));

    std::mt19937 random(20240601);
    auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };

    for (int round = 0; round < 10000; ++round) {
        std::string page = sample.substr(0, sample.size() - below(sample.size() / 4));
        const size_t flips = 1 + below(8);
        for (size_t i = 0; i < flips; ++i)
            page[below(page.size())] = static_cast<char>(1 + below(255));
        ASSERT_TRUE(ParseAndCheck(page, "flipped sample, round " + std::to_string(round)));
    }

    const std::string pieces[] = {
        "<TD class=\"gtitle\">",
        ToEuc(u8"　"),
        "<BR>",
        "<TABLE cellSpacing=\"1\" cellPadding=\"0\" border=\"0\" width=\"590\">",
        "<TR><TD class=\"genre\">",
        "&gt;&gt; ",
        ToEuc(u8" 　"),
        "</TD>",
        "/program/listPerformer.php?",
        ">",
        ToEuc(u8"／"),
        "<!--info2 from  here-->",
        "<TD class=\"genre\">",
        ToEuc(u8"・"),
        ToEuc(u8"深"),
        ToEuc(u8"後"),
        ToEuc(u8"ﾆｭｰｽ"),
        ToEuc(u8"丂"),
        "<", "/", "\t", "-", " ", "0", "9", "12/31", "28",
        std::string(1, static_cast<char>(0x8E)),
        std::string(1, static_cast<char>(0x8F)),
        std::string(1, static_cast<char>(0xB0)),
        std::string(300, 'x'),
        ToEuc(Repeat(u8"あ", 300)),
        "<A href=\"/program/listPerformer.php?id=1\">",
    };
    for (int round = 0; round < 20000; ++round) {
        std::string page;
        const size_t count = 1 + below(60);
        for (size_t i = 0; i < count; ++i)
            page += pieces[below(std::size(pieces))];
        if (below(2) == 0)
            page = page.substr(0, below(page.size() + 1));
        ASSERT_TRUE(ParseAndCheck(page, "marker soup, round " + std::to_string(round)));
    }

    for (int round = 0; round < 5000; ++round) {
        std::string page(below(1500), '\0');
        for (char& c : page)
            c = static_cast<char>(1 + below(255));
        if (below(2) == 0)
            page.insert(below(page.size() + 1), "<TD class=\"gtitle\">");
        ASSERT_TRUE(ParseAndCheck(page, "random bytes, round " + std::to_string(round)));
    }
}
