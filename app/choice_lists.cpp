#include "app/choice_lists.h"

#include <cstring>

#include "fetch/choices.h"
#include "fetch/wide_text.h"

namespace {

// Sorting lists order their entries as a Japanese system does, whatever the
// system's own language: the tables list their choices in that order.
void SortAsJapanese(HWND list)
{
    SendMessageW(list, CB_SETLOCALE, MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), SORT_DEFAULT), 0);
}

void AddEntry(HWND list, const char* label, int position)
{
    LRESULT index = SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(label).c_str()));
    if (index >= 0)
        SendMessageW(list, CB_SETITEMDATA, index, position);
}

void SelectPosition(HWND list, int position)
{
    const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT index = 0; index < count; ++index) {
        if (SendMessageW(list, CB_GETITEMDATA, index, 0) == position) {
            SendMessageW(list, CB_SETCURSEL, index, 0);
            return;
        }
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

void FillFromTable(HWND list, const Choice* table, int count, int selected)
{
    SortAsJapanese(list);
    for (int position = 0; position < count; ++position)
        AddEntry(list, table[position].Label, position);
    SelectPosition(list, selected);
}

} // namespace

void FillGenreList(HWND list, int selected)
{
    SortAsJapanese(list);
    for (const char* label : GenreAddOrder) {
        for (int position = 0; position < GenreChoiceCount; ++position) {
            if (std::strcmp(GenreChoices[position].Label, label) == 0)
                AddEntry(list, label, position);
        }
    }
    SelectPosition(list, selected);
}

void FillTimeList(HWND list, int selected)
{
    FillFromTable(list, TimeChoices, TimeChoiceCount, selected);
}

void FillRegionList(HWND list, int selected)
{
    FillFromTable(list, RegionChoices, RegionChoiceCount, selected);
}

void FillDayList(HWND list, int selected)
{
    FillFromTable(list, DayChoices, DayChoiceCount, selected);
}

int SelectedChoice(HWND list)
{
    LRESULT index = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return -1;
    return static_cast<int>(SendMessageW(list, CB_GETITEMDATA, index, 0));
}
