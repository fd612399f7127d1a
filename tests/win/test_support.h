// Helpers for the Windows tests: the simulator, the settings file, and pumping messages while the program works.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "fetch/choices.h"
#include "fetch/list_rows.h"
#include "fetch/retrieval.h"
#include "fetch/site_source.h"
#include "fetch/window_class.h"
#include "listing/programme.h"
#include "res/resource.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

// "127.0.0.1:port" of the simulator that the test script started.
std::string SimulatorHost();
// GET of a simulator path; the body, or "" on failure.
std::string SimulatorGet(const std::string& path);
// Clears the simulator's faults and request log.
void ResetSimulator();
// A number in the simulator's JSON answer to a path (e.g. "/_stats"), or -1.
long long SimulatorNumber(const std::string& path, const char* key);
// The request log: paths in arrival order.
std::vector<std::string> SimulatorLog();
// The address of today's 19:00 grid of all genres for a region code ("0002" Tokyo, "3001" BS, "3003" CS).
std::string GridPath(const char* region);

// Replaces "./telomi.ini" with the text, a [site] section naming the simulator and siteLines ("Connections=4").
void WriteSettingsFileWithSite(const std::string& text, const std::string& siteLines = "");
void RemoveSettingsFile();
std::string ReadSettingsFile();

// Dispatches messages until done() holds or the time runs out; done() at the end.
bool PumpUntil(const std::function<bool()>& done, int timeoutMilliseconds);
void PumpFor(int milliseconds);

// Message boxes are modal: while a main window is up, a thread timer, run by the box's own loop, notes each
// new box as "caption|text" (plus "|main hidden" when the main window was not showing), runs WhileBoxOpen in
// the first two and closes it.
extern std::vector<std::string> Boxes;
extern void (*WhileBoxOpen)();

// Resets the process-wide state, then creates the main window as start-up does.
HWND StartMainWindow();
// Exit code of start-up and the message loop, run with a thread timer firing after the given time (it must kill
// itself).
int RunProgram(TIMERPROC whileRunning, UINT afterMilliseconds);
// Waits for a running retrieval, destroys the main window and drops the quit message.
void CloseMainWindow();
// CloseMainWindow, then clears the simulator and removes the settings file.
void EndTest();
// Waits until the worker has finished its end steps.
bool WaitForRetrieval(int timeoutMilliseconds);

// Selects the entry with exactly this text in a drop-down list.
void SelectLabel(HWND combo, const char* label);
// Selects today, 19:00 to 25:00, all genres and Tokyo in the main window.
void ChooseTokyoEvening();
// Writes the settings and connections, starts the main window, chooses the Tokyo evening, presses "receive".
void StartTokyoEvening(const std::string& settings, int connections = 4);

// Code page 932 and UTF-16 by the platform's own conversion, so what the windows hold is checked apart from the
// program's.
std::string FromWide(const wchar_t* text);
std::wstring ToWide(const char* text);
// A window's text, as a user would read it: read wide, given as code page 932.
std::string WindowText(HWND window);
// Text of a list-view cell and of a drop-down list's entry, read the same way.
std::string ListText(HWND list, int row, int column);
std::string ComboText(HWND combo, int index);
LPARAM ListItemData(HWND list, int row);
int ListRowCount(HWND list);
// Sends the main window a click on a column head of its list.
void ClickColumn(int column);

// The simulator's records of these grid pages, one after the other, in link order; each record is DetailPath,
// Station, Month, Day, StartHour, StartMinute, EndHour, EndMinute, Title, Subtitle, Performers, Other.
std::vector<std::vector<std::string>> SimulatorGridTruth(const std::vector<std::string>& gridPaths);
// The records of a truth query answered as TSV (e.g. "/_truth/xmltv?...&format=tsv"), fields as above.
std::vector<std::vector<std::string>> SimulatorTruth(const std::string& query);
// A record's fields in the order of the simulator's truth.
std::vector<std::string> RecordFields(const TELOMI& record);
