#include "listing/detail_parser.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Pages are written as narrow (code page 932) text, like the parser's output, and handed over in EUC-JP;
// the XMLTV tests share this.
std::string ToEuc(const std::string& text)
{
    static const iconv_t handle = iconv_open("EUC-JP-MS", "CP932");
    std::string out(text.size() * 2 + 8, '\0');
    char *in = const_cast<char*>(text.data()), *at = out.data();
    size_t inLeft = text.size(), outLeft = out.size();
    EXPECT_NE(iconv(handle, &in, &inLeft, &at, &outLeft), static_cast<size_t>(-1)) << "no EUC-JP form";
    out.resize(out.size() - outLeft);
    return out;
}

// `text` `count` times over; the XMLTV tests share this too.
std::string R(const std::string& text, size_t count) { std::string r; while (count--) r += text; return r; }

namespace {

std::string Link(int id, const std::string& name)
{
    return "<A href=\"/program/listPerformer.php?id=" + std::to_string(id) + "\">" + name + "</A>";
}
// Later cells open with "<TR>\n<TD", so a page without its date cell offers the date no other place.
std::string Cell(const std::string& text) { return "<TABLE><TR>\n<TD class=\"genre\">\n" + text + "\n</TD></TR></TABLE>\n"; }

const std::string GT = "<TD class=\"gtitle\">";
const std::string DT = "<TABLE cellSpacing=\"1\" cellPadding=\"0\" border=\"0\" width=\"590\">\n";
const std::string DC = "<TR><TD class=\"genre\">";
const std::string InfoCell = "<!--info2 from  here-->\n<TD class=\"genre\">";
const std::string Yamada = Link(1, "山田太郎"), Suzuki = Link(2, "鈴木花子");
const std::string Said = "今日の出来事を伝えます。\r\n";
std::string TitleOf(const std::string& text) { return GT + "\n<BR>" + text + "\t</TD>\n"; }

// The hand-made sample page, piece by piece; each case replaces some pieces.
enum Piece { Head, TitleCell, Date, Times, Station, Desc, Perf, Info, Tail };
const std::string Sample[] = {
    "<HTML><BODY>\n", "<TABLE><TR>" + GT + "\n[字]<BR>ニュース　特集\t</TD></TR></TABLE>\n",
    DT + DC + "12/24(水)", "　後09:00 &gt;&gt; 後09:54", " 　ＮＨＫ総合 /東京",
    "<BR>今日の出来事を伝えます。\n</TD></TR></TABLE>\n",
    Cell("出演／" + Yamada + "、" + Suzuki + "<BR>\n司会／" + Link(3, "佐藤一郎") + "、" + Link(4, "高橋次郎")),
    "<!--info2 from  here-->\n<TABLE><TR>\n<TD class=\"genre\">\n詳しい情報です。\n</TD></TR></TABLE>\n",
    "</BODY></HTML>\n",
};

enum Field { St, Mo, Da, SH, SM, EH, EM, Ti, Su, Pe, Ot };

// What the sample page gives.
const std::vector<std::string> Expected = {"ＮＨＫ総合", "12", "24", "21", "0", "21", "54", "ニュース", "特集",
                                           "出演／山田太郎・鈴木花子司会／佐藤一郎・高橋次郎", Said + "詳しい情報です。"};

// Parses a copy in a buffer of exactly its size, so AddressSanitizer sees any step outside it.
void ExpectFields(const std::string& euc, const std::vector<std::string>& want, const std::string& what,
                  int year = 2028)
{
    std::unique_ptr<char[]> page(new char[euc.size() + 1]);
    TELOMI r{};
    EXPECT_TRUE(ParseDetailPage(std::strcpy(page.get(), euc.c_str()), r, year)) << what;
    auto n = [](int32_t value) { return std::to_string(value); };
    EXPECT_EQ((std::vector<std::string>{r.Station, n(r.Month), n(r.Day), n(r.StartHour), n(r.StartMinute),
                                        n(r.EndHour), n(r.EndMinute), r.Title, r.Subtitle, r.Performers, r.Other}),
              want) << what;
}

struct Case {
    const char* Name;
    std::vector<std::pair<Piece, std::string>> Changes;
    std::vector<std::pair<Field, std::string>> Want; // where the fields differ from the sample's
    Piece Last = Tail; int Year = 2028;               // the page ends after Last
};

Case Late(const char* name, const std::string& date, const char* month, const char* day, int year = 2028)
{
    return {name, {{Date, date}, {Times, "　深01:30 &gt;&gt; 深02:00"}},
            {{Mo, month}, {Da, day}, {SH, "1"}, {SM, "30"}, {EH, "2"}, {EM, "0"}}, Tail, year};
}

} // namespace

