#include "fetch/list_rows.h"

#include <commctrl.h>

#include "listing/row_texts.h"

void AddRow(HWND list, TELOMI& record, int row)
{
    FormatDisplayTexts(record);

    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.pszText = record.Title;
    item.lParam = row;
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));

    for (int column = 1; column < RowColumnCount; ++column) {
        LVITEMA cell = {};
        cell.mask = LVIF_TEXT;
        cell.iItem = row;
        cell.iSubItem = column;
        cell.pszText = const_cast<char*>(RowText(record, column));
        SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&cell));
    }
}
