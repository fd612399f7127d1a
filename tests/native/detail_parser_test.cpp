#include "listing/detail_parser.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// Pages are written in UTF-8 and handed over in EUC-JP, as the site serves them; expected
// texts are narrow literals, which the build stores as code page 932 like the parser's output.
std::string ToEuc(std::u8string_view text)
{
    static const iconv_t handle = iconv_open("EUC-JP", "UTF-8");
    std::string out(text.size() * 2 + 8, '\0');
    char *in = const_cast<char*>(reinterpret_cast<const char*>(text.data())), *at = out.data();
    size_t inLeft = text.size(), outLeft = out.size();
    EXPECT_NE(iconv(handle, &in, &inLeft, &at, &outLeft), static_cast<size_t>(-1)) << "no EUC-JP form";
    out.resize(out.size() - outLeft);
    return out;
}

std::u8string R(std::u8string_view text, size_t count) { std::u8string r; while (count--) r += text; return r; }
std::string R(std::string_view text, size_t count) { std::string r; while (count--) r += text; return r; }
std::u8string Number(int value) { const std::string digits = std::to_string(value); return {digits.begin(), digits.end()}; }
std::u8string Link(int id, std::u8string_view name)
{
    return u8"<A href=\"/program/listPerformer.php?id=" + Number(id) + u8"\">" + std::u8string(name) + u8"</A>";
}

// Links to the names 名<i> up to 名<to - 1>, and the same names as the parser joins them.
std::u8string Links(int i, int to) { std::u8string s; for (; i < to; ++i) s += Link(i, u8"名" + Number(i)) + u8"、"; return s; }
std::string Joined(int i, int to) { std::string s = "名" + std::to_string(i); while (++i < to) s += "・名" + std::to_string(i); return s; }

// Later cells open with "<TR>\n<TD", so a page without its date cell offers the date no other place.
std::u8string Cell(std::u8string_view text)
{
    return u8"<TABLE><TR>\n<TD class=\"genre\">\n" + std::u8string(text) + u8"\n</TD></TR></TABLE>\n";
}

const std::u8string GT = u8"<TD class=\"gtitle\">";
const std::u8string DT = u8"<TABLE cellSpacing=\"1\" cellPadding=\"0\" border=\"0\" width=\"590\">\n";
const std::u8string DC = u8"<TR><TD class=\"genre\">";
const std::u8string InfoCell = u8"<!--info2 from  here-->\n<TD class=\"genre\">";
const std::u8string Yamada = Link(1, u8"山田太郎"), Suzuki = Link(2, u8"鈴木花子");
const std::string Said = "今日の出来事を伝えます。\r\n";
std::u8string TitleOf(std::u8string_view text) { return GT + u8"\n<BR>" + std::u8string(text) + u8"\t</TD>\n"; }

// The hand-made sample page, piece by piece; each case replaces some pieces.
enum Piece { Head, TitleCell, Date, Times, Station, Desc, Perf, Info, Tail };
const std::u8string Sample[] = {
    u8"<HTML><BODY>\n",
    u8"<TABLE><TR>" + GT + u8"\n[字]<BR>ニュース　特集\t</TD></TR></TABLE>\n",
    DT + DC + u8"12/24(水)",
    u8"　後09:00 &gt;&gt; 後09:54",
    u8" 　ＮＨＫ総合 /東京",
    u8"<BR>今日の出来事を伝えます。\n</TD></TR></TABLE>\n",
    Cell(u8"出演／" + Yamada + u8"、" + Suzuki + u8"<BR>\n司会／" + Link(3, u8"佐藤一郎") + u8"、" + Link(4, u8"高橋次郎")),
    u8"<!--info2 from  here-->\n<TABLE><TR>\n<TD class=\"genre\">\n詳しい情報です。\n</TD></TR></TABLE>\n",
    u8"</BODY></HTML>\n",
};

enum Field { St, Mo, Da, SH, SM, EH, EM, Ti, Su, Pe, Ot };

