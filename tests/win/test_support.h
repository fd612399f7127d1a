// Helpers for the Windows tests: the simulator, the settings file, and
// pumping messages while the program works.
#pragma once

#include <windows.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "fetch/list_rows.h"
#include "fetch/retrieval.h"
#include "fetch/site_source.h"
#include "fetch/window_class.h"
#include "listing/programme.h"

#include <functional>
#include <string>
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

// Replaces "./telomi.ini" with the given text plus a [site] section naming the simulator.
void WriteSettingsFile(const std::string& text);
void RemoveSettingsFile();
std::string ReadSettingsFile();

// Dispatches messages until done() holds or the time runs out; done() at the end.
bool PumpUntil(const std::function<bool()>& done, int timeoutMilliseconds);
void PumpFor(int milliseconds);

// Message boxes are modal: while a main window is up, a thread timer, run by
// the box's own loop, notes each new box as "caption|text" (plus "|main
// hidden" when the main window was not showing), runs WhileBoxOpen in the
// first two and closes it.
extern std::vector<std::string> Boxes;
extern void (*WhileBoxOpen)();

// Resets the process-wide state, then creates the main window as start-up does.
HWND StartMainWindow();
// Runs the program's start-up and message loop with a thread timer that fires
// once after the given time (it must kill itself); the exit code.
int RunProgram(TIMERPROC whileRunning, UINT afterMilliseconds);
// Waits for a running retrieval, destroys the main window and drops the quit message.
void CloseMainWindow();
// Waits until the worker has finished its end steps.
bool WaitForRetrieval(int timeoutMilliseconds);

// Selects the entry with exactly this text in a drop-down list.
void SelectLabel(HWND combo, const char* label);
// Selects today, 19:00 to 25:00, all genres and Tokyo in the main window.
void ChooseTokyoEvening();

// A window's text, as a user would read it.
std::string WindowText(HWND window);
// Text of a list-view cell, as a user would read it.
std::string ListText(HWND list, int row, int column);
LPARAM ListItemData(HWND list, int row);
int ListRowCount(HWND list);

// As WriteSettingsFile, with more lines for the [site] section after the host
// (e.g. "Connections=4").
void WriteSettingsFileWithSite(const std::string& text, const std::string& siteLines);

// The simulator's records of a grid page, in link order; each record is
// DetailPath, Station, Month, Day, StartHour, StartMinute, EndHour,
// EndMinute, Title, Subtitle, Performers, Other.
std::vector<std::vector<std::string>> SimulatorGridTruth(const std::string& gridPath);
// The records of a truth query answered as TSV (e.g. "/_truth/xmltv?...&format=tsv"), fields as above.
std::vector<std::vector<std::string>> SimulatorTruth(const std::string& query);
// A record's fields in the order of the simulator's truth.
std::vector<std::string> RecordFields(const TELOMI& record);
