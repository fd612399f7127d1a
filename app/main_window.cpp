#include "app/main_window.h"

#include <commctrl.h>

#include <cstring>

#include "app/app_state.h"
#include "app/choice_lists.h"
#include "app/reminders.h"
#include "app/settings.h"
#include "fetch/retrieval.h"
#include "fetch/site_source.h"
#include "fetch/wide_text.h"
#include "fetch/window_class.h"
#include "listing/row_texts.h"
#include "res/resource.h"
#include "views/timetable_window.h"
#include "xmltv/xmltv_source.h"

namespace {

const char* const ColumnHeaders[8] = {"タイトル", "サブタイトル", "放送局", "日にち",
                                      "開始時間", "終了時間", "出演", "その他"};

void InsertColumns(int listWidth)
{
    for (int column = 0; column < 8; ++column) {
        std::wstring text = Wide(ColumnHeaders[column]);
        LVCOLUMNW header = {};
        header.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        header.fmt = LVCFMT_LEFT;
        header.cx = listWidth / 8;
        header.pszText = text.data();
        header.iSubItem = column;
        SendMessageW(MainListView, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&header));
    }
    SendMessageW(MainListView, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
}

void BuildMainWindow(HWND window)
{
    LoadSettings();
    GetClientRect(window, &MainClientRect);
    InitCommonControls();

    MainListView = CreateChild(window, WC_LISTVIEWA, "", LVS_REPORT, IDC_LIST);
    MoveWindow(MainListView, 0, 0, MainClientRect.right - 200, MainClientRect.bottom, FALSE);
    RECT listClient = {};
    GetClientRect(MainListView, &listClient);

    FetchButton = CreateChild(window, "BUTTON", "番組情報を受信", 0, IDC_FETCH);
    ReminderButton = CreateChild(window, "BUTTON", "お知らせONに", 0, IDC_REMINDER);
    TableButton = CreateChild(window, "BUTTON", "表を表示", 0, IDC_TABLE);
    TrayButton = CreateChild(window, "BUTTON", "タスクトレイへ", 0, IDC_TRAY);
    SettingsButton = CreateChild(window, "BUTTON", "設定", 0, IDC_SETTINGS);
    MinutesEdit = CreateChild(window, "EDIT", "", WS_BORDER | ES_NUMBER | ES_AUTOHSCROLL, IDC_MINUTES);
    SetDlgItemInt(window, IDC_MINUTES, static_cast<UINT>(MinutesBefore), TRUE);

    const DWORD sortedList = WS_VSCROLL | CBS_DROPDOWNLIST | CBS_SORT;
    GenreCombo = CreateChild(window, "COMBOBOX", nullptr, sortedList, IDC_CHOICE);
    TimeCombo = CreateChild(window, "COMBOBOX", nullptr, sortedList, IDC_CHOICE);
    RegionCombo = CreateChild(window, "COMBOBOX", nullptr, WS_VSCROLL | CBS_DROPDOWNLIST, IDC_CHOICE);
    DayCombo = CreateChild(window, "COMBOBOX", nullptr, WS_VSCROLL | CBS_DROPDOWNLIST, IDC_CHOICE);
    FillGenreList(GenreCombo, GenrePos);
    FillTimeList(TimeCombo, TimePos);
    FillRegionList(RegionCombo, RegionPos);
    FillDayList(DayCombo, 0);

    InsertColumns(listClient.right);
    if (AutoFetch)
        SendMessageW(window, WM_COMMAND, IDC_FETCH, 0);
}

void LayOutControls(HWND window)
{
    GetClientRect(window, &MainClientRect);
    const int w = MainClientRect.right;
    const int h = MainClientRect.bottom;
    MoveWindow(FetchButton, w - 150, 150, 150, 30, TRUE);
    MoveWindow(ReminderButton, w - 150, 200, 150, 30, TRUE);
    MoveWindow(TableButton, w - 150, 250, 150, 30, TRUE);
    MoveWindow(TrayButton, w - 150, 300, 150, 30, TRUE);
    MoveWindow(SettingsButton, w - 50, h - 30, 50, 30, TRUE);
    // A drop-down list's height includes its dropped list, down to the bottom.
    MoveWindow(DayCombo, w - 150, 350, 150, h - 350, TRUE);
    MoveWindow(TimeCombo, w - 150, 400, 150, h - 400, TRUE);
    MoveWindow(GenreCombo, w - 150, 450, 150, h - 450, TRUE);
    MoveWindow(RegionCombo, w - 150, 500, 150, h - 500, TRUE);
    MoveWindow(MinutesEdit, w - 150, 50, 35, 30, TRUE);
    MoveWindow(MainListView, 0, 0, w - 160, h, TRUE);
    for (int column = 0; column < 8; ++column)
        SendMessageW(MainListView, LVM_SETCOLUMNWIDTH, column, LVSCW_AUTOSIZE_USEHEADER);
}

void PaintMinutesLabel(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    PaintText(dc, MainClientRect.right - 113, 55, "分前に知らせる");
    EndPaint(window, &paint);
}

// The site's addresses from the four lists and the clock, and the settings
// as they are now: the walk keeps this copy.
SiteSettings CurrentSiteSettings()
{
    SiteSettings settings = {};
    std::strcpy(settings.Host, SiteHost);
    settings.Connections = DetailConnections;
    settings.ReceiveBS = ReceiveBS != 0;
    settings.ReceiveCS = ReceiveCS != 0;
    const RequestChoices choices = {SelectedChoice(GenreCombo), SelectedChoice(TimeCombo),
                                    SelectedChoice(RegionCombo), SelectedChoice(DayCombo)};
    const LocalClock now = LocalNow();
    settings.Year = BroadcastDate(now, choices.Day).Year;
    BuildRequestAddresses(choices, now, SiteHost, settings.Requests);
    return settings;
}

XmltvSettings CurrentXmltvSettings()
{
    XmltvSettings settings;
    settings.Address = XmltvAddress;
    settings.Request = {LocalNow(), SelectedChoice(DayCombo), SelectedChoice(TimeCombo), SelectedChoice(GenreCombo),
                        SplitChannelList(XmltvChannels)};
    return settings;
}

// From the XMLTV document when the settings name one, else from the site.
void FetchListings(HWND window)
{
    const RetrievalView view = {window, MainListView, MainClientRect, CheckAllOnDone != 0};
    if (XmltvAddress[0])
        StartRetrieval(view, MakeXmltvSource(CurrentXmltvSettings()));
    else
        StartRetrieval(view, MakeSiteSource(CurrentSiteSettings()));
}

void OpenTimetable()
{
    // Only this program's own timetable: the handle is cleared when it closes.
    if (TableWnd && IsWindow(TableWnd)) {
        SetForegroundWindow(TableWnd);
        return;
    }
    RegisterWindowClass(AppInstance, TableWndProc, "table", false);
    TableWnd = CreateWindowExW(0, L"table", Wide("表で表示").c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, AppInstance, nullptr);
    if (!TableWnd)
        return;
    ShowWindow(TableWnd, SW_SHOW);
    UpdateWindow(TableWnd);
}

void OnCommand(HWND window, int id)
{
    switch (id) {
    case IDC_FETCH:
        FetchListings(window);
        break;
    case IDC_REMINDER:
        SwitchReminders();
        break;
    case IDC_TABLE:
        OpenTimetable();
        break;
    case IDC_TRAY:
        ToggleTray();
        break;
    case IDC_SETTINGS:
        DialogBoxParamW(AppInstance, MAKEINTRESOURCEW(IDD_SETTINGS), window, SettingsDialogProc, 0);
        break;
    }
}

// Item data is the record's index, so the rows are compared by their records
// and the list is never asked for texts while it sorts.
int CALLBACK CompareRows(LPARAM leftData, LPARAM rightData, LPARAM column)
{
    const int result = CompareRowTexts(ProgrammeList[static_cast<size_t>(leftData)],
                                       ProgrammeList[static_cast<size_t>(rightData)], static_cast<int>(column));
    return SortOrder[column] == 1 ? result : -result;
}

void SortOnColumnClick(WPARAM controlId, const NMHDR* header)
{
    if (controlId != IDC_LIST || header->code != LVN_COLUMNCLICK)
        return;
    const int column = reinterpret_cast<const NMLISTVIEW*>(header)->iSubItem;
    if (column < 0 || column > 7)
        return;
    SortOrder[column] = SortOrder[column] == 1 ? 2 : 1;
    SendMessageW(MainListView, LVM_SORTITEMS, column, reinterpret_cast<LPARAM>(CompareRows));
}

void ShutDown(HWND window)
{
    // The worker writes into the records and sends to these windows: it ends first.
    EndRetrieval();
    for (HWND control : {MainListView, FetchButton, ReminderButton, TableButton, TrayButton, SettingsButton,
                         MinutesEdit, GenreCombo, TimeCombo, RegionCombo, DayCombo})
        DestroyWindow(control);
    // The timetable has no owner, so it would outlive the main window.
    DestroyWindow(TableWnd);
    DestroyWindow(window);
    PostQuitMessage(0);
}

} // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        BuildMainWindow(window);
        return 0;
    case WM_CLOSE:
    case WM_DESTROY:
        ShutDown(window);
        return 0;
    case WM_SIZE:
        LayOutControls(window);
        return 0;
    case WM_PAINT:
        PaintMinutesLabel(window);
        return 0;
    case WM_NOTIFY:
        SortOnColumnClick(wParam, reinterpret_cast<const NMHDR*>(lParam));
        return 0;
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam));
        return 0;
    case WM_TIMER:
        RemindOfProgramme(wParam);
        return 0;
    case WM_RETRIEVALREPORT:
        ShowRetrievalReport(window);
        return 0;
    case WM_TRAYICON:
        if (lParam != WM_LBUTTONDBLCLK)
            break;
        ToggleTray();
        return 0;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND)
            RecomputeReminders();
        return TRUE;
    case WM_TIMECHANGE:
        RecomputeReminders();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
