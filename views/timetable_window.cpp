#include "views/timetable_window.h"

#include <cstdio>
#include <vector>

#include "fetch/wide_text.h"
#include "fetch/window_class.h"
#include "res/resource.h"
#include "views/detail_window.h"
#include "views/timetable_layout.h"

HWND TableWnd;

namespace {

// Runs the second pass of a fit once the first pass has been repainted.
constexpr UINT_PTR FitTimer = 1;
constexpr UINT FitDelayMilliseconds = 10;
const COLORREF BoxHatchColour = RGB(252, 166, 84);


RECT ReadClientSize(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    TableLayout.clientWidth = client.right;
    TableLayout.clientHeight = client.bottom;
    return client;
}

void OnCreate(HWND window)
{
    TableWnd = window;
    ReadClientSize(window);
}

void RequestFit(HWND window)
{
    SendMessageW(window, WM_LBUTTONDBLCLK, 0, 0);
}

void DrawGridLines(HDC dc)
{
    const int w = TableLayout.clientWidth;
    const int h = TableLayout.clientHeight;
    const int s = TableLayout.stationColumnWidth;
    const int t = TableLayout.headerHeight;
    const int u = TableLayout.hourWidth;
    MoveToEx(dc, 0, t, nullptr);
    LineTo(dc, w, t);
    for (size_t r = 1; r < StationTable.size(); ++r) {
        MoveToEx(dc, 0, StationTable[r].Top, nullptr);
        LineTo(dc, w, StationTable[r].Top);
    }
    MoveToEx(dc, s, 0, nullptr);
    LineTo(dc, s, h);
    for (int k = 1; k < TableLayout.hourCount; ++k) {
        MoveToEx(dc, s + k * u, 0, nullptr);
        LineTo(dc, s + k * u, h);
    }
    // Half-hour marks, in the label band only.
    for (int k = 0; k < TableLayout.hourCount; ++k) {
        MoveToEx(dc, s + k * u + u / 2, 0, nullptr);
        LineTo(dc, s + k * u + u / 2, t);
    }
}

void DrawTimeLabels(HDC dc, int firstHour)
{
    for (const TimeLabel& label : BuildTimeLabels(TableLayout, firstHour)) {
        RECT box = {label.Left, label.Top, label.Right, label.Bottom};
        DrawTextW(dc, Wide(label.Text).c_str(), -1, &box, DT_SINGLELINE | DT_VCENTER);
    }
}

void DrawStationNames(HDC dc)
{
    const int s = TableLayout.stationColumnWidth;
    const int q = RowHeight(TableLayout);
    for (const StationRow& row : StationTable) {
        RECT box = {0, row.Top, s, row.Top + q};
        DrawTextW(dc, Wide(row.Name).c_str(), -1, &box, DT_SINGLELINE | DT_VCENTER);
    }
}

void DrawProgrammeBox(HDC dc, const TELOMI& record)
{
    const ProgrammeBox& box = record.Box;
    Rectangle(dc, box.Left, box.Top, box.Right, box.Bottom);
    // A longer text is cut at 999 bytes.
    char text[1000];
    std::snprintf(text, sizeof text, "%.2d:%.2d～%.2d:%.2d\n%.*s\n『%.*s』\n%.*s", record.StartHour,
                  record.StartMinute, record.EndHour, record.EndMinute, static_cast<int>(sizeof record.Title),
                  record.Title, static_cast<int>(sizeof record.Subtitle), record.Subtitle,
                  static_cast<int>(sizeof record.Other), record.Other);
    RECT textBox = {box.Left + 5, box.Top, box.Right, box.Bottom};
    DrawTextW(dc, Wide(text).c_str(), -1, &textBox, DT_WORDBREAK | DT_PATH_ELLIPSIS);
}

// The whole client area into dc; the window's paint and WM_PRINTCLIENT share it.
void DrawTimetable(HDC dc)
{
    HFONT font = CreateJapaneseFont(FontHeight(TableLayout));
    HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, BoxHatchColour);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldBrush = SelectObject(dc, hatch);
    // The worker may be appending: read only the records complete at this moment.
    const int count = ProgrammeCount;
    // The records carry no year; the listing is of days around today.
    SYSTEMTIME today;
    GetLocalTime(&today);
    const int firstHour = LayOutTimetable(ProgrammeList, count, today.wYear, TableLayout, StationTable);
    HGDIOBJ oldFont = SelectObject(dc, font);

