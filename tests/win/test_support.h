// Helpers for the Windows tests: the simulator, the settings file, and
// pumping messages while the program works.
#pragma once

#include <windows.h>

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

// Resets the process-wide state, then creates the main window as start-up does.
HWND StartMainWindow();
// Waits for a running retrieval, destroys the main window and drops the quit message.
void CloseMainWindow();
// Waits until the worker has finished its end steps.
bool WaitForRetrieval(int timeoutMilliseconds);

// Selects the entry with exactly this text in a drop-down list.
void SelectLabel(HWND combo, const char* label);
// Selects today, 19:00 to 25:00, all genres and Tokyo in the main window.
void ChooseTokyoEvening();

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
