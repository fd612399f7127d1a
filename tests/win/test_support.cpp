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

HWND StartMainWindow()
{
    ProgrammeList.Clear();
    ProgrammeCount = 0;
    RowCount = 0;
    PageStartCount = 0;
    AbortFlag = false;
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
    if (RetrievalRunning) {
        AbortFlag = true;
        WaitForRetrieval(20000);
    }
    if (IsWindow(MainWnd))
        DestroyWindow(MainWnd);
    PumpFor(20);
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
    std::vector<std::vector<std::string>> records;
    std::istringstream lines(SimulatorGet("/_truth/grid?format=tsv&path=" + encoded));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty())
            continue;
        std::vector<std::string> fields;
        std::istringstream cells(line);
        std::string cell;
        // Tabs, line breaks and backslashes inside a field arrive escaped.
        while (std::getline(cells, cell, '\t')) {
            std::string field;
            for (size_t i = 0; i < cell.size(); ++i) {
                if (cell[i] != '\\' || i + 1 == cell.size()) {
                    field += cell[i];
                    continue;
                }
                const char next = cell[++i];
                field += next == 'r' ? '\r' : next == 'n' ? '\n' : next == 't' ? '\t' : next;
            }
            fields.push_back(field);
        }
        records.push_back(fields);
    }
    return records;
}
