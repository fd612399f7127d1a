#include "app/settings.h"

#include <cstdlib>
#include <optional>
#include <string>

#include "app/app_state.h"
#include "app/choice_lists.h"
#include "app/ini_text.h"
#include "fetch/choices.h"
#include "fetch/wide_text.h"
#include "listing/cp932_codec.h"
#include "res/resource.h"

namespace {

constexpr wchar_t SettingsFile[] = L"./telomi.ini";
constexpr int DefaultMinutes = 5;
constexpr int DefaultGenre = 0;
constexpr int DefaultTime = 9;
constexpr int DefaultRegion = 7;
constexpr int DefaultConnections = 4;
// The minutes field holds five digits.
constexpr int MostMinutes = 99999;

// The file's bytes, empty when there is no file; nothing when it cannot be
// read whole.
std::optional<std::string> ReadSettingsText()
{
    HANDLE file = CreateFileW(SettingsFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? std::optional<std::string>("") : std::nullopt;
    std::string text;
    char block[4096];
    DWORD got = 0;
    BOOL read = FALSE;
    while ((read = ReadFile(file, block, sizeof block, &got, nullptr)) && got > 0)
        text.append(block, got);
    CloseHandle(file);
    return read ? std::optional<std::string>(text) : std::nullopt;
}

// Opened rather than created afresh, which a hidden file would refuse. A file
// that cannot be written leaves the settings to this session, as before.
void WriteSettingsText(const std::string& text)
{
    HANDLE file = CreateFileW(SettingsFile, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    if (WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size())
        SetEndOfFile(file);
    CloseHandle(file);
}

uint8_t ReadSwitch(std::string_view text, const char* key, bool fallback)
{
    return IniNumber(text, "section1", key, fallback ? 1 : 0) != 0;
}

int ReadNumber(std::string_view text, const char* section, const char* key, int fallback, int lowest, int highest)
{
    const int value = IniNumber(text, section, key, fallback);
    return value >= lowest && value <= highest ? value : fallback;
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
    ShowText(GetDlgItem(dialog, IDC_XMLTV_ADDRESS), XmltvAddress);
}

bool Ticked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void ConfirmDialog(HWND dialog)
{
    // An address cut short or with a character replaced would name another
    // place, so the user corrects it first.
    bool whole = false;
    const std::string address = ReadText(GetDlgItem(dialog, IDC_XMLTV_ADDRESS), sizeof XmltvAddress, &whole);
    if (!whole) {
        ShowMessage(dialog, "XMLTV のアドレスを設定ファイルに書けません。\n使えない文字が入っているか、長すぎます。",
                    "てろみや", MB_OK | MB_ICONWARNING);
        SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_XMLTV_ADDRESS)), TRUE);
        return;
    }
    FitCp932(address, XmltvAddress, sizeof XmltvAddress);
    MinutesBefore = ParseMinutes(ReadText(GetDlgItem(dialog, IDC_DEFAULT_MINUTES), 6).c_str());
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
    const std::string text = ReadSettingsText().value_or("");
    WriteIni = ReadSwitch(text, "ini", false);
    ReceiveBS = ReadSwitch(text, "BS", true);
    ReceiveCS = ReadSwitch(text, "CS", false);
    AutoFetch = ReadSwitch(text, "Auto", false);
    CheckAllOnDone = ReadSwitch(text, "chaeck", true);
    GenrePos = ReadNumber(text, "section2", "Genre", DefaultGenre, 0, GenreChoiceCount - 1);
    TimePos = ReadNumber(text, "section2", "Time", DefaultTime, 0, TimeChoiceCount - 1);
    RegionPos = ReadNumber(text, "section2", "Region", DefaultRegion, 0, RegionChoiceCount - 1);
    MinutesBefore = ReadNumber(text, "section2", "ago", DefaultMinutes, 1, MostMinutes);
    FitCp932(IniValue(text, "site", "Host", "127.0.0.1:8080"), SiteHost, sizeof SiteHost);
    DetailConnections = ReadNumber(text, "site", "Connections", DefaultConnections, 1, 8);
    FitCp932(IniValue(text, "xmltv", "Address", ""), XmltvAddress, sizeof XmltvAddress);
    FitCp932(IniValue(text, "xmltv", "Channels", ""), XmltvChannels, sizeof XmltvChannels);
}

void SaveSettings()
{
    // A file the user made read-only stays as it is, even where the platform
    // would let an administrator write it; so does one that cannot be read.
    const DWORD attributes = GetFileAttributesW(SettingsFile);
    const std::optional<std::string> before = ReadSettingsText();
    if ((attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) || !before)
        return;
    std::string text = *before;
    for (const auto& [key, on] : {std::pair{"ini", WriteIni}, {"BS", ReceiveBS}, {"CS", ReceiveCS}, {"Auto", AutoFetch},
                                  {"chaeck", CheckAllOnDone}})
        text = SetIniValue(text, "section1", key, on ? "1" : "0");
    for (const auto& [key, value] : {std::pair{"Genre", GenrePos}, {"Time", TimePos}, {"Region", RegionPos},
                                     {"ago", MinutesBefore}})
        text = SetIniValue(text, "section2", key, std::to_string(value));
    // An emptied address removes the key: the site is the source again.
    text = SetIniValue(text, "xmltv", "Address",
                       XmltvAddress[0] ? std::optional<std::string_view>(XmltvAddress) : std::nullopt);
    if (text != *before)
        WriteSettingsText(text);
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
