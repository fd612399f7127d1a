#include "tests/win/test_support.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "fetch/http_fetch.h"

std::string SimulatorHost() { return std::getenv("SITE_HOST") ? std::getenv("SITE_HOST") : "127.0.0.1:8080"; }

std::string SimulatorGet(const std::string& path)
{
    char* page = nullptr;
    size_t length = 0;
    const std::string body = FetchPage(SimulatorHost().c_str(), path.c_str(), &page, &length) ? std::string(page, length) : "";
    ReleasePage(page);
    return body;
}

long long SimulatorNumber(const std::string& path, const char* key)
{
    const std::string json = SimulatorGet(path), quoted = std::string("\"") + key + "\":";
    const size_t at = json.find(quoted);
    return at == std::string::npos ? -1 : std::atoll(json.c_str() + at + quoted.size());
}

void ResetSimulator() { SimulatorGet("/_control?reset=1"); SimulatorGet("/_log/clear"); }

std::vector<std::string> SimulatorLog()
{
    std::vector<std::string> paths; // one path a line: the first field of a record
    for (const auto& record : SimulatorTruth("/_log"))
        paths.push_back(record[0]);
    return paths;
}

std::string GridPath(const char* region)
{
    return std::string("/program/gridNormal.php?frame=off&tikicd=") + region + "&way=h&genre=all&hour_select=6&s_jikan=190000";
}

void WriteSettingsFileWithSite(const std::string& text, const std::string& siteLines)
{
    RemoveSettingsFile();
    std::ofstream("telomi.ini", std::ios::binary) << text << "\r\n[site]\r\nHost=" << SimulatorHost() << "\r\n"
                                                  << siteLines << "\r\n";
}

void RemoveSettingsFile() { SetFileAttributesA("telomi.ini", FILE_ATTRIBUTE_NORMAL); DeleteFileA("telomi.ini"); }

std::string ReadSettingsFile()
{
    std::ostringstream text;
    text << std::ifstream("telomi.ini", std::ios::binary).rdbuf();
    return text.str();
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMilliseconds)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (static_cast<int>(GetTickCount() - start) > timeoutMilliseconds)
            return done();
        for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
            if (message.message != WM_QUIT)
                TranslateMessage(&message), DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void PumpFor(int milliseconds) { PumpUntil([] { return false; }, milliseconds); }

std::vector<std::string> Boxes;
void (*WhileBoxOpen)();

std::string FromWide(const wchar_t* text)
{
    char bytes[4096] = {};
    WideCharToMultiByte(932, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
    return bytes;
}

std::wstring ToWide(const char* text)
{
    wchar_t wide[2048] = {};
    MultiByteToWideChar(932, 0, text, -1, wide, 2048);
    return wide;
}

std::string WindowText(HWND window)
{
    wchar_t text[2048] = {};
    GetWindowTextW(window, text, 2048);
    return FromWide(text);
}

namespace {

UINT_PTR BoxTimer;

void DropQuitMessages()
{
    for (MSG quit; PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);) {
    }
}

void CALLBACK CloseBoxes(HWND, UINT, UINT_PTR, DWORD)
{
    for (HWND box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", nullptr));) {
        if (WindowText(box) == "設定" || GetPropA(box, "seen") || !SetPropA(box, "seen", reinterpret_cast<HANDLE>(1)))
            continue;
        const bool shown = GetWindow(box, GW_OWNER) == MainWnd && IsWindowVisible(MainWnd) && InTray == 0;
        Boxes.push_back(WindowText(box) + "|" + WindowText(GetDlgItem(box, 0xFFFF)) + (shown ? "" : "|main hidden"));
        if (Boxes.size() <= 2 && WhileBoxOpen)
            WhileBoxOpen();
        SendMessageW(box, WM_COMMAND, IDOK, 0);
    }
}

} // namespace

