// The settings file "./telomi.ini" and the settings dialog.
#pragma once

#include <windows.h>

extern const char* const SettingsFile;

// Reads the nine settings and the site's host; a missing file, section or key
// gives the default, and a value outside its range gives the default too.
void LoadSettings();
// Writes the nine settings in their order; the host is never written.
void SaveSettings();
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The minutes rule: a positive decimal number with nothing after it, else 5.
int ParseMinutes(const char* text);
