#include "fetch/progress_window.h"

#include <commctrl.h>

#include <cstring>

#include "fetch/list_rows.h"
#include "fetch/retrieval.h"
#include "fetch/wide_text.h"
#include "fetch/window_class.h"
#include "res/resource.h"

char ProgressText[256];

namespace {

// The window's state, on the interface thread only, like the window itself.
// The list the rows go into.
HWND RowsList;
constexpr UINT_PTR DotTimer = 5;
// While a retrieval runs, the rows of completed records go into the list and
// the list draws only on this timer: a list that redraws for every inserted
// row spends more on drawing than on the rows.
constexpr UINT_PTR ShowRowsTimer = 6;
constexpr UINT ShowRowsEvery = 200;
int RowsShown;
DWORD PaintedAt;
const char* const Dot = "・";
HWND AbortButton;
int ClientHeightAtCreation;
// Length of the line without its dots, so a full line can start its dots again.
size_t ProgressBaseLength;

void SetProgressLine(const char* text)
{
    std::strcpy(ProgressText, text);
    ProgressBaseLength = std::strlen(ProgressText);
}

void CreateProgressControls(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    const int width = client.right;
    const int height = client.bottom;
    ClientHeightAtCreation = height;
    SetTimer(window, DotTimer, 2000, nullptr);
    RowsShown = -1;
    SendMessageW(RowsList, WM_SETREDRAW, FALSE, 0);
    SetTimer(window, ShowRowsTimer, ShowRowsEvery, nullptr);
    AbortButton = CreateChild(window, "BUTTON", "中断する", 0, IDC_ABORT);
    MoveWindow(AbortButton, width / 5, 4 * height / 5, 3 * width / 5, height / 5 - 5, FALSE);
    SetProgressLine("取得中・・・");
}

void AddDot(HWND window)
{
    if (std::strlen(ProgressText) + std::strlen(Dot) >= sizeof ProgressText)
        ProgressText[ProgressBaseLength] = '\0';
    std::strcat(ProgressText, Dot);
    InvalidateRect(window, nullptr, TRUE);
}

// Adds the new rows and lets the list show them, then holds it again. Rows
// below the visible part change only the scroll bar, so the list is painted
// for them just once a second, which also shows anything the user did to it
// (a tick, a sort) while no row arrives.
void ShowNewRows()
{
    AddCompletedRows();
    const int rows = RowCount;
    const bool due = GetTickCount() - PaintedAt >= 1000;
    if (rows == RowsShown && !due)
        return;
    const int lastVisible = static_cast<int>(SendMessageW(RowsList, LVM_GETTOPINDEX, 0, 0) +
                                             SendMessageW(RowsList, LVM_GETCOUNTPERPAGE, 0, 0));
    const bool paint = due || RowsShown <= lastVisible || GetUpdateRect(RowsList, nullptr, FALSE);
    RowsShown = rows;
    SendMessageW(RowsList, WM_SETREDRAW, TRUE, 0);
    if (paint) {
        UpdateWindow(RowsList);
        PaintedAt = GetTickCount();
    } else {
        ValidateRect(RowsList, nullptr);
    }
    SendMessageW(RowsList, WM_SETREDRAW, FALSE, 0);
}

void PaintProgressLine(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    PaintText(dc, 10, ClientHeightAtCreation / 4, ProgressText);
    EndPaint(window, &paint);
}

} // namespace

HWND CreateProgressWindow(HWND owner, const RECT& ownerClient, HWND list)
{
    RowsList = list;
    RegisterWindowClass(AppInstance, ProgressWndProc, "message", false);
    HWND window = CreateWindowExW(0, L"message", Wide("状況").c_str(), WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                  ownerClient.right / 3, ownerClient.bottom / 5, owner, nullptr, AppInstance,
                                  nullptr);
    if (!window)
        return nullptr;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return window;
}

// Rows in record order, so each row's item data is its record's index.
void AddCompletedRows()
{
    const int completed = ProgrammeCount.load(std::memory_order_acquire);
    while (RowCount < completed) {
        AddRow(RowsList, ProgrammeList[RowCount], RowCount);
        ++RowCount;
    }
}

LRESULT CALLBACK ProgressWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        CreateProgressControls(window);
        return 0;
    case WM_PAINT:
        PaintProgressLine(window);
        return 0;
    case WM_TIMER:
        if (wParam == ShowRowsTimer)
            ShowNewRows();
        else
            AddDot(window);
        return 0;
    case WM_RETRIEVALDONE:
        FinishRetrieval(window);
        return 0;
    case WM_SYSCOMMAND:
        // Only the end steps close this window, once every row is in.
        if ((wParam & 0xFFF0) == SC_CLOSE)
            return 0;
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDC_ABORT)
            break;
        StopRetrieval();
        SetProgressLine("中断中");
        return 0;
    case WM_DESTROY:
        KillTimer(window, DotTimer);
        KillTimer(window, ShowRowsTimer);
        DestroyWindow(AbortButton);
        SendMessageW(RowsList, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(RowsList, nullptr, TRUE);
        // Destroyed with its owner while the walk runs: the retrieval stops.
        if (ProgressWnd == window) {
            ProgressWnd = nullptr;
            StopRetrieval();
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
