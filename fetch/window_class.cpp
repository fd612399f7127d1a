#include "fetch/window_class.h"

#include "res/resource.h"

HINSTANCE AppInstance;

ATOM RegisterWindowClass(HINSTANCE instance, WNDPROC procedure, const char* className, bool withMenu)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TELOMIYA));
    windowClass.hCursor = static_cast<HCURSOR>(LoadImageA(nullptr, MAKEINTRESOURCEA(32512), IMAGE_CURSOR,
                                                          0, 0, LR_SHARED | LR_DEFAULTSIZE));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszMenuName = withMenu ? MAKEINTRESOURCEA(IDR_MAINMENU) : nullptr;
    windowClass.lpszClassName = className;
    return RegisterClassExA(&windowClass);
}

HWND CreateChild(HWND parent, const char* className, const char* text, DWORD style, int id)
{
    return CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), AppInstance, nullptr);
}
