#include "app/app_state.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    return RunApplication(instance, showCommand);
}
