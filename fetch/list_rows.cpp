#include "fetch/list_rows.h"

#include <commctrl.h>

#include "fetch/wide_text.h"
#include "listing/row_texts.h"

void AddRow(HWND list, TELOMI& record, int row)
{
    FormatDisplayTexts(record);

    std::wstring text = Wide(record.Title);
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.pszText = text.data();
    item.lParam = row;
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));

    for (int column = 1; column < RowColumnCount; ++column) {
        text = Wide(RowText(record, column));
        LVITEMW cell = {};
        cell.mask = LVIF_TEXT;
        cell.iItem = row;
        cell.iSubItem = column;
        cell.pszText = text.data();
        SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&cell));
    }
}
