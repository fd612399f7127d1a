#include "views/detail_window.h"

#include <shellapi.h>

#include <cstdio>
#include <string>

#include "fetch/wide_text.h"
#include "fetch/window_class.h"
#include "listing/programme.h"
#include "res/resource.h"
#include "views/search_address.h"

HWND DetailWnd;
int32_t SelectedProgramme = NoProgramme;

namespace {

void ShellOpen(const char* address)
{
    ShellExecuteW(nullptr, L"open", Wide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// The details text, cut like wsprintfA's 1,024-byte buffer.
constexpr int DetailTextSize = 1024;
// Longer selections, counted in code page 932 bytes, are taken for a slip of
// the mouse, not a search term.
constexpr int MaxSearchBytes = 99;
// Only this much of the field is read when searching.
constexpr int SearchTextSize = 2000;
constexpr int ButtonHeight = 20;

// The last box that holds the point strictly inside wins, being painted last.
// Only complete records: the worker may be appending behind ProgrammeCount.
int32_t FindProgrammeAt(int x, int y)
{
    int32_t found = NoProgramme;
    const int32_t count = ProgrammeCount;
    for (int32_t i = 0; i < count; ++i) {
        const ProgrammeBox& box = ProgrammeList[i].Box;
        if (x > box.Left && x < box.Right && y > box.Top && y < box.Bottom)
            found = i;
    }
    return found;
}

// Clicks in the right or lower half open the window towards the middle; the
// placement stands in for the client area's screen origin.
POINT DetailWindowOrigin(int x, int y, int w, int h, const WINDOWPLACEMENT& placement)
{
    if (x > w / 2)
        x -= w / 3;
    if (y > h / 2)
        y -= h / 3;
    if (placement.showCmd == SW_SHOWMAXIMIZED)
        return {x + placement.ptMaxPosition.x, y + placement.ptMaxPosition.y};
    return {x + placement.rcNormalPosition.right - w, y + placement.rcNormalPosition.bottom - h};
}

void FormatDetails(const TELOMI& record, char (&text)[DetailTextSize])
{
    std::snprintf(text, sizeof text, "%.*s～%.*s\r\n%.*s\r\n%.*s\r\n%.*s\r\n%.*s\r\n%.*s",
                  static_cast<int>(sizeof record.StartText), record.StartText,
                  static_cast<int>(sizeof record.EndText), record.EndText,
                  static_cast<int>(sizeof record.Station), record.Station,
                  static_cast<int>(sizeof record.Title), record.Title,
                  static_cast<int>(sizeof record.Subtitle), record.Subtitle,
                  static_cast<int>(sizeof record.Performers), record.Performers,
                  static_cast<int>(sizeof record.Other), record.Other);
}

void LayOutDetailControls(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    const int cw = client.right;
    const int ch = client.bottom;
    MoveWindow(GetDlgItem(window, IDC_DETAIL_TEXT), 0, 0, cw, ch - 2 * ButtonHeight, TRUE);
    MoveWindow(GetDlgItem(window, IDC_GOOGLE), 0, ch - 2 * ButtonHeight, cw, ButtonHeight, TRUE);
    MoveWindow(GetDlgItem(window, IDC_WIKIPEDIA), 0, ch - ButtonHeight, cw, ButtonHeight, TRUE);
}


void BuildDetailWindow(HWND window)
{
    // A Unicode control, as every child is: it counts its selection in UTF-16
    // units, where an ANSI edit counts bytes on Windows but characters under Wine.
    HWND field = CreateChild(window, "EDIT", "", WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOHSCROLL,
                             IDC_DETAIL_TEXT);
    CreateChild(window, "BUTTON", "Wikipediaで検索", 0, IDC_WIKIPEDIA);
    CreateChild(window, "BUTTON", "Googleで検索", 0, IDC_GOOGLE);
    char text[DetailTextSize];
    FormatDetails(ProgrammeList[SelectedProgramme], text);
    ShowText(field, text);
    LayOutDetailControls(window);
}

// Search sites expect UTF-8.
std::string ToUtf8(const wchar_t* text, int length)
{
    char utf8[3 * SearchTextSize];
    const int utf8Length = WideCharToMultiByte(CP_UTF8, 0, text, length, utf8, sizeof utf8, nullptr, nullptr);
    return utf8Length > 0 ? std::string(utf8, utf8Length) : std::string();
}

void SearchSelection(HWND window, const char* prefix)
{
    HWND field = GetDlgItem(window, IDC_DETAIL_TEXT);
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    // No character is shorter than a byte, so this settles most selections unread.
    if (end <= start || end - start > static_cast<DWORD>(MaxSearchBytes))
        return;
    wchar_t text[SearchTextSize];
    const DWORD length = static_cast<DWORD>(GetWindowTextW(field, text, SearchTextSize));
    // A selection past the characters read is cut at their end.
    if (end > length)
        end = length;
    if (end <= start)
        return;
    const wchar_t* selection = text + start;
    const int count = static_cast<int>(end - start);
    bool whole = false;
    Narrow(std::wstring_view(selection, count), MaxSearchBytes + 1, &whole);
    if (!whole)
        return;
    const std::string utf8 = ToUtf8(selection, count);
    if (utf8.empty())
        return;
    OpenInBrowser(BuildSearchAddress(prefix, utf8).c_str());
}

} // namespace

void (*OpenInBrowser)(const char* address) = ShellOpen;

void OpenDetailWindow(int x, int y, HWND timetable, const RECT& client, const WINDOWPLACEMENT& placement)
{
    if (DetailWnd) {
        DestroyWindow(DetailWnd);
        DetailWnd = nullptr;
    }
    SelectedProgramme = FindProgrammeAt(x, y);
    if (SelectedProgramme == NoProgramme)
        return;

    const int w = client.right - client.left;
    const int h = client.bottom - client.top;
    const POINT origin = DetailWindowOrigin(x, y, w, h, placement);
    RegisterWindowClass(AppInstance, DetailWndProc, "window", false);
    DetailWnd = CreateWindowExW(0, L"window", L"", WS_POPUP | WS_VISIBLE | WS_THICKFRAME, origin.x, origin.y,
                                w / 3, h / 3, timetable, nullptr, AppInstance, nullptr);
    if (!DetailWnd)
        return;
    ShowWindow(DetailWnd, SW_SHOW);
    UpdateWindow(DetailWnd);
}

LRESULT CALLBACK DetailWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        BuildDetailWindow(window);
        return 0;
    case WM_SIZE:
        LayOutDetailControls(window);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_GOOGLE)
            SearchSelection(window, SearchEnginePrefix);
        else if (LOWORD(wParam) == IDC_WIKIPEDIA)
            SearchSelection(window, EncyclopediaPrefix);
        return 0;
    case WM_DESTROY:
        if (DetailWnd == window)
            DetailWnd = nullptr;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
