#include "fetch/window_class.h"

#include "fetch/wide_text.h"
#include "res/resource.h"

HINSTANCE AppInstance;

ATOM RegisterWindowClass(HINSTANCE instance, WNDPROC procedure, const char* className, bool withMenu)
{
    // Wide classes make wide windows: no text of theirs passes through the
    // system's code page.
    const std::wstring name = Wide(className);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TELOMIYA));
    windowClass.hCursor = static_cast<HCURSOR>(LoadImageW(nullptr, MAKEINTRESOURCEW(32512), IMAGE_CURSOR,
                                                          0, 0, LR_SHARED | LR_DEFAULTSIZE));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszMenuName = withMenu ? MAKEINTRESOURCEW(IDR_MAINMENU) : nullptr;
    windowClass.lpszClassName = name.c_str();
    return RegisterClassExW(&windowClass);
}

HWND CreateChild(HWND parent, const char* className, const char* text, DWORD style, int id)
{
    HWND child = CreateWindowExW(0, Wide(className).c_str(), text ? Wide(text).c_str() : nullptr,
                                 WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), AppInstance, nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(InterfaceFont()), FALSE);
    return child;
}

HFONT CreateJapaneseFont(int height)
{
    return CreateFontW(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"MS UI Gothic");
}

HFONT InterfaceFont()
{
    // Nine points, the size of the system's own Japanese interface.
    static const HFONT font = [] {
        HDC screen = GetDC(nullptr);
        const int height = -MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72);
        ReleaseDC(nullptr, screen);
        return CreateJapaneseFont(height);
    }();
    return font;
}

void PaintText(HDC dc, int x, int y, std::string_view text)
{
    const std::wstring wide = Wide(text);
    HGDIOBJ oldFont = SelectObject(dc, InterfaceFont());
    TextOutW(dc, x, y, wide.c_str(), static_cast<int>(wide.size()));
    SelectObject(dc, oldFont);
}