// What the sample gives when the page ends after the piece last.
std::vector<std::string> Expected(Piece last)
{
    std::vector<std::string> f = {"ＮＨＫ総合", "12", "24", "21", "0", "21", "54", "ニュース", "特集",
                                  "出演／山田太郎・鈴木花子司会／佐藤一郎・高橋次郎", Said + "詳しい情報です。"};
    if (last < Info) f[Ot] = Said;
    if (last < Perf) f[Pe] = "";
    if (last < Desc) f[Ot] = "\r\n";
    if (last < Station) f[St] = "";
    if (last < Times) f[SH] = f[SM] = f[EH] = f[EM] = "0";
    if (last < Date) f[Mo] = f[Da] = "0";
    return f;
}

std::vector<std::string> Fields(const TELOMI& r)
{
    auto n = [](int32_t value) { return std::to_string(value); };
    return {r.Station, n(r.Month), n(r.Day), n(r.StartHour), n(r.StartMinute), n(r.EndHour), n(r.EndMinute),
            r.Title, r.Subtitle, r.Performers, r.Other};
}

constexpr char PathMark[] = "/genre/detail.php3?id=1";
TELOMI Fresh() { TELOMI r{}; std::strcpy(r.DetailPath, PathMark); r.Box = {1, 2, 3, 4}; return r; }
bool Untouched(const TELOMI& r) // the fields the parser has no business with
{
    return !std::strcmp(r.DetailPath, PathMark) && !r.DateText[0] && r.Box.Left == 1 && r.Box.Bottom == 4;
}

std::string Read(const std::filesystem::path& p) { std::ifstream f(p, std::ios::binary); return {std::istreambuf_iterator<char>(f), {}}; }

// Parses a copy in a buffer of exactly its size, so AddressSanitizer sees any step outside it.
bool ParseExact(const std::string& euc, TELOMI& record)
{
    std::unique_ptr<char[]> page(new char[euc.size() + 1]);
    std::memcpy(page.get(), euc.c_str(), euc.size() + 1);
    return ParseDetailPage(page.get(), record);
}

struct Case {
    const char* Name;
    std::vector<std::pair<Piece, std::u8string>> Changes;
    std::vector<std::pair<Field, std::string>> Want; // where the fields differ from Expected(Last)
    Piece Last = Tail;
};

void Check(const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        std::vector<std::u8string> pieces(std::begin(Sample), std::end(Sample));
        for (const auto& [piece, text] : c.Changes) pieces[piece] = text;
        std::u8string page;
        for (int i = Head; i <= c.Last; ++i) page += pieces[i];
        std::vector<std::string> want = Expected(c.Last);
        for (const auto& [field, value] : c.Want) want[field] = value;
        TELOMI record = Fresh();
        EXPECT_TRUE(ParseExact(ToEuc(page), record)) << c.Name;
        EXPECT_EQ(Fields(record), want) << c.Name;
        EXPECT_TRUE(Untouched(record)) << c.Name;
    }
}

Case Late(const char* name, std::u8string date, const char* month, const char* day)
{
    return {name, {{Date, date}, {Times, u8"　深01:30 &gt;&gt; 深02:00"}},
            {{Mo, month}, {Da, day}, {SH, "1"}, {SM, "30"}, {EH, "2"}, {EM, "0"}}};
}

// Whatever the page: every text ends inside its field, and numbers stay within what two-digit reads allow.
bool ParseAndCheck(const std::string& page, const std::string& what)
{
    TELOMI r = Fresh();
    ParseExact(page, r);
    const std::pair<const char*, size_t> texts[] = {
        {r.Station, 30}, {r.Title, 255}, {r.Subtitle, 254}, {r.Performers, 1000}, {r.Other, 1000}};
    for (const auto& [text, limit] : texts)
        EXPECT_NE(std::memchr(text, 0, limit), nullptr) << what;
    EXPECT_TRUE(Untouched(r)) << what;
    const std::pair<int32_t, int32_t> numbers[] = { // at most 99, 12 more for the afternoon, 1 for past midnight
        {r.Month, 99}, {r.Day, 100}, {r.StartHour, 111}, {r.StartMinute, 99}, {r.EndHour, 111}, {r.EndMinute, 99}};
    for (const auto& [value, most] : numbers)
        EXPECT_TRUE(value >= 0 && value <= most) << what << ": " << value;
    return !testing::Test::HasFailure();
}

} // namespace

