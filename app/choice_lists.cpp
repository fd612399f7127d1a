#include "app/choice_lists.h"

#include <cstring>

#include "fetch/choices.h"

namespace {

void AddEntry(HWND list, const char* label, int position)
{
    LRESULT index = SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label));
    if (index >= 0)
        SendMessageA(list, CB_SETITEMDATA, index, position);
}

void SelectPosition(HWND list, int position)
{
    const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT index = 0; index < count; ++index) {
        if (SendMessageA(list, CB_GETITEMDATA, index, 0) == position) {
            SendMessageA(list, CB_SETCURSEL, index, 0);
            return;
        }
    }
    SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

void FillFromTable(HWND list, const Choice* table, int count, int selected)
{
    for (int position = 0; position < count; ++position)
        AddEntry(list, table[position].Label, position);
    SelectPosition(list, selected);
}

} // namespace

void FillGenreList(HWND list, int selected)
{
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
    LRESULT index = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return -1;
    return static_cast<int>(SendMessageA(list, CB_GETITEMDATA, index, 0));
}
