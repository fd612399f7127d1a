// Start-up, the resources, the main window's controls and their layout, and sorting the list.
#include "app/app_state.h"
#include "fetch/choices.h"
#include "res/resource.h"
#include "tests/win/test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>


TEST(StartUp, OneMainWindowWithIconAndWhiteBackgroundThenExitCodeZeroOnClose)
{
    static int MainWindows;
    static bool HasMenu;
    static std::string Title;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    const int exitCode = RunProgram([](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        HWND first = FindWindowExA(nullptr, nullptr, "Main", nullptr);
        for (HWND window = first; window; window = FindWindowExA(nullptr, window, "Main", nullptr))
            ++MainWindows;
        Title = WindowText(first);
        HasMenu = GetMenu(first) != nullptr;
        PostMessageA(first, WM_CLOSE, 0, 0);
    }, 200);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(std::tuple(MainWindows, Title, HasMenu), std::tuple(1, std::string("てろみや"), false));
    EXPECT_FALSE(IsWindow(MainWnd));
    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetClassInfoExA(instance, "Main", &info));
    EXPECT_EQ(info.style, UINT(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS));
    EXPECT_TRUE(info.hIcon && info.hCursor && !info.lpszMenuName);
    EXPECT_EQ(info.hbrBackground, GetStockObject(WHITE_BRUSH));

    // The timetable's popup menu.
    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_TABLEMENU));
    char name[64] = {};
    EXPECT_EQ(GetMenuItemID(GetSubMenu(menu, 0), 0), UINT(ID_FIT_WIDTH));
    GetMenuStringA(GetSubMenu(menu, 0), 0, name, sizeof name, MF_BYPOSITION);
    EXPECT_STREQ(name, "ウィンドウ幅を適正値に調整");
    DestroyMenu(menu);
}

TEST(MainWindow, CreatesItsControlsInOrderAndLaysThemOutForEachClientSize)
{
    RemoveSettingsFile();
    HWND window = StartMainWindow();
    // Text null: a drop-down list shows its selection.
    const struct { HWND Control; const char* Class; const char* Text; DWORD Style; int Id; } controls[] = {
        {MainListView, "SysListView32", "", 0x50000001, IDC_LIST},
        {FetchButton, "Button", "番組情報を受信", WS_CHILD | WS_VISIBLE, IDC_FETCH},
        {ReminderButton, "Button", "お知らせONに", WS_CHILD | WS_VISIBLE, IDC_REMINDER},
        {TableButton, "Button", "表を表示", WS_CHILD | WS_VISIBLE, IDC_TABLE},
        {TrayButton, "Button", "タスクトレイへ", WS_CHILD | WS_VISIBLE, IDC_TRAY},
        {SettingsButton, "Button", "設定", WS_CHILD | WS_VISIBLE, IDC_SETTINGS},
        {MinutesEdit, "Edit", "5", 0x50802080, IDC_MINUTES},
        {GenreCombo, "ComboBox", nullptr, 0x50200103, IDC_CHOICE},
        {TimeCombo, "ComboBox", nullptr, 0x50200103, IDC_CHOICE},
        {RegionCombo, "ComboBox", nullptr, 0x50200003, IDC_CHOICE},
        {DayCombo, "ComboBox", nullptr, 0x50200003, IDC_CHOICE},
    };
    for (const auto& c : controls) {
        const int row = static_cast<int>(&c - controls);
        char name[64] = {};
        GetClassNameA(c.Control, name, sizeof name);
        EXPECT_STRCASEEQ(name, c.Class) << row;
        if (c.Text) {
            EXPECT_EQ(WindowText(c.Control), c.Text) << row;
        }
        // Edit fields turn WS_BORDER into a client edge and drop-down lists
        // keep WS_VSCROLL for their list, so those bits do not show here.
        const DWORD shown = c.Style & ~(WS_BORDER | WS_VSCROLL);
        EXPECT_EQ(GetWindowLongA(c.Control, GWL_STYLE) & shown, shown) << row;
        EXPECT_EQ(GetDlgCtrlID(c.Control), c.Id) << row;
        if (row > 0) {
            EXPECT_EQ(GetWindow(controls[row - 1].Control, GW_HWNDNEXT), c.Control) << row << ": Z order as created";
        }
    }
    // Eight columns: a ninth has no text.
    const char* headers[] = {"タイトル", "サブタイトル", "放送局", "日にち", "開始時間", "終了時間", "出演", "その他", ""};
    for (int column = 0; column < 9; ++column) {
        char text[64] = {};
        LVCOLUMNA info = {};
        info.mask = LVCF_TEXT;
        info.pszText = text;
        info.cchTextMax = sizeof text;
        SendMessageA(MainListView, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&info));
        EXPECT_STREQ(text, headers[column]);
    }
    const LRESULT extended = LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
    EXPECT_EQ(SendMessageA(MainListView, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & extended, extended);

    for (const int width : {1000, 640}) {
        SetWindowPos(window, nullptr, 0, 0, width, width * 7 / 10, SWP_NOMOVE | SWP_NOZORDER);
        PumpFor(20);
        RECT client;
        GetClientRect(window, &client);
        const int w = client.right, h = client.bottom;
        // Height 0: a drop-down list keeps its own height, whatever it was given.
        const struct { HWND Control; int X, Y, Width, Height; } places[] = {
            {FetchButton, w - 150, 150, 150, 30},     {ReminderButton, w - 150, 200, 150, 30},
            {TableButton, w - 150, 250, 150, 30},     {TrayButton, w - 150, 300, 150, 30},
            {SettingsButton, w - 50, h - 30, 50, 30}, {MinutesEdit, w - 150, 50, 35, 30},
            {MainListView, 0, 0, w - 160, h},         {DayCombo, w - 150, 350, 150, 0},
            {TimeCombo, w - 150, 400, 150, 0},        {GenreCombo, w - 150, 450, 150, 0},
            {RegionCombo, w - 150, 500, 150, 0},
        };
        for (const auto& place : places) {
            RECT at;
            GetWindowRect(place.Control, &at);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&at), 2);
            const std::vector<LONG> got = {at.left, at.top, at.right - at.left, place.Height ? at.bottom - at.top : 0};
            EXPECT_EQ(got, std::vector<LONG>({place.X, place.Y, place.Width, place.Height}))
                << "control " << &place - places << " at " << w << "x" << h;
        }
    }
    CloseMainWindow();
}