TEST(DetailParser, TitleDateTimesAndStation)
{
    Check({
        {"the sample: afternoon start and end, two headings with two names each", {}, {}},
        {"without <BR> the title starts at the cell's second byte", {{TitleCell, GT + u8"[字]ニュース　特集\t</TD>"}}, {{Ti, "字]ニュース"}}},
        {"a one-byte subtitle is dropped", {{TitleCell, TitleOf(u8"ニュース　A")}}, {{Su, ""}}},
        {"a two-byte subtitle is kept", {{TitleCell, TitleOf(u8"ニュース　AB")}}, {{Su, "AB"}}},
        {"a TAB right after the space belongs to the subtitle", {{TitleCell, TitleOf(u8"ニュース　\t特集")}}, {{Su, "\t特集"}}},
        {"a title of 254 bytes is kept", {{TitleCell, TitleOf(R(u8"あ", 127) + u8"　特集")}}, {{Ti, R("あ", 127)}}},
        {"a title of 255 bytes is dropped", {{TitleCell, TitleOf(R(u8"あ", 127) + u8"A　特集")}}, {{Ti, ""}}},
        {"a subtitle of 253 bytes is kept", {{TitleCell, TitleOf(u8"ニュース　" + R(u8"あ", 126) + u8"A")}}, {{Su, R("あ", 126) + "A"}}},
        {"a subtitle of 254 bytes is dropped", {{TitleCell, TitleOf(u8"ニュース　" + R(u8"あ", 127))}}, {{Su, ""}}},
        {"no ideographic space after the title marker: no title, subtitle, start or station",
         {{TitleCell, TitleOf(u8"ニュース 特集")}, {Times, u8" 後09:00 &gt;&gt; 後09:54"}, {Station, u8" ＮＨＫ総合 /東京"}},
         {{Ti, ""}, {Su, ""}, {St, ""}, {SH, "0"}, {SM, "0"}}},
        {"a subtitle without a TAB runs to the page's end", {{TitleCell, GT + u8"\n<BR>ニュース　特集"}}, {}, TitleCell},
        {"the page ends right after the title marker", {{TitleCell, GT}}, {{Ti, ""}, {Su, ""}}, TitleCell},
        {"the page ends right after the title's space", {{TitleCell, GT + u8"\n<BR>ニュース　"}}, {{Su, ""}}, TitleCell},
        // Date, times and station.
        {"morning start and end", {{Times, u8"　前09:00 &gt;&gt; 前09:54"}}, {{SH, "9"}, {EH, "9"}}},
        Late("after midnight on 31 December is 1 January", DT + DC + u8"12/31(水)", "1", "1"),
        Late("after midnight on 28 February is 1 March, whatever the year", DT + DC + u8"02/28(木)", "3", "1"),
        Late("after midnight on 30 April is 1 May", DT + DC + u8"04/30(月)", "5", "1"),
        Late("after midnight on 30 January stays in January", DT + DC + u8"01/30(月)", "1", "31"),
        Late("after midnight without a date only counts the day", u8"<TABLE><TR><TD>", "0", "1"),
        {"no date table: no date, the times still read", {{Date, u8"<TABLE>" + DC + u8"12/24(水)"}}, {{Mo, "0"}, {Da, "0"}}},
        {"a date table without its date cell", {{Date, DT + u8"<TR><TD class=\"date\">12/24(水)"}}, {{Mo, "0"}, {Da, "0"}}},
        {"negative numbers read as 0, a negative hour drops the afternoon",
         {{Date, DT + DC + u8"-1/-2"}, {Times, u8"　後-1:-5 &gt;&gt; 後-3:-4"}},
         {{Mo, "0"}, {Da, "0"}, {SH, "0"}, {SM, "0"}, {EH, "0"}, {EM, "0"}}},
        {"numbers read like strtol: a leading space, a stop at a non-digit", {{Times, u8"　後 9:5x &gt;&gt; 後1x: 7"}},
         {{SM, "5"}, {EH, "13"}, {EM, "7"}}},
        {"the page ends inside the date", {{Date, DT + DC + u8"1"}}, {{Mo, "1"}, {Da, "0"}}, Date},
        {"the page ends inside the end minutes", {{Times, u8"　後09:00 &gt;&gt; 後09:5"}}, {{EM, "5"}}, Times},
        {"the page ends right after the end-time marker", {{Times, u8"　後09:00 &gt;&gt; "}}, {{EH, "0"}, {EM, "0"}}, Times},
        {"the page ends right after the start's space", {{Times, u8"　"}}, {{SH, "0"}, {SM, "0"}, {EH, "0"}, {EM, "0"}}, Times},
        {"a station of 29 bytes is kept", {{Station, u8" 　" + R(u8"局", 14) + u8"A /東京"}}, {{St, R("局", 14) + "A"}}},
        {"a station of 30 bytes is dropped", {{Station, u8" 　" + R(u8"局", 15) + u8" /東京"}}, {{St, ""}}},
        {"a station with no '/' after it", {{Station, u8" 　ＮＨＫ総合"}}, {{St, ""}}, Station},
    });
}

