// Process-wide state of the application shell. Everything here lives on the
// interface thread: a retrieval copies what it needs when it starts.
#pragma once

#include <windows.h>

#include <cstdint>

// The main window and its controls; written when the main window is built.
extern HWND MainWnd;
extern HWND MainListView;
extern HWND FetchButton, ReminderButton, TableButton, TrayButton, SettingsButton;
extern HWND MinutesEdit, GenreCombo, TimeCombo, RegionCombo, DayCombo;
// The main window's client area; written at every resize.
extern RECT MainClientRect;

// Settings; written by LoadSettings and the settings dialog.
extern int32_t MinutesBefore;
extern int32_t GenrePos, TimePos, RegionPos;
extern uint8_t WriteIni;
extern uint8_t ReceiveBS, ReceiveCS, CheckAllOnDone;
extern uint8_t AutoFetch;
// The listings site's host, "name" or "name:port", and how many detail pages
// are fetched at once (1 to 8), both from section "site".
extern char SiteHost[256];
extern int32_t DetailConnections;
// An XMLTV document to read instead of the site, an address or a file path
// (empty: the site), and the channels to take from it, both from "xmltv".
extern char XmltvAddress[1024];
extern char XmltvChannels[1024];

// Written by the tray and reminder commands.
extern uint8_t InTray;
extern int32_t RemindersOn;
// Each column's direction, 1 ascending and 2 descending; written by a column click.
extern int32_t SortOrder[8];
