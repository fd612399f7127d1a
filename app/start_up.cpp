#include "app/app_state.h"
#include "app/main_window.h"
#include "fetch/wide_text.h"
#include "fetch/window_class.h"

bool CreateMainWindow(HINSTANCE instance, int showCommand, const char* className)
{
    MainWnd = CreateWindowExW(0, Wide(className).c_str(), Wide("てろみや").c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance,
                              nullptr);
    if (!MainWnd)
        return false;
    ShowWindow(MainWnd, showCommand);
    UpdateWindow(MainWnd);
    return true;
}

int RunApplication(HINSTANCE instance, int showCommand)
{
    AppInstance = instance;
    if (!RegisterWindowClass(instance, MainWndProc, "Main", false))
        return 0;
    if (!CreateMainWindow(instance, showCommand, "Main"))
        return 0;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