TEST(DetailParser, DescriptionInformationAndPerformers)
{
    const std::u8string noBr = u8"今日の出来事を伝えます。\n</TD></TR></TABLE>\n";
    const std::u8string longName = Link(9, R(u8"名", 15)); // 30 bytes
    const std::u8string tag = u8"出演／<A href=\"/program/listPerformer.php?id=1";
    Check({
        {"no information marker: an information cell without it is not taken", {{Info, Cell(u8"詳しい情報です。")}}, {{Ot, Said}}},
        {"no <BR> at all: only CR LF before the information", {{Desc, noBr}, {Perf, Cell(Yamada + u8"、" + Suzuki)}},
         {{Pe, "山田太郎・鈴木花子"}, {Ot, "\r\n詳しい情報です。"}}},
        {"a <BR> only after the description's </TD>", {{Desc, noBr}}, {{Ot, "\r\n詳しい情報です。"}}},
        {"no </TD> after the description: neither it nor the information is taken",
         {{Desc, u8"<BR>今日の出来事を伝えます。\n"}, {Perf, Yamada + u8"、" + Suzuki + u8"\n"}, {Info, InfoCell + u8"\n詳しい情報です。\n"}},
         {{Pe, "山田太郎・鈴木花子"}, {Ot, "\r\n"}}, Info},
        {"no information cell after the marker", {{Info, u8"<!--info2 from  here-->\n<P>詳しい情報です。</P>\n"}}, {{Ot, Said}}},
        {"an information cell without </TD>", {{Info, InfoCell + u8"\n詳しい情報です。\n"}}, {{Ot, Said}}},
        {"an empty information cell", {{Info, InfoCell + u8"</TD>\n"}}, {{Ot, Said}}},
        {"a one-byte information cell: that byte is the one skipped", {{Info, InfoCell + u8"x</TD>\n"}}, {{Ot, Said}}},
        {"the page ends right after the information cell's tag", {{Info, InfoCell}}, {{Ot, Said}}, Info},
        {"an over-long description is cut at a character and keeps its CR LF",
         {{Desc, u8"<BR>" + R(u8"あ", 600) + u8"\n</TD></TR></TABLE>\n"}}, {{Ot, R("あ", 498) + "\r\n"}}},
        {"an over-long information text fills the field to its last byte",
         {{Info, InfoCell + u8"\n" + R(u8"x", 1200) + u8"\n</TD>\n"}}, {{Ot, Said + R("x", 973)}}},
        {"an over-long information text is cut at a character",
         {{Desc, u8"</TD>\n"}, {Info, InfoCell + u8"\nx" + R(u8"あ", 600) + u8"\n</TD>\n"}}, {{Ot, "\r\nx" + R("あ", 498)}}},
        // Performers.
        {"names before any heading are joined", {{Perf, Cell(Yamada + u8"、" + Suzuki)}}, {{Pe, "山田太郎・鈴木花子"}}},
        {"names before the first heading are kept", {{Perf, Cell(Yamada + u8"<BR>\n司会／" + Link(3, u8"佐藤一郎"))}}, {{Pe, "山田太郎司会／佐藤一郎"}}},
        {"a '／' in the information text is no heading", {{Perf, Cell(Yamada + u8"、" + Suzuki)}, {Info, InfoCell + u8"\n字幕／二か国語\n</TD>\n"}},
         {{Pe, "山田太郎・鈴木花子"}, {Ot, Said + "字幕／二か国語"}}},
        {"a '／' right against a link's address is no heading",
         {{Perf, Cell(u8"<A href=\"出演／/program/listPerformer.php?id=1\">山田太郎</A>")}}, {{Pe, "山田太郎"}}},
        {"a heading right behind the cursor starts at the cursor",
         {{Station, u8" 　ＮＨＫ総合 /出演／" + Yamada + u8"<BR>説明\n</TD>\n"}, {Desc, u8""}, {Perf, u8""}},
         {{Pe, "出演／山田太郎"}, {Ot, "説明\r\n詳しい情報です。"}}},
        {"a name of 30 bytes is skipped, the next kept", {{Perf, Cell(u8"出演／" + longName + u8"、" + Yamada)}}, {{Pe, "出演／山田太郎"}}},
        {"a name of 29 bytes is kept", {{Perf, Cell(u8"出演／" + Link(1, R(u8"名", 14) + u8"A") + u8"、" + Yamada)}},
         {{Pe, "出演／" + R("名", 14) + "A・山田太郎"}}},
        {"a heading whose only name is skipped loses its '／'", {{Perf, Cell(u8"出演／" + Yamada + u8"<BR>\n司会／" + longName)}}, {{Pe, "出演／山田太郎司会"}}},
        {"the page ends inside a link's tag", {{Perf, tag}}, {{Pe, "出演"}}, Perf},
        {"a name with nothing after it runs to the page's end", {{Perf, tag + u8"\">山田太郎"}}, {{Pe, "出演／山田太郎"}}, Perf},
        // Names of 5 bytes take 7 with the separator: 12 + 141 * 7 = 999, the whole field.
        {"names filling the field exactly are kept", {{Perf, Cell(u8"出演者一同／" + Links(100, 250))}}, {{Pe, "出演者一同／" + Joined(100, 241)}}},
        {"a name one byte over the field is not", {{Perf, Cell(u8"出演者一同A／" + Links(100, 250))}}, {{Pe, "出演者一同A／" + Joined(100, 240)}}},
        // 6 + 138 * 7 = 972 bytes; the heading replaces the last separator.
        {"a heading filling the field exactly is kept",
         {{Perf, Cell(u8"出演／" + Links(100, 238) + u8"<BR>\n声の出演者とゲストの皆さんA／" + Yamada)}},
         {{Pe, "出演／" + Joined(100, 238) + "声の出演者とゲストの皆さんA"}}},
        {"once a heading does not fit, no later name is taken",
         {{Perf, Cell(u8"出演／" + Links(100, 238) + u8"<BR>\n声の出演者とゲストの皆さんAB／" + Link(2, u8"山田"))}},
         {{Pe, "出演／" + Joined(100, 238)}}},
    });
}

