#include "tests/win/test_support.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "app/app_state.h"
#include "fetch/http_fetch.h"

std::string SimulatorHost()
{
    const char* host = std::getenv("SITE_HOST");
    return host ? host : "127.0.0.1:8080";
}

std::string SimulatorGet(const std::string& path)
{
    char* page = nullptr;
    size_t length = 0;
    if (!FetchPage(SimulatorHost().c_str(), path.c_str(), &page, &length))
        return "";
    std::string body(page, length);
    ReleasePage(page);
    return body;
}

long long SimulatorNumber(const std::string& path, const char* key)
{
    const std::string json = SimulatorGet(path);
    const std::string quoted = std::string("\"") + key + "\":";
    const size_t at = json.find(quoted);
    return at == std::string::npos ? -1 : std::atoll(json.c_str() + at + quoted.size());
}

void ResetSimulator()
{
    SimulatorGet("/_control?reset=1");
    SimulatorGet("/_log/clear");
}

std::vector<std::string> SimulatorLog()
{
    std::vector<std::string> paths;
    std::istringstream lines(SimulatorGet("/_log"));
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            paths.push_back(line);
    }
    return paths;
}

void WriteSettingsFile(const std::string& text)
{
    RemoveSettingsFile();
    std::ofstream file("telomi.ini", std::ios::binary);
    file << text << "\r\n[site]\r\nHost=" << SimulatorHost() << "\r\n";
}

void RemoveSettingsFile()
{
    SetFileAttributesA("telomi.ini", FILE_ATTRIBUTE_NORMAL);
    DeleteFileA("telomi.ini");
}

std::string ReadSettingsFile()
{
    std::ifstream file("telomi.ini", std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMilliseconds)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (static_cast<int>(GetTickCount() - start) > timeoutMilliseconds)
            return done();
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void PumpFor(int milliseconds)
{
    PumpUntil([] { return false; }, milliseconds);
}

std::vector<std::string> Boxes;
void (*WhileBoxOpen)();

std::string WindowText(HWND window)
{
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

namespace {

UINT_PTR BoxTimer;

void CALLBACK CloseBoxes(HWND, UINT, UINT_PTR, DWORD)
{
    for (HWND box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", nullptr));) {
        if (WindowText(box) == "設定" || GetPropA(box, "seen") || !SetPropA(box, "seen", reinterpret_cast<HANDLE>(1)))
            continue;
        const bool shown = GetWindow(box, GW_OWNER) == MainWnd && IsWindowVisible(MainWnd) && InTray == 0;
        Boxes.push_back(WindowText(box) + "|" + WindowText(GetDlgItem(box, 0xFFFF)) + (shown ? "" : "|main hidden"));
        if (Boxes.size() <= 2 && WhileBoxOpen)
            WhileBoxOpen();
        SendMessageA(box, WM_COMMAND, IDOK, 0);
    }
}

} // namespace

HWND StartMainWindow()
{
    Boxes.clear();
    WhileBoxOpen = nullptr;
    BoxTimer = SetTimer(nullptr, 0, 20, CloseBoxes);
    ProgrammeList.Clear();
    ProgrammeCount = 0;
    EmptyPageCount = 0;
    InTray = 0;
    RemindersOn = 0;
    std::memset(SortOrder, 0, sizeof SortOrder);
    AppInstance = GetModuleHandleA(nullptr);
    RegisterWindowClass(AppInstance, MainWndProc, "Main", false);
    CreateMainWindow(AppInstance, SW_SHOWNORMAL, "Main");
    return MainWnd;
}

bool WaitForRetrieval(int timeoutMilliseconds)
{
    return PumpUntil([] { return !RetrievalRunning; }, timeoutMilliseconds);
}

void CloseMainWindow()
{
    EndRetrieval();
    if (IsWindow(MainWnd))
        DestroyWindow(MainWnd);
    PumpFor(20);
    KillTimer(nullptr, BoxTimer);
    MSG quit;
    while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

void SelectLabel(HWND combo, const char* label)
{
    SendMessageA(combo, CB_SETCURSEL, SendMessageA(combo, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(label)),
                 0);
}

void ChooseTokyoEvening()
{
    SelectLabel(TimeCombo, "19:00～25:00");
    SelectLabel(GenreCombo, "全て");
    SelectLabel(RegionCombo, "東京");
    SelectLabel(DayCombo, "今日");
}

std::string ListText(HWND list, int row, int column)
{
    char text[2048] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

LPARAM ListItemData(HWND list, int row)
{
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item.lParam;
}

int ListRowCount(HWND list)
{
    return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
}

void WriteSettingsFileWithSite(const std::string& text, const std::string& siteLines)
{
    RemoveSettingsFile();
    std::ofstream file("telomi.ini", std::ios::binary);
    file << text << "\r\n[site]\r\nHost=" << SimulatorHost() << "\r\n" << siteLines << "\r\n";
}

std::vector<std::vector<std::string>> SimulatorGridTruth(const std::string& gridPath)
{
    std::string encoded;
    for (unsigned char c : gridPath) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", c);
        const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        encoded += plain ? std::string(1, static_cast<char>(c)) : std::string(hex);
    }
    return SimulatorTruth("/_truth/grid?format=tsv&path=" + encoded);
}

std::vector<std::vector<std::string>> SimulatorTruth(const std::string& query)
{
    std::vector<std::vector<std::string>> records;
    std::istringstream lines(SimulatorGet(query));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty())
            continue;
        // Tabs, line breaks and backslashes inside a field arrive escaped; a
        // line ending in a tab ends with an empty field.
        std::vector<std::string> fields(1);
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\t') {
                fields.emplace_back();
            } else if (line[i] != '\\' || i + 1 == line.size()) {
                fields.back() += line[i];
            } else {
                const char next = line[++i];
                fields.back() += next == 'r' ? '\r' : next == 'n' ? '\n' : next == 't' ? '\t' : next;
            }
        }
        records.push_back(fields);
    }
    return records;
}

std::vector<std::string> RecordFields(const TELOMI& r)
{
    auto n = [](int value) { return std::to_string(value); };
    return {r.DetailPath, r.Station,     n(r.Month), n(r.Day),   n(r.StartHour), n(r.StartMinute),
            n(r.EndHour), n(r.EndMinute), r.Title,    r.Subtitle, r.Performers,   r.Other};
}

int RunProgram(TIMERPROC whileRunning, UINT afterMilliseconds)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    UnregisterClassA("Main", instance);
    MSG quit;
    while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    SetTimer(nullptr, 0, afterMilliseconds, whileRunning);
    return RunApplication(instance, SW_SHOWNORMAL);
}
