#include <windows.h>
#include <commctrl.h>

#include "app/app_state.h"
#include "fetch/progress_window.h"
#include "listing/row_texts.h"

void TELOMI::AddRow()
{
    // From the worker, one message has the progress window add the row on the
    // interface thread: under Wine eight list-view messages sent across threads
    // cost several times the row itself. Without that window, the row goes in here.
    const DWORD owner = ProgressWnd ? GetWindowThreadProcessId(ProgressWnd, nullptr) : 0;
    if (owner && owner != GetCurrentThreadId() &&
        SendMessageA(ProgressWnd, WM_ADDROW, 0, reinterpret_cast<LPARAM>(this)))
        return;
    FormatDisplayTexts(*this);

    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = RowCount;
    item.pszText = Title;
    item.lParam = RowCount;
    SendMessageA(MainListView, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));

    char* const columns[] = {Subtitle, Station, DateText, StartText, EndText, Performers, Other};
    for (int column = 1; column <= 7; ++column) {
        LVITEMA cell = {};
        cell.mask = LVIF_TEXT;
        cell.iItem = RowCount;
        cell.iSubItem = column;
        cell.pszText = columns[column - 1];
        SendMessageA(MainListView, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&cell));
    }
    ++RowCount;
}