TEST(DetailParser, PageWithoutTitleMarkerOnlyClearsTitleAndSubtitle)
{
    const std::u8string pages[] = {u8"", u8"<td class=\"gtitle\">\n<BR>ニュース　特集\t", u8"<HTML><TD class=\"gtitle\"",
                                   Sample[Date] + Sample[Times] + Sample[Station] + Sample[Desc]};
    for (const std::u8string& page : pages) {
        TELOMI r = Fresh();
        std::strcpy(r.Title, "old"), std::strcpy(r.Subtitle, "old"), std::strcpy(r.Station, "old"), r.Month = 7;
        EXPECT_FALSE(ParseExact(ToEuc(page), r)) << page.size();
        EXPECT_EQ(Fields(r), (std::vector<std::string>{"old", "7", "0", "0", "0", "0", "0", "", "", "", ""})) << page.size();
    }
}

// Pages made by the listings site simulator; each .expected holds "Field<TAB>value" lines, \r \n \t \\ escaped.
TEST(DetailParser, GoldenPagesGiveTheirExpectedFields)
{
    size_t pages = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TELOMIYA_SOURCE_DIR "/tests/data/pages")) {
        if (entry.path().extension() != ".html")
            continue;
        ++pages;
        std::vector<std::string> want;
        std::istringstream lines(Read(std::filesystem::path(entry.path()).replace_extension(".expected")));
        for (std::string line; std::getline(lines, line);) {
            std::string& value = want.emplace_back();
            for (size_t i = line.find('\t') + 1; i < line.size(); ++i) {
                char c = line[i];
                if (c == '\\' && i + 1 < line.size())
                    c = line[++i] == 'r' ? '\r' : line[i] == 'n' ? '\n' : line[i] == 't' ? '\t' : line[i];
                value += c;
            }
        }
        TELOMI record = Fresh();
        EXPECT_TRUE(ParseExact(Read(entry.path()), record)) << entry.path();
        EXPECT_EQ(Fields(record), want) << entry.path();
        EXPECT_TRUE(Untouched(record)) << entry.path();
    }
    EXPECT_GE(pages, 8u);
}

