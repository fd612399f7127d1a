#include "app/settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "app/choice_lists.h"
#include "fetch/choices.h"
#include "res/resource.h"

const char* const SettingsFile = "./telomi.ini";

namespace {

constexpr int DefaultMinutes = 5;
constexpr int DefaultGenre = 0;
constexpr int DefaultTime = 9;
constexpr int DefaultRegion = 7;
// The minutes field holds five digits.
constexpr int MostMinutes = 99999;

uint8_t ReadSwitch(const char* key, bool fallback)
{
    return GetPrivateProfileIntA("section1", key, fallback ? 1 : 0, SettingsFile) != 0;
}

int ReadNumber(const char* key, int fallback, int lowest, int highest)
{
    int value = static_cast<int>(GetPrivateProfileIntA("section2", key, fallback, SettingsFile));
    return value >= lowest && value <= highest ? value : fallback;
}

void WriteSwitch(const char* key, bool on)
{
    WritePrivateProfileStringA("section1", key, on ? "1" : "0", SettingsFile);
}

void WriteNumber(const char* key, int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    WritePrivateProfileStringA("section2", key, text, SettingsFile);
}

void InitialiseDialog(HWND dialog)
{
    LoadSettings();
    CheckDlgButton(dialog, IDC_SAVE_INI, WriteIni ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_RECEIVE_BS, ReceiveBS ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_AUTO_FETCH, AutoFetch ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_CHECK_ALL, CheckAllOnDone ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_RECEIVE_CS, ReceiveCS ? BST_CHECKED : BST_UNCHECKED);
    FillGenreList(GetDlgItem(dialog, IDC_DEFAULT_GENRE), GenrePos);
    FillTimeList(GetDlgItem(dialog, IDC_DEFAULT_TIME), TimePos);
    FillRegionList(GetDlgItem(dialog, IDC_DEFAULT_REGION), RegionPos);
    SetDlgItemInt(dialog, IDC_DEFAULT_MINUTES, static_cast<UINT>(MinutesBefore), TRUE);
    SetDlgItemTextA(dialog, IDC_XMLTV_ADDRESS, XmltvAddress);
}

bool Ticked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void ConfirmDialog(HWND dialog)
{
    char minutes[6] = {};
    GetDlgItemTextA(dialog, IDC_DEFAULT_MINUTES, minutes, sizeof minutes);
    MinutesBefore = ParseMinutes(minutes);
    GetDlgItemTextA(dialog, IDC_XMLTV_ADDRESS, XmltvAddress, sizeof XmltvAddress);
    if (WriteIni)
        SaveSettings();
    EndDialog(dialog, 1);
}

} // namespace

int ParseMinutes(const char* text)
{
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value <= 0 || value > MostMinutes)
        return DefaultMinutes;
    return static_cast<int>(value);
}

void LoadSettings()
{
    WriteIni = ReadSwitch("ini", false);
    ReceiveBS = ReadSwitch("BS", true);
    ReceiveCS = ReadSwitch("CS", false);
    AutoFetch = ReadSwitch("Auto", false);
    CheckAllOnDone = ReadSwitch("chaeck", true);
    GenrePos = ReadNumber("Genre", DefaultGenre, 0, GenreChoiceCount - 1);
    TimePos = ReadNumber("Time", DefaultTime, 0, TimeChoiceCount - 1);
    RegionPos = ReadNumber("Region", DefaultRegion, 0, RegionChoiceCount - 1);
    MinutesBefore = ReadNumber("ago", DefaultMinutes, 1, MostMinutes);
    GetPrivateProfileStringA("site", "Host", "127.0.0.1:8080", SiteHost, sizeof SiteHost, SettingsFile);
    const int connections = static_cast<int>(GetPrivateProfileIntA("site", "Connections", 4, SettingsFile));
    DetailConnections = connections >= 1 && connections <= 8 ? connections : 4;
    GetPrivateProfileStringA("xmltv", "Address", "", XmltvAddress, sizeof XmltvAddress, SettingsFile);
    GetPrivateProfileStringA("xmltv", "Channels", "", XmltvChannels, sizeof XmltvChannels, SettingsFile);
}

void SaveSettings()
{
    // A file the user made read-only stays as it is, even where the platform
    // would let an administrator write it.
    const DWORD attributes = GetFileAttributesA(SettingsFile);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return;
    WriteSwitch("ini", WriteIni);
    WriteSwitch("BS", ReceiveBS);
    WriteSwitch("CS", ReceiveCS);
    WriteSwitch("Auto", AutoFetch);
    WriteSwitch("chaeck", CheckAllOnDone);
    WriteNumber("Genre", GenrePos);
    WriteNumber("Time", TimePos);
    WriteNumber("Region", RegionPos);
    WriteNumber("ago", MinutesBefore);
    // An emptied address removes the key: the site is the source again.
    WritePrivateProfileStringA("xmltv", "Address", XmltvAddress[0] ? XmltvAddress : nullptr, SettingsFile);
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        InitialiseDialog(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_SAVE_INI:
        WriteIni = Ticked(dialog, IDC_SAVE_INI);
        break;
    case IDC_RECEIVE_BS:
        ReceiveBS = Ticked(dialog, IDC_RECEIVE_BS);
        break;
    case IDC_AUTO_FETCH:
        AutoFetch = Ticked(dialog, IDC_AUTO_FETCH);
        break;
    case IDC_CHECK_ALL:
        CheckAllOnDone = Ticked(dialog, IDC_CHECK_ALL);
        break;
    case IDC_RECEIVE_CS:
        ReceiveCS = Ticked(dialog, IDC_RECEIVE_CS);
        break;
    case IDC_DEFAULT_REGION:
        RegionPos = SelectedChoice(GetDlgItem(dialog, IDC_DEFAULT_REGION));
        break;
    case IDC_DEFAULT_TIME:
        TimePos = SelectedChoice(GetDlgItem(dialog, IDC_DEFAULT_TIME));
        break;
    case IDC_DEFAULT_GENRE:
        GenrePos = SelectedChoice(GetDlgItem(dialog, IDC_DEFAULT_GENRE));
        break;
    case IDOK:
        ConfirmDialog(dialog);
        break;
    }
    // Every other command, Esc and the close box included, does nothing.
    return TRUE;
}
