// Process-wide application state shared by the windows and the worker.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "listing/programme.h"

// Handles
extern HINSTANCE AppInstance;
extern HWND MainWnd;
extern HWND MainListView;
extern HWND FetchButton, ReminderButton, TableButton, TrayButton, SettingsButton;
extern HWND MinutesEdit, GenreCombo, TimeCombo, RegionCombo, DayCombo;
extern HWND ProgressWnd;
extern HWND TableWnd;

// Geometry
extern RECT MainClientRect;

// Settings
extern int32_t MinutesBefore;
extern int32_t GenrePos, TimePos, RegionPos;
extern uint8_t WriteIni;
extern std::atomic<uint8_t> ReceiveBS, ReceiveCS, CheckAllOnDone;
extern uint8_t AutoFetch;

// Retrieval and programmes (ProgrammeList and ProgrammeCount live with the record)
constexpr int RequestSlotSize = 255;
struct RequestSlots {
    char Slot[3][RequestSlotSize];
};
extern RequestSlots RequestList;
extern int32_t RowCount;
extern int32_t PageStartCount;
extern std::atomic<bool> AbortFlag;
// True from the start of a retrieval until its worker has finished the end steps.
extern std::atomic<bool> RetrievalRunning;

// User-interface state
extern uint8_t InTray;
extern int32_t RemindersOn;
extern int32_t SortOrder[8];

// The listings site's host, "name" or "name:port", and how many detail pages
// are fetched at once (1 to 8), both from section "site".
extern char SiteHost[256];
extern int32_t DetailConnections;

ATOM RegisterWindowClass(HINSTANCE instance, WNDPROC procedure, const char* className, bool withMenu);
bool CreateMainWindow(HINSTANCE instance, int showCommand, const char* className);
// Registers "Main", creates the main window and runs the message loop; the exit code.
int RunApplication(HINSTANCE instance, int showCommand);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
