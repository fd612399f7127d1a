#include "app/app_state.h"

HWND MainWnd;
HWND MainListView;
HWND FetchButton, ReminderButton, TableButton, TrayButton, SettingsButton;
HWND MinutesEdit, GenreCombo, TimeCombo, RegionCombo, DayCombo;
RECT MainClientRect;

int32_t MinutesBefore;
int32_t GenrePos, TimePos, RegionPos;
uint8_t WriteIni;
uint8_t ReceiveBS, ReceiveCS, CheckAllOnDone;
uint8_t AutoFetch;
char SiteHost[256];
int32_t DetailConnections = 4;
char XmltvAddress[1024];
char XmltvChannels[1024];

uint8_t InTray;
int32_t RemindersOn;
int32_t SortOrder[8];
