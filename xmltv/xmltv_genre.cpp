#include "xmltv/xmltv_genre.h"

#include <cstring>

#include "fetch/choices.h"

namespace {

struct Category {
    const char* Text;
    const char* Genre;  // the label shown in the genre list
};

// The shown labels themselves are known too. The Japanese names are the
// large genres Japanese recording software writes; the English ones are the
// usual XMLTV categories.
const Category Categories[] = {
    {"ニュース／報道", "ニュース・報道"},
    {"ニュース", "ニュース・報道"},
    {"報道", "ニュース・報道"},
    {"スポーツ", "スポーツ"},
    {"情報／ワイドショー", "情報"},
    {"ワイドショー", "情報"},
    {"ドラマ", "ドラマ"},
    {"音楽", "音楽"},
    {"バラエティ", "バラエティ"},
    {"映画", "映画"},
    {"アニメ／特撮", "アニメ・特撮"},
    {"アニメ", "アニメ・特撮"},
    {"特撮", "アニメ・特撮"},
    {"ドキュメンタリー／教養", "ﾄﾞｷｭﾒﾝﾀﾘｰ・教養"},
    {"ドキュメンタリー・教養", "ﾄﾞｷｭﾒﾝﾀﾘｰ・教養"},
    {"ドキュメンタリー", "ﾄﾞｷｭﾒﾝﾀﾘｰ・教養"},
    {"劇場／公演", "演劇"},
    {"趣味／教育", "趣味・実用"},
    {"福祉", "その他"},
    {"News", "ニュース・報道"},
    {"Weather", "ニュース・報道"},
    {"Movie", "映画"},
    {"Film", "映画"},
    {"Sports", "スポーツ"},
    {"Sport", "スポーツ"},
    {"Animation", "アニメ・特撮"},
    {"Anime", "アニメ・特撮"},
    {"Tokusatsu", "アニメ・特撮"},
    {"Drama", "ドラマ"},
    {"Series", "ドラマ"},
    {"Documentary", "ﾄﾞｷｭﾒﾝﾀﾘｰ・教養"},
    {"Science", "ﾄﾞｷｭﾒﾝﾀﾘｰ・教養"},
    {"Nature", "ﾄﾞｷｭﾒﾝﾀﾘｰ・教養"},
    {"Music", "音楽"},
    {"Entertainment", "バラエティ"},
    {"Variety", "バラエティ"},
    {"Comedy", "バラエティ"},
    {"Game show", "バラエティ"},
    {"Children", "キッズ"},
    {"Kids", "キッズ"},
    {"Education", "教育"},
    {"Educational", "教育"},
    {"Theatre", "演劇"},
    {"Theater", "演劇"},
    {"Talk", "情報"},
    {"Talk show", "情報"},
    {"Information", "情報"},
    {"Lifestyle", "趣味・実用"},
    {"Cooking", "趣味・実用"},
    {"Travel", "趣味・実用"},
    {"Hobby", "趣味・実用"},
    {"Other", "その他"},
};

int PositionOfLabel(std::string_view label)
{
    for (int i = 0; i < GenreChoiceCount; ++i)
        if (label == GenreChoices[i].Label)
            return i;
    return -1;
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Case is folded only in all-ASCII text: a trail byte of a double-byte
// character may look like a letter.
bool SameText(std::string_view text, std::string_view known)
{
    if (text.size() != known.size())
        return false;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return text == known;
    for (size_t i = 0; i < text.size(); ++i)
        if (Lower(text[i]) != Lower(known[i]))
            return false;
    return true;
}

}  // namespace

int XmltvGenrePosition(std::string_view category)
{
    const std::string_view blanks = " \t\r\n";
    const size_t first = category.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return -1;
    category = category.substr(first, category.find_last_not_of(blanks) - first + 1);

    const int all = PositionOfLabel("全て");
    for (int i = 0; i < GenreChoiceCount; ++i)
        if (i != all && category == GenreChoices[i].Label)
            return i;
    for (const Category& known : Categories)
        if (SameText(category, known.Text))
            return PositionOfLabel(known.Genre);
    return -1;
}