TEST(DetailParser, SampleVariants)
{
    const std::string title127 = R("あ", 127), station = R("局", 14) + "A";
    const std::string noBr = "今日の出来事を伝えます。\n</TD></TR></TABLE>\n", both = Cell(Yamada + "、" + Suzuki);
    const std::string longName = Link(9, R("名", 15)); // 30 bytes
    const std::string tag = "出演／<A href=\"/program/listPerformer.php?id=1", name5 = Link(5, "名前A") + "、";
    const Case cases[] = {
        {"the sample: afternoon start and end, two headings with two names each", {}, {}},
        {"without <BR> the title starts at the cell's second byte", {{TitleCell, GT + "[字]ニュース　特集\t</TD>"}},
         {{Ti, "字]ニュース"}}},
        {"a TAB right after the space belongs to the subtitle", {{TitleCell, TitleOf("ニュース　\t特集")}},
         {{Su, "\t特集"}}},
        {"a title of 254 bytes is kept, a subtitle of 254 dropped", {{TitleCell, TitleOf(title127 + "　" + title127)}},
         {{Ti, title127}, {Su, ""}}},
        {"a title of 255 bytes is dropped, a subtitle of 253 kept",
         {{TitleCell, TitleOf(title127 + "A　" + R("あ", 126) + "A")}}, {{Ti, ""}, {Su, R("あ", 126) + "A"}}},
        {"no ideographic space after the title marker: no title, subtitle, start or station",
         {{TitleCell, TitleOf("ニュース 特集")}, {Times, " 後09:00 &gt;&gt; 後09:54"}, {Station, " ＮＨＫ総合 /東京"}},
         {{Ti, ""}, {Su, ""}, {St, ""}, {SH, "0"}, {SM, "0"}}},
        {"a subtitle without a TAB runs to the page's end", {{TitleCell, GT + "\n<BR>ニュース　特集"}},
         {{St, ""}, {Mo, "0"}, {Da, "0"}, {SH, "0"}, {EH, "0"}, {EM, "0"}, {Pe, ""}, {Ot, "\r\n"}}, TitleCell},
        Late("after midnight on 31 December is 1 January", DT + DC + "12/31(水)", "1", "1"),
        Late("after midnight on 28 February 2028 is the leap day", DT + DC + "02/28(月)", "2", "29"),
        Late("after midnight on 28 February 2027 is 1 March", DT + DC + "02/28(日)", "3", "1", 2027),
        Late("after midnight on 28 February 2100 is 1 March", DT + DC + "02/28(日)", "3", "1", 2100),
        Late("2000 was a leap year", DT + DC + "02/28(月)", "2", "29", 2000),
        Late("after midnight on 30 January stays in January", DT + DC + "01/30(月)", "1", "31"),
        {"no date table: no date, the times still read", {{Date, "<TABLE>" + DC + "12/24(水)"}}, {{Mo, "0"}, {Da, "0"}}},
        {"negative numbers read as 0, a negative hour drops the afternoon",
         {{Date, DT + DC + "-1/-2"}, {Times, "　後-1:-5 &gt;&gt; 後-3:-4"}},
         {{Mo, "0"}, {Da, "0"}, {SH, "0"}, {SM, "0"}, {EH, "0"}, {EM, "0"}}},
        {"numbers read like strtol: a leading space, a stop at a non-digit", {{Times, "　後 9:5x &gt;&gt; 後1x: 7"}},
         {{SM, "5"}, {EH, "13"}, {EM, "7"}}},
        {"a station of 29 bytes is kept", {{Station, " 　" + station + " /東京"}}, {{St, station}}},
        {"a station of 30 bytes is dropped", {{Station, " 　" + R("局", 15) + " /東京"}}, {{St, ""}}},
        // Description and information.
        {"an information cell without the marker is not taken", {{Info, Cell("詳しい情報です。")}}, {{Ot, Said}}},
        {"no <BR> at all: only CR LF before the information", {{Desc, noBr}, {Perf, both}},
         {{Pe, "山田太郎・鈴木花子"}, {Ot, "\r\n詳しい情報です。"}}},
        {"no </TD> after the description: neither it nor the information is taken",
         {{Desc, "<BR>今日の出来事を伝えます。\n"}, {Perf, Yamada + "、" + Suzuki + "\n"},
          {Info, InfoCell + "\n詳しい情報です。\n"}},
         {{Pe, "山田太郎・鈴木花子"}, {Ot, "\r\n"}}},
        {"a one-byte information cell: that byte is the one skipped", {{Info, InfoCell + "x</TD>\n"}}, {{Ot, Said}}},
        {"an over-long description is cut at a character and keeps its CR LF",
         {{Desc, "<BR>" + R("あ", 600) + "\n</TD></TR></TABLE>\n"}}, {{Ot, R("あ", 498) + "\r\n"}}},
        {"an over-long information text fills the field to its last byte",
         {{Info, InfoCell + "\n" + R("x", 1200) + "\n</TD>\n"}}, {{Ot, Said + R("x", 973)}}},
        // Performers.
        {"names before the first heading are kept", {{Perf, Cell(Yamada + "<BR>\n司会／" + Link(3, "佐藤一郎"))}},
         {{Pe, "山田太郎司会／佐藤一郎"}}},
        {"a '／' in the information text is no heading", {{Perf, both}, {Info, InfoCell + "\n字幕／二か国語\n</TD>\n"}},
         {{Pe, "山田太郎・鈴木花子"}, {Ot, Said + "字幕／二か国語"}}},
        {"a '／' right against a link's address is no heading",
         {{Perf, Cell("<A href=\"出演／/program/listPerformer.php?id=1\">山田太郎</A>")}}, {{Pe, "山田太郎"}}},
        {"a heading right behind the cursor starts at the cursor",
         {{Station, " 　ＮＨＫ総合 /出演／" + Yamada + "<BR>説明\n</TD>\n"}, {Desc, ""}, {Perf, ""}},
         {{Pe, "出演／山田太郎"}, {Ot, "説明\r\n詳しい情報です。"}}},
        {"a name of 30 bytes is skipped, one of 29 kept",
         {{Perf, Cell("出演／" + longName + "、" + Link(1, R("名", 14) + "A") + "、" + Yamada)}},
         {{Pe, "出演／" + R("名", 14) + "A・山田太郎"}}},
        {"a heading whose only name is skipped loses its '／'",
         {{Perf, Cell("出演／" + Yamada + "<BR>\n司会／" + longName)}}, {{Pe, "出演／山田太郎司会"}}},
        {"a name with nothing after it runs to the page's end", {{Perf, tag + "\">山田太郎"}},
         {{Pe, "出演／山田太郎"}, {Ot, Said}}, Perf},
        // Names of 5 bytes take 7 with the separator: 12 + 141 * 7 = 999, the whole field.
        {"names filling the field exactly are kept", {{Perf, Cell("出演者一同／" + R(name5, 150))}},
         {{Pe, "出演者一同／" + R("名前A・", 140) + "名前A"}}},
        {"a name one byte over the field is not", {{Perf, Cell("出演者一同A／" + R(name5, 150))}},
         {{Pe, "出演者一同A／" + R("名前A・", 139) + "名前A"}}},
        // 6 + 138 * 7 = 972 bytes; the heading replaces the last separator.
        {"a heading filling the field exactly is kept",
         {{Perf, Cell("出演／" + R(name5, 138) + "<BR>\n声の出演者とゲストの皆さんA／" + Yamada)}},
         {{Pe, "出演／" + R("名前A・", 137) + "名前A声の出演者とゲストの皆さんA"}}},
        {"once a heading does not fit, no later name is taken",
         {{Perf, Cell("出演／" + R(name5, 138) + "<BR>\n声の出演者とゲストの皆さんAB／" + Link(2, "山田"))}},
         {{Pe, "出演／" + R("名前A・", 137) + "名前A"}}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> pieces(std::begin(Sample), std::end(Sample));
        for (const auto& [piece, text] : c.Changes) pieces[piece] = text;
        std::string page;
        for (int i = Head; i <= c.Last; ++i) page += pieces[i];
        std::vector<std::string> want = Expected;
        for (const auto& [field, value] : c.Want) want[field] = value;
        ExpectFields(ToEuc(page), want, c.Name, c.Year);
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
        std::ifstream lines(std::filesystem::path(entry.path()).replace_extension(".expected"), std::ios::binary);
        for (std::string line; std::getline(lines, line) && (want.emplace_back(), true);)
            for (size_t i = line.find('\t') + 1; i < line.size(); ++i)
                want.back() += line[i] != '\\' || i + 1 == line.size() ? line[i]
                               : line[++i] == 'r' ? '\r' : line[i] == 'n' ? '\n' : line[i] == 't' ? '\t' : line[i];
        std::ifstream page(entry.path(), std::ios::binary);
        ExpectFields({std::istreambuf_iterator<char>(page), {}}, want, entry.path().string());
    }
    EXPECT_GE(pages, 8u);
}
