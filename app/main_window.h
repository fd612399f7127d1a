// The main window "てろみや": the list of programmes and the commands.
#pragma once

#include <windows.h>

bool CreateMainWindow(HINSTANCE instance, int showCommand, const char* className);
// Registers "Main", creates the main window and runs the message loop; the exit code.
int RunApplication(HINSTANCE instance, int showCommand);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