    DrawGridLines(dc);
    DrawTimeLabels(dc, firstHour);
    DrawStationNames(dc);
    for (int i = 0; i < count; ++i)
        DrawProgrammeBox(dc, ProgrammeList[i]);

    SelectObject(dc, oldFont);
    SelectObject(dc, oldBrush);
    DeleteObject(font);
    DeleteObject(hatch);
}

void PaintTimetable(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    DrawTimetable(dc);
    EndPaint(window, &paint);
    if (TableLayout.fitPending) {
        TableLayout.fitPending = false;
        RequestFit(window);
    }
}

void FitTimetableWindow(HWND window)
{
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    GetWindowPlacement(window, &placement);
    RECT outer;
    GetWindowRect(window, &outer);
    const RECT client = ReadClientSize(window);
    const int w0 = client.right;
    const int h0 = client.bottom;
    int w1 = w0;
    int h1 = h0;
    if (!FitClientSize(TableLayout, w0, h0, w1, h1))
        return;
    const int width = (outer.right - outer.left) - w0 + w1;
    const int height = (outer.bottom - outer.top) - h0 + h1;
    const POINT at = placement.showCmd == SW_SHOWMAXIMIZED
                         ? placement.ptMaxPosition
                         : POINT{placement.rcNormalPosition.left, placement.rcNormalPosition.top};
    MoveWindow(window, at.x, at.y, width, height, TRUE);
    SetTimer(window, FitTimer, FitDelayMilliseconds, nullptr);
}

void FitAgainOnce(HWND window, WPARAM timer)
{
    RequestFit(window);
    KillTimer(window, timer);
}

void OpenDetailAt(HWND window, LPARAM position)
{
    const int x = LOWORD(position);
    const int y = HIWORD(position);
    const RECT client = ReadClientSize(window);
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    GetWindowPlacement(window, &placement);
    OpenDetailWindow(x, y, window, client, placement);
    UpdateWindow(window);
}

void ShowFitMenu(HWND window, LPARAM position)
{
    HMENU menu = LoadMenuW(AppInstance, MAKEINTRESOURCEW(IDR_TABLEMENU));
    POINT at = {LOWORD(position), HIWORD(position)};
    ClientToScreen(window, &at);
    TrackPopupMenu(GetSubMenu(menu, 0), 0, at.x, at.y, 0, window, nullptr);
    DestroyMenu(menu);
}

void CloseTimetable(HWND window)
{
    std::vector<StationRow>().swap(StationTable);
    TableLayout.fitPending = true;
    DestroyWindow(window);
}

} // namespace

LRESULT CALLBACK TableWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_SIZE:
        ReadClientSize(window);
        return 0;
    case WM_PAINT:
        PaintTimetable(window);
        return 0;
    case WM_PRINTCLIENT:
        DrawTimetable(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_CLOSE:
        CloseTimetable(window);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) != ID_FIT_WIDTH)
            break;
        RequestFit(window);
        return 0;
    case WM_TIMER:
        if (wParam != FitTimer)
            break;
        FitAgainOnce(window, wParam);
        return 0;
    case WM_LBUTTONUP:
        OpenDetailAt(window, lParam);
        return 0;
    case WM_LBUTTONDBLCLK:
        FitTimetableWindow(window);
        return 0;
    case WM_RBUTTONDOWN:
        ShowFitMenu(window, lParam);
        return 0;
    case WM_DESTROY:
        if (TableWnd == window)
            TableWnd = nullptr;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
