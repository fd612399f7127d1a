#include "app/app_state.h"
#include "fetch/choices.h"
#include "res/resource.h"
#include "tests/win/test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window)
{
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::vector<std::string> ComboEntries(HWND combo)
{
    std::vector<std::string> entries;
    const int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[64] = {};
        SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        entries.push_back(text);
    }
    return entries;
}

std::string SelectedText(HWND combo)
{
    const LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return "(none)";
    char text[64] = {};
    SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

RECT ChildRect(HWND child)
{
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void ResizeClient(HWND window, int width, int height)
{
    RECT outer = {0, 0, width, height};
    AdjustWindowRectEx(&outer, GetWindowLongA(window, GWL_STYLE), FALSE, 0);
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    PumpFor(20);
}

} // namespace

TEST(MainWindow, CreatesItsControlsInOrderWithIdsTextsAndStyles)
{
    RemoveSettingsFile();
    StartMainWindow();
    struct Expected {
        HWND Control;
        const char* Class;
        const char* Text;
        DWORD Style;
        int Id;
    };
    const Expected controls[] = {
        {MainListView, "SysListView32", "", 0x50000001, IDC_LIST},
        {FetchButton, "Button", "番組情報を受信", WS_CHILD | WS_VISIBLE, IDC_FETCH},
        {ReminderButton, "Button", "お知らせONに", WS_CHILD | WS_VISIBLE, IDC_REMINDER},
        {TableButton, "Button", "表を表示", WS_CHILD | WS_VISIBLE, IDC_TABLE},
        {TrayButton, "Button", "タスクトレイへ", WS_CHILD | WS_VISIBLE, IDC_TRAY},
        {SettingsButton, "Button", "設定", WS_CHILD | WS_VISIBLE, IDC_SETTINGS},
        {MinutesEdit, "Edit", "5", 0x50802080, IDC_MINUTES},
        {GenreCombo, "ComboBox", "", 0x50200103, IDC_CHOICE},
        {TimeCombo, "ComboBox", "", 0x50200103, IDC_CHOICE},
        {RegionCombo, "ComboBox", "", 0x50200003, IDC_CHOICE},
        {DayCombo, "ComboBox", "", 0x50200003, IDC_CHOICE},
    };
    HWND previous = nullptr;
    for (const Expected& expected : controls) {
        ASSERT_TRUE(IsWindow(expected.Control)) << expected.Text;
        EXPECT_STRCASEEQ(ClassOf(expected.Control).c_str(), expected.Class);
        if (expected.Class != std::string("ComboBox"))
            EXPECT_EQ(TextOf(expected.Control), expected.Text);
        // Edit fields turn WS_BORDER into a client edge and combo boxes keep
        // WS_VSCROLL for their drop-down list, so those bits are not visible here.
        const DWORD visible = expected.Style & ~(WS_BORDER | WS_VSCROLL);
        const DWORD style = GetWindowLongA(expected.Control, GWL_STYLE);
        EXPECT_EQ(style & visible, visible) << expected.Text;
        EXPECT_EQ(GetDlgCtrlID(expected.Control), expected.Id) << expected.Text;
        // Z order follows creation order.
        if (previous)
            EXPECT_EQ(GetWindow(previous, GW_HWNDNEXT), expected.Control) << expected.Text;
        previous = expected.Control;
    }

    const char* headers[] = {"タイトル", "サブタイトル", "放送局", "日にち", "開始時間", "終了時間", "出演", "その他"};
    HWND header = reinterpret_cast<HWND>(SendMessageA(MainListView, LVM_GETHEADER, 0, 0));
    ASSERT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 8);
    for (int column = 0; column < 8; ++column) {
        char text[64] = {};
        LVCOLUMNA info = {};
        info.mask = LVCF_TEXT;
        info.pszText = text;
        info.cchTextMax = sizeof text;
        SendMessageA(MainListView, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&info));
        EXPECT_STREQ(text, headers[column]);
    }
    EXPECT_EQ(SendMessageA(MainListView, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0x25, 0x25);
    CloseMainWindow();
}

