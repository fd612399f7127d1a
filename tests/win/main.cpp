#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "fetch/window_class.h"

int main(int argc, char** argv)
{
    AppInstance = GetModuleHandleA(nullptr);
    InitCommonControls();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