// Under the sanitizer build any read or write outside a page shows up here.
TEST(DetailParser, BrokenPagesStayInsideTheirBuffer)
{
    std::u8string whole;
    for (const std::u8string& piece : Sample) whole += piece;
    const std::string sample = ToEuc(whole);
    for (size_t cut = 0; cut <= sample.size(); ++cut)
        ASSERT_TRUE(ParseAndCheck(sample.substr(0, cut), "sample cut at " + std::to_string(cut)));

    std::mt19937 random(20240601);
    auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    const std::string pieces[] = {"<TD class=\"gtitle\">", ToEuc(u8"　"), "<BR>", ToEuc(DT), "<TR><TD class=\"genre\">",
        "&gt;&gt; ", ToEuc(u8" 　"), "</TD>", "/program/listPerformer.php?", ">", ToEuc(u8"／"), "<!--info2 from  here-->",
        "<TD class=\"genre\">", ToEuc(u8"・"), ToEuc(u8"深"), ToEuc(u8"後"), ToEuc(u8"ﾆｭｰｽ"), ToEuc(u8"丂"), "<", "/", "\t",
        "-", " ", "0", "9", "12/31", "28", "\x8E", "\x8F", "\xB0", std::string(300, 'x'), ToEuc(R(u8"あ", 300)),
        "<A href=\"/program/listPerformer.php?id=1\">"};
    for (int round = 0; round < 6000; ++round) {
        std::string page;
        if (round % 3 == 0) { // the sample, cut short, with a few bytes changed
            page = sample.substr(0, sample.size() - below(sample.size() / 4));
            for (size_t flips = 1 + below(8); flips > 0; --flips)
                page[below(page.size())] = static_cast<char>(1 + below(255));
        } else if (round % 3 == 1) { // markers and awkward bytes in any order, perhaps cut short
            for (size_t count = 1 + below(60); count > 0; --count)
                page += pieces[below(std::size(pieces))];
            page.resize(below(2) ? page.size() : below(page.size() + 1));
        } else { // random bytes, perhaps with a title marker
            for (size_t length = below(1500); length > 0; --length)
                page += static_cast<char>(1 + below(255));
            if (below(2) == 0)
                page.insert(below(page.size() + 1), "<TD class=\"gtitle\">");
        }
        ASSERT_TRUE(ParseAndCheck(page, "round " + std::to_string(round)));
    }
}
