#include "app/app_state.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TopLevelSearch {
    DWORD ProcessId;
    std::vector<HWND> Found;
};

BOOL CALLBACK CollectMainWindows(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<TopLevelSearch*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (processId == search->ProcessId && std::string(className) == "Main")
        search->Found.push_back(window);
    return TRUE;
}

struct StartUpObservation {
    int MainWindows = 0;
    std::string Title;
    bool HasMenu = true;
};
StartUpObservation Seen;

void CALLBACK InspectAndClose(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    TopLevelSearch search{GetCurrentProcessId(), {}};
    EnumWindows(CollectMainWindows, reinterpret_cast<LPARAM>(&search));
    Seen.MainWindows = static_cast<int>(search.Found.size());
    if (!search.Found.empty()) {
        char title[64] = {};
        GetWindowTextA(search.Found[0], title, sizeof title);
        Seen.Title = title;
        Seen.HasMenu = GetMenu(search.Found[0]) != nullptr;
        PostMessageA(search.Found[0], WM_CLOSE, 0, 0);
    }
}

} // namespace

TEST(StartUp, OneMainWindowThenExitCodeZeroOnClose)
{
    UnregisterClassA("Main", GetModuleHandleA(nullptr));
    SetTimer(nullptr, 0, 200, InspectAndClose);
    int exitCode = RunApplication(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(Seen.MainWindows, 1);
    EXPECT_EQ(Seen.Title, "てろみや");
    EXPECT_FALSE(Seen.HasMenu);
    EXPECT_FALSE(IsWindow(MainWnd));
}

TEST(StartUp, RegisteredClassesHaveStyleIconAndWhiteBackground)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    for (const char* name : {"Main", "message", "table", "window"}) {
        RegisterWindowClass(instance, DefWindowProcA, name, false);
        WNDCLASSEXA info = {};
        info.cbSize = sizeof info;
        ASSERT_TRUE(GetClassInfoExA(instance, name, &info)) << name;
        EXPECT_EQ(info.style, 11u) << name;
        EXPECT_NE(info.hIcon, nullptr) << name;
        EXPECT_EQ(info.hbrBackground, GetStockObject(WHITE_BRUSH)) << name;
        EXPECT_NE(info.hCursor, nullptr) << name;
        EXPECT_EQ(info.lpszMenuName, nullptr) << name;
        // Later tests register these classes with their real procedures.
        UnregisterClassA(name, instance);
    }
}

TEST(Resources, SettingsDialogAndPopupMenuLoadWithTheirTexts)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_SETTINGS), nullptr,
                                     [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    ASSERT_NE(dialog, nullptr);
    struct Item {
        int Id;
        const char* Text;
    };
    const Item items[] = {
        {IDOK, "OK"},
        {IDC_SAVE_INI, "設定ファイルを作成し保存する。（※チェックを入れないと設定を保存できません）"},
        {IDC_RECEIVE_BS, "BSも受信"},
        {IDC_AUTO_FETCH, "起動時に自動で番組情報収得"},
        {IDC_CHECK_ALL, "受信完了時全てにチェックを入れる"},
        {IDC_RECEIVE_CS, "CSも受信"},
    };
    for (const Item& item : items) {
        char text[256] = {};
        GetDlgItemTextA(dialog, item.Id, text, sizeof text);
        EXPECT_STREQ(text, item.Text) << item.Id;
    }
    for (int id : {IDC_DEFAULT_REGION, IDC_DEFAULT_TIME, IDC_DEFAULT_GENRE, IDC_DEFAULT_MINUTES})
        EXPECT_NE(GetDlgItem(dialog, id), nullptr) << id;
    char caption[32] = {};
    GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_STREQ(caption, "設定");
    DestroyWindow(dialog);

    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_TABLEMENU));
    ASSERT_NE(menu, nullptr);
    char popupName[32] = {};
    GetMenuStringA(menu, 0, popupName, sizeof popupName, MF_BYPOSITION);
    EXPECT_STREQ(popupName, "SubMenu");
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(GetMenuItemID(popup, 0), static_cast<UINT>(ID_FIT_WIDTH));
    char itemText[64] = {};
    GetMenuStringA(popup, 0, itemText, sizeof itemText, MF_BYPOSITION);
    EXPECT_STREQ(itemText, "ウィンドウ幅を適正値に調整");
    DestroyMenu(menu);
}
