// Start-up, the resources, the main window's controls and sorting the list.
#include "tests/win/test_support.h"

TEST(StartUp, OneMainWindowWithIconAndWhiteBackgroundThenExitCodeZeroOnClose)
{
    static int MainWindows;
    static bool HasMenu;
    static std::string Title;
    const int exitCode = RunProgram([](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        HWND first = FindWindowExA(nullptr, nullptr, "Main", nullptr);
        for (HWND window = first; window; window = FindWindowExA(nullptr, window, "Main", nullptr))
            ++MainWindows;
        Title = WindowText(first);
        HasMenu = GetMenu(first) != nullptr;
        PostMessageW(first, WM_CLOSE, 0, 0);
    }, 200);
    EXPECT_EQ(std::tuple(exitCode, MainWindows, Title, HasMenu), std::tuple(0, 1, std::string("てろみや"), false));
    EXPECT_FALSE(IsWindow(MainWnd));
    WNDCLASSEXA info = {sizeof info};
    ASSERT_TRUE(GetClassInfoExA(AppInstance, "Main", &info));
    EXPECT_TRUE(info.hIcon && info.hCursor && info.hbrBackground == GetStockObject(WHITE_BRUSH));

    // The timetable's popup menu.
    HMENU menu = LoadMenuW(AppInstance, MAKEINTRESOURCEW(IDR_TABLEMENU));
    wchar_t name[64] = {};
    GetMenuStringW(GetSubMenu(menu, 0), 0, name, 64, MF_BYPOSITION);
    EXPECT_EQ(std::tuple(GetMenuItemID(GetSubMenu(menu, 0), 0), FromWide(name)),
              std::tuple(UINT(ID_FIT_WIDTH), std::string("ウィンドウ幅を適正値に調整")));
    DestroyMenu(menu);
}

TEST(MainWindow, HasItsControlsWithTheirTextsTheListsColumnHeadsAndTheChoices)
{
    StartMainWindow();
    // Text null: a drop-down list shows its selection.
    const struct { HWND Control; const char* Class; const char* Text; int Id; } controls[] = {
        {MainListView, "SysListView32", "", IDC_LIST},      {FetchButton, "Button", "番組情報を受信", IDC_FETCH},
        {ReminderButton, "Button", "お知らせONに", IDC_REMINDER}, {TableButton, "Button", "表を表示", IDC_TABLE},
        {TrayButton, "Button", "タスクトレイへ", IDC_TRAY},  {SettingsButton, "Button", "設定", IDC_SETTINGS},
        {MinutesEdit, "Edit", "5", IDC_MINUTES},            {GenreCombo, "ComboBox", nullptr, IDC_CHOICE},
        {TimeCombo, "ComboBox", nullptr, IDC_CHOICE},       {RegionCombo, "ComboBox", nullptr, IDC_CHOICE},
        {DayCombo, "ComboBox", nullptr, IDC_CHOICE}};
    for (const auto& c : controls) {
        char name[64] = {};
        GetClassNameA(c.Control, name, sizeof name);
        EXPECT_STRCASEEQ(name, c.Class) << c.Id;
        if (c.Text)
            EXPECT_EQ(WindowText(c.Control), c.Text) << c.Id;
        EXPECT_EQ(std::tuple(GetDlgCtrlID(c.Control), IsWindowVisible(c.Control) != 0), std::tuple(c.Id, true));
    }
    // Eight columns: a ninth has no text.
    const char* heads[] = {"タイトル", "サブタイトル", "放送局", "日にち", "開始時間", "終了時間", "出演", "その他", ""};
    for (int column = 0; column < 9; ++column) {
        wchar_t text[64] = {};
        LVCOLUMNW info = {LVCF_TEXT, 0, 0, text, 64, 0, 0, 0, 0};
        SendMessageW(MainListView, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&info));
        EXPECT_EQ(FromWide(text), heads[column]);
    }
    const LRESULT extended = LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
    EXPECT_EQ(SendMessageW(MainListView, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & extended, extended);
    // Genres, six-hour windows, prefectures, days, each in the order its table expects, the defaults selected.
    const struct { HWND List; const Choice* Table; int Count; const char* Selected; } lists[] = {
        {GenreCombo, GenreChoices, 15, "アニメ・特撮"}, {TimeCombo, TimeChoices, 13, "23:00～29:00"},
        {RegionCombo, RegionChoices, 47, "東京"}, {DayCombo, DayChoices, 8, "今日"}};
    for (const auto& list : lists) {
        EXPECT_EQ(SendMessageW(list.List, CB_GETCOUNT, 0, 0), list.Count);
        for (int entry = 0; entry < list.Count; ++entry)
            EXPECT_EQ(ComboText(list.List, entry), list.Table[entry].Label);
        EXPECT_EQ(WindowText(list.List), list.Selected);
    }
}

TEST(Sorting, EachColumnRemembersItsDirectionAndComparesBytesUnsigned)
{
    StartMainWindow();
    const struct { const char* Title; const char* Station; int Month, Day, Hour; } programmes[] = {
        {"ニュース", "ＴＢＳ", 9, 30, 21}, {"mmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmm", "ＮＨＫ総合", 10, 1, 5},
        {"アニメ", "フジテレビ", 9, 5, 9}, {"News", "日本テレビ", 12, 24, 23}};
    for (const auto& p : programmes) {
        TELOMI* record = ProgrammeList.Append();
        std::strcpy(record->Title, p.Title);
        std::strcpy(record->Station, p.Station);
        std::tie(record->Month, record->Day, record->StartHour) = std::tuple(p.Month, p.Day, p.Hour);
        AddRow(MainListView, *record, ProgrammeCount++);
    }
    const struct { const char* Name; int Column; std::vector<std::string> Expected; } clicks[] = {
        {"first click on the date sorts ascending as text", 3, {"10月/1日", "12月/24日", "9月/30日", "9月/5日"}},
        {"a click on another column in between", 2, {}}, // expected empty: not looked at
        {"second click on the date reverses it", 3, {"9月/5日", "9月/30日", "12月/24日", "10月/1日"}},
        {"times sort in time order", 4, {"05:00", "09:00", "21:00", "23:00"}},
        {"second click on the station sorts descending", 2, {"日本テレビ", "フジテレビ", "ＴＢＳ", "ＮＨＫ総合"}},
        // A title longer than the 29 bytes compared sorts all the same.
        {"titles sort by unsigned bytes", 0, {"News", programmes[1].Title, "アニメ", "ニュース"}}};
    for (const auto& click : clicks) {
        ClickColumn(click.Column);
        std::vector<std::string> texts;
        for (int row = 0; row < ListRowCount(MainListView); ++row)
            texts.push_back(ListText(MainListView, row, click.Column));
        if (!click.Expected.empty())
            EXPECT_EQ(texts, click.Expected) << click.Name;
    }
}