TEST(MainWindow, ListsShowTheTablesWithSelectionsFromTheSettingsFile)
{
    const struct { const char* Name; const char* Settings; const char* Shown[4]; } cases[] = {
        {"no settings give the defaults", "", {"アニメ・特撮", "23:00～29:00", "東京", "今日"}},
        {"positions from the file", "[section2]\r\nGenre=14\r\nTime=7\r\nRegion=46", {"全て", "19:00～25:00", "沖縄", "今日"}},
        {"positions outside the tables fall back to the defaults", "[section2]\r\nGenre=15\r\nTime=-1\r\nRegion=99",
         {"アニメ・特撮", "23:00～29:00", "東京", "今日"}},
    };
    const std::pair<const Choice*, int> tables[] = {{GenreChoices, GenreChoiceCount}, {TimeChoices, TimeChoiceCount},
                                                    {RegionChoices, RegionChoiceCount}, {DayChoices, DayChoiceCount}};
    for (const auto& c : cases) {
        WriteSettingsFile(c.Settings);
        StartMainWindow();
        const HWND combos[] = {GenreCombo, TimeCombo, RegionCombo, DayCombo};
        for (int i = 0; i < 4; ++i) {
            const auto [table, count] = tables[i];
            ASSERT_EQ(SendMessageA(combos[i], CB_GETCOUNT, 0, 0), count) << c.Name << ", list " << i;
            for (int entry = 0; entry < count; ++entry) {
                const LPARAM label = reinterpret_cast<LPARAM>(table[entry].Label);
                EXPECT_EQ(SendMessageA(combos[i], CB_FINDSTRINGEXACT, -1, label), entry) << c.Name << ", list " << i;
            }
            EXPECT_EQ(WindowText(combos[i]), c.Shown[i]) << c.Name << ", list " << i;
        }
        CloseMainWindow();
    }
    RemoveSettingsFile();
}

TEST(Sorting, EachColumnRemembersItsDirectionAndComparesBytesUnsigned)
{
    RemoveSettingsFile();
    StartMainWindow();
    const struct { const char* Title; const char* Station; int Month, Day, Hour; } programmes[] = {
        {"ニュース", "ＴＢＳ", 9, 30, 21},
        {"mmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmm", "ＮＨＫ総合", 10, 1, 5},
        {"アニメ", "フジテレビ", 9, 5, 9},
        {"News", "日本テレビ", 12, 24, 23},
    };
    for (const auto& p : programmes) {
        TELOMI* record = ProgrammeList.Append();
        std::strcpy(record->Title, p.Title);
        std::strcpy(record->Station, p.Station);
        std::tie(record->Month, record->Day, record->StartHour) = std::tuple(p.Month, p.Day, p.Hour);
        AddRow(MainListView, *record, ProgrammeCount);
        ++ProgrammeCount;
    }
    // Expected empty: not looked at.
    const struct { const char* Name; int Column; std::vector<std::string> Expected; } clicks[] = {
        {"first click on the date sorts ascending as text", 3, {"10月/1日", "12月/24日", "9月/30日", "9月/5日"}},
        {"a click on another column in between", 2, {}},
        {"second click on the date reverses it", 3, {"9月/5日", "9月/30日", "12月/24日", "10月/1日"}},
        {"times sort in time order", 4, {"05:00", "09:00", "21:00", "23:00"}},
        {"second click on the station sorts descending", 2, {"日本テレビ", "フジテレビ", "ＴＢＳ", "ＮＨＫ総合"}},
        // A title longer than the 29 bytes compared sorts all the same.
        {"titles sort by unsigned bytes", 0, {"News", programmes[1].Title, "アニメ", "ニュース"}},
    };
    for (const auto& click : clicks) {
        NMLISTVIEW notice = {{MainListView, IDC_LIST, UINT(LVN_COLUMNCLICK)}, -1, click.Column, 0, 0, 0, {}, 0};
        SendMessageA(MainWnd, WM_NOTIFY, IDC_LIST, reinterpret_cast<LPARAM>(&notice));
        std::vector<std::string> texts;
        for (int row = 0; row < ListRowCount(MainListView); ++row)
            texts.push_back(ListText(MainListView, row, click.Column));
        if (!click.Expected.empty()) {
            EXPECT_EQ(texts, click.Expected) << click.Name;
        }
    }
    CloseMainWindow();
}
