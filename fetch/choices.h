// The four choice tables: what the user sees and the site's code behind it.
#pragma once

struct Choice {
    const char* Label;
    const char* Code;
};

constexpr int DayChoiceCount = 8;
constexpr int TimeChoiceCount = 13;
constexpr int RegionChoiceCount = 47;
constexpr int GenreChoiceCount = 15;

// Positions are positions in the list as shown. For days the code is unused;
// the position is the number of days ahead.
extern const Choice DayChoices[DayChoiceCount];
extern const Choice TimeChoices[TimeChoiceCount];
extern const Choice RegionChoices[RegionChoiceCount];
// In shown order (the sorting list's order), position 0 "アニメ・特撮", 14 "全て".
extern const Choice GenreChoices[GenreChoiceCount];
// The genre labels in the order they are added to a sorting list.
extern const char* const GenreAddOrder[GenreChoiceCount];
