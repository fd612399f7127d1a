#include "views/timetable_window.h"

// The painted timetable arrives with its own change; until then an empty window.
LRESULT CALLBACK TableWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}