HWND StartMainWindow()
{
    Boxes.clear();
    WhileBoxOpen = nullptr;
    BoxTimer = SetTimer(nullptr, 0, 20, CloseBoxes);
    ProgrammeList.Clear();
    ProgrammeCount = EmptyPageCount = InTray = RemindersOn = 0;
    std::memset(SortOrder, 0, sizeof SortOrder);
    AppInstance = GetModuleHandleA(nullptr);
    RegisterWindowClass(AppInstance, MainWndProc, "Main", false);
    CreateMainWindow(AppInstance, SW_SHOWNORMAL, "Main");
    return MainWnd;
}

bool WaitForRetrieval(int timeoutMilliseconds) { return PumpUntil([] { return !RetrievalRunning; }, timeoutMilliseconds); }

void CloseMainWindow()
{
    EndRetrieval();
    if (IsWindow(MainWnd))
        DestroyWindow(MainWnd);
    PumpFor(20);
    KillTimer(nullptr, BoxTimer);
    BoxTimer = 0;
    DropQuitMessages();
}

void EndTest() { CloseMainWindow(); ResetSimulator(); RemoveSettingsFile(); }

void SelectLabel(HWND combo, const char* label)
{
    const std::wstring wide = ToWide(label);
    SendMessageW(combo, CB_SETCURSEL, SendMessageW(combo, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(wide.c_str())), 0);
}

void ChooseTokyoEvening()
{
    SelectLabel(TimeCombo, "19:00～25:00");
    SelectLabel(GenreCombo, "全て");
    SelectLabel(RegionCombo, "東京");
    SelectLabel(DayCombo, "今日");
}

void StartTokyoEvening(const std::string& settings, int connections)
{
    WriteSettingsFileWithSite(settings, "Connections=" + std::to_string(connections));
    StartMainWindow();
    ChooseTokyoEvening();
    SendMessageW(MainWnd, WM_COMMAND, IDC_FETCH, 0);
}

std::string ListText(HWND list, int row, int column)
{
    wchar_t text[2048] = {};
    LVITEMW item = {0, 0, column, 0, 0, text, 2048};
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return FromWide(text);
}

std::string ComboText(HWND combo, int index)
{
    wchar_t text[256] = {};
    if (SendMessageW(combo, CB_GETLBTEXTLEN, index, 0) < 256)
        SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return FromWide(text);
}

LPARAM ListItemData(HWND list, int row)
{
    LVITEMW item = {LVIF_PARAM, row};
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.lParam;
}

int ListRowCount(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

void ClickColumn(int column)
{
    NMLISTVIEW notice = {{MainListView, IDC_LIST, UINT(LVN_COLUMNCLICK)}, -1, column, 0, 0, 0, {}, 0};
    SendMessageW(MainWnd, WM_NOTIFY, IDC_LIST, reinterpret_cast<LPARAM>(&notice));
}

std::vector<std::vector<std::string>> SimulatorGridTruth(const std::vector<std::string>& gridPaths)
{
    std::vector<std::vector<std::string>> truth;
    for (const std::string& path : gridPaths) {
        std::string encoded; // the grid's own query, escaped inside the truth query's
        for (char c : path)
            encoded += c == '?' ? "%3F" : c == '&' ? "%26" : c == '=' ? "%3D" : std::string(1, c);
        const auto records = SimulatorTruth("/_truth/grid?format=tsv&path=" + encoded);
        EXPECT_FALSE(records.empty()) << path;
        truth.insert(truth.end(), records.begin(), records.end());
    }
    return truth;
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
            const bool escaped = line[i] == '\\' && i + 1 < line.size();
            const char c = escaped ? line[++i] : line[i];
            if (!escaped && c == '\t')
                fields.emplace_back();
            else
                fields.back() += !escaped ? c : c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
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
    DropQuitMessages();
    SetTimer(nullptr, 0, afterMilliseconds, whileRunning);
    return RunApplication(instance, SW_SHOWNORMAL);
}