TEST(MainWindow, ListsShowTheTablesWithSelectionsFromTheSettingsFile)
{
    std::vector<std::string> shownGenres, times, regions, days;
    for (const Choice& c : GenreChoices)
        shownGenres.push_back(c.Label);
    for (const Choice& c : TimeChoices)
        times.push_back(c.Label);
    for (const Choice& c : RegionChoices)
        regions.push_back(c.Label);
    for (const Choice& c : DayChoices)
        days.push_back(c.Label);

    struct Case {
        const char* Name;
        const char* Settings; // null: no file
        const char* Genre;
        const char* Time;
        const char* Region;
    };
    const Case cases[] = {
        {"no file gives the defaults", nullptr, "アニメ・特撮", "23:00～29:00", "東京"},
        {"positions from the file", "[section2]\r\nGenre=14\r\nTime=7\r\nRegion=46", "全て", "19:00～25:00", "沖縄"},
        {"positions outside the tables fall back to the defaults",
         "[section2]\r\nGenre=15\r\nTime=-1\r\nRegion=99", "アニメ・特撮", "23:00～29:00", "東京"},
    };
    for (const Case& c : cases) {
        if (c.Settings)
            WriteSettingsFile(c.Settings);
        else
            RemoveSettingsFile();
        StartMainWindow();
        EXPECT_EQ(ComboEntries(GenreCombo), shownGenres) << c.Name;
        EXPECT_EQ(ComboEntries(TimeCombo), times) << c.Name;
        EXPECT_EQ(ComboEntries(RegionCombo), regions) << c.Name;
        EXPECT_EQ(ComboEntries(DayCombo), days) << c.Name;
        EXPECT_EQ(SelectedText(GenreCombo), c.Genre) << c.Name;
        EXPECT_EQ(SelectedText(TimeCombo), c.Time) << c.Name;
        EXPECT_EQ(SelectedText(RegionCombo), c.Region) << c.Name;
        EXPECT_EQ(SelectedText(DayCombo), "今日") << c.Name;
        CloseMainWindow();
    }
    RemoveSettingsFile();
}

TEST(MainWindow, LaysOutControlsForEachClientSize)
{
    RemoveSettingsFile();
    HWND window = StartMainWindow();
    for (SIZE size : {SIZE{1000, 700}, SIZE{640, 420}}) {
        ResizeClient(window, size.cx, size.cy);
        RECT client;
        GetClientRect(window, &client);
        const int w = client.right, h = client.bottom;
        ASSERT_EQ(w, size.cx);
        ASSERT_EQ(h, size.cy);
        struct Place {
            HWND Control;
            int X, Y, Width;
        };
        const Place places[] = {
            {FetchButton, w - 150, 150, 150},   {ReminderButton, w - 150, 200, 150},
            {TableButton, w - 150, 250, 150},   {TrayButton, w - 150, 300, 150},
            {SettingsButton, w - 50, h - 30, 50}, {DayCombo, w - 150, 350, 150},
            {TimeCombo, w - 150, 400, 150},     {GenreCombo, w - 150, 450, 150},
            {RegionCombo, w - 150, 500, 150},   {MinutesEdit, w - 150, 50, 35},
            {MainListView, 0, 0, w - 160},
        };
        for (const Place& place : places) {
            RECT rect = ChildRect(place.Control);
            EXPECT_EQ(rect.left, place.X) << TextOf(place.Control) << " at " << w << "x" << h;
            EXPECT_EQ(rect.top, place.Y) << TextOf(place.Control) << " at " << w << "x" << h;
            EXPECT_EQ(rect.right - rect.left, place.Width) << TextOf(place.Control);
        }
        EXPECT_EQ(ChildRect(MainListView).bottom, h);
        EXPECT_EQ(ChildRect(FetchButton).bottom - ChildRect(FetchButton).top, 30);
    }
    CloseMainWindow();
}
