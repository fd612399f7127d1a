#include "app/app_state.h"

HINSTANCE AppInstance;
HWND MainWnd;
HWND MainListView;
HWND FetchButton, ReminderButton, TableButton, TrayButton, SettingsButton;
HWND MinutesEdit, GenreCombo, TimeCombo, RegionCombo, DayCombo;
HWND ProgressWnd;
HWND TableWnd;

RECT MainClientRect;

int32_t MinutesBefore;
int32_t GenrePos, TimePos, RegionPos;
uint8_t WriteIni;
std::atomic<uint8_t> ReceiveBS, ReceiveCS, CheckAllOnDone;
uint8_t AutoFetch;

RequestSlots RequestList;
int32_t RowCount;
int32_t PageStartCount;
std::atomic<bool> AbortFlag;
std::atomic<bool> RetrievalRunning;

uint8_t InTray;
int32_t RemindersOn;
int32_t SortOrder[8];

char SiteHost[256];
int32_t DetailConnections = 4;
