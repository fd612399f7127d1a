// The settings file "./telomi.ini" and the settings dialog.
#pragma once

#include <windows.h>

// Reads the nine settings, the site's host and the XMLTV source; a missing file, section or key
// gives the default, and a value outside its range gives the default too.
void LoadSettings();
// Writes the nine settings in their order and the XMLTV address; the host,
// the connections and the channels are never written.
void SaveSettings();
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The minutes rule: a positive decimal number with nothing after it, else 5.
int ParseMinutes(const char* text);
