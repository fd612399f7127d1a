#include "fetch/progress_window.h"

#include <cstring>

#include "app/app_state.h"
#include "res/resource.h"

char ProgressText[256];

namespace {

constexpr UINT_PTR DotTimer = 5;
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
    AbortButton = CreateWindowExA(0, "BUTTON", "中断する", WS_CHILD | WS_VISIBLE, width / 5, 4 * height / 5,
                                  3 * width / 5, height / 5 - 5, window, reinterpret_cast<HMENU>(IDC_ABORT),
                                  AppInstance, nullptr);
    SetProgressLine("取得中・・・");
}

void AddDot(HWND window)
{
    if (std::strlen(ProgressText) + std::strlen(Dot) >= sizeof ProgressText)
        ProgressText[ProgressBaseLength] = '\0';
    std::strcat(ProgressText, Dot);
    InvalidateRect(window, nullptr, TRUE);
}

void PaintProgressLine(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    TextOutA(dc, 10, ClientHeightAtCreation / 4, ProgressText, static_cast<int>(std::strlen(ProgressText)));
    EndPaint(window, &paint);
}

} // namespace

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
        AddDot(window);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDC_ABORT)
            break;
        AbortFlag = true;
        SetProgressLine("中断中");
        return 0;
    case WM_DESTROY:
        KillTimer(window, DotTimer);
        DestroyWindow(AbortButton);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
