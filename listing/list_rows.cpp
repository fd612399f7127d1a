#include <windows.h>
#include <commctrl.h>

#include "app/app_state.h"
#include "fetch/progress_window.h"
#include "listing/row_texts.h"

void TELOMI::AddRow()
{
    // The worker leaves its rows to the progress window, which adds them in
    // batches on the interface thread: sent one by one across threads, the
    // list-view messages cost the worker more than the row itself under Wine.
    const DWORD owner = ProgressWnd ? GetWindowThreadProcessId(ProgressWnd, nullptr) : 0;
    if (owner && owner != GetCurrentThreadId())
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
