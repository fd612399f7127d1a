#include "views/detail_window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "app/app_state.h"
#include "res/resource.h"
#include "tests/win/test_support.h"
#include "views/search_address.h"
#include "views/timetable_layout.h"
#include "views/timetable_window.h"

namespace {

// Where the boxes lie in a 900 x 600 client area: six hour columns from 5:00, three rows.
enum { UpperLeft, Second, UpperRight, EarlyLong, LateLong, LowerLeft, LowerRight };
const struct { const char* Station; int Start, End; } Listing[] = {
    {"ＮＨＫ総合", 5, 6}, {"ＮＨＫ総合", 7, 8}, {"ＮＨＫ総合", 9, 10}, {"日本テレビ", 5, 7},
    {"日本テレビ", 6, 8} /* overlaps the one before from 6 to 7 */, {"ＴＢＳ", 5, 6}, {"ＴＢＳ", 9, 11}};
std::vector<std::string> Opened;

const ProgrammeBox& Box(int programme) { return ProgrammeList[programme].Box; }
POINT Centre(int p) { return {(Box(p).Left + Box(p).Right) / 2, (Box(p).Top + Box(p).Bottom) / 2}; }
void Click(POINT at) { SendMessageA(TableWnd, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y)); }

std::tuple<int, int, int, int> ChildRect(int id)
{
    RECT rect;
    GetWindowRect(GetDlgItem(DetailWnd, id), &rect);
    MapWindowPoints(nullptr, DetailWnd, reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

std::string ControlText(int id)
{
    char text[4096] = {};
    GetDlgItemTextA(DetailWnd, id, text, sizeof text);
    return text;
}

// The listing in a timetable painted once at 900 x 600, so every box is laid out.
class DetailWindow : public testing::Test {
protected:
    void SetUp() override
    {
        ProgrammeList.Clear();
        ProgrammeCount = 0;
        for (const auto& p : Listing) {
            TELOMI* r = ProgrammeList.Append();
            std::strcpy(r->Station, p.Station);
            std::tie(r->Month, r->Day, r->StartHour, r->EndHour) = std::tuple(4, 10, p.Start, p.End);
            ++ProgrammeCount;
        }
        TELOMI& weather = ProgrammeList[UpperLeft];
        std::strcpy(weather.StartText, "05:00");
        std::strcpy(weather.EndText, "06:00");
        std::strcpy(weather.Title, "日本の天気予報");
        std::strcpy(weather.Subtitle, "全国の天気");
        std::strcpy(weather.Performers, "気象予報士／山田太郎");
        std::strcpy(weather.Other, "字幕放送\r\nデータ放送");
        Opened.clear();
        OpenInBrowser = [](const char* address) { Opened.push_back(address); };
        TableLayout.fitPending = false;
        RegisterWindowClass(AppInstance, TableWndProc, "table", false);
        RECT outer = {0, 0, 900, 600}, client = {};
        AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
        CreateWindowExA(0, "table", "表で表示", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 80, outer.right - outer.left,
                        outer.bottom - outer.top, nullptr, nullptr, AppInstance, nullptr);
        UpdateWindow(TableWnd);
        GetClientRect(TableWnd, &client);
        ASSERT_EQ(std::tuple(client.right, client.bottom, TableLayout.hourCount, TableLayout.stationCount),
                  std::tuple(900, 600, 6, 3));
    }
    void TearDown() override
    {
        DestroyWindow(TableWnd);
        TableWnd = nullptr;
        ProgrammeList.Clear();
        ProgrammeCount = 0;
        StationTable.clear();
        TableLayout.fitPending = true;
    }
};

} // namespace

TEST_F(DetailWindow, ClickSelectsTheLastBoxStrictlyAroundIt)
{
    const ProgrammeBox first = Box(UpperLeft), early = Box(EarlyLong), late = Box(LateLong);
    const POINT middle = Centre(UpperLeft);
    const int row = (early.Top + early.Bottom) / 2;
    ProgrammeList.Append()->Box = ProgrammeBox{0, 0, 900, 600}; // still being filled, behind ProgrammeCount
    const struct { const char* What; int X, Y; int32_t Expected; } cases[] = {
        {"centre", middle.x, middle.y, UpperLeft},
        {"inside the top-left corner", first.Left + 1, first.Top + 1, UpperLeft},
        {"inside the bottom-right corner", first.Right - 1, first.Bottom - 1, UpperLeft},
        {"left edge", first.Left, middle.y, NoProgramme},
        {"right edge", first.Right, middle.y, NoProgramme},
        {"top edge", middle.x, first.Top, NoProgramme},
        {"bottom edge", middle.x, first.Bottom, NoProgramme},
        {"free hour between two boxes", (first.Right + Box(Second).Left) / 2, middle.y, NoProgramme},
        {"earlier box alone", (early.Left + late.Left) / 2, row, EarlyLong},
        {"overlap goes to the later record", (late.Left + early.Right) / 2, row, LateLong},
        {"later box alone", (early.Right + late.Right) / 2, row, LateLong},
    };
    for (const auto& c : cases) {
        Click(middle);
        HWND previous = DetailWnd;
        Click({c.X, c.Y});
        EXPECT_TRUE(previous && !IsWindow(previous)) << c.What << ": the open detail window closes first";
        EXPECT_EQ(SelectedProgramme, c.Expected) << c.What;
        EXPECT_EQ(DetailWnd ? GetWindow(DetailWnd, GW_OWNER) : nullptr, c.Expected == NoProgramme ? nullptr : TableWnd)
            << c.What;
    }
}

TEST_F(DetailWindow, OpensAThirdOfTheTimetableBesideTheClickTowardsTheMiddle)
{
    const struct { int Programme; bool Maximised; } cases[] = {
        {UpperLeft, false}, {UpperRight, false}, {LowerLeft, false}, {LowerRight, false}, {LowerRight, true}};
    for (const auto [programme, maximised] : cases) {
        if (maximised) {
            ShowWindow(TableWnd, SW_MAXIMIZE);
            UpdateWindow(TableWnd);
        }
        RECT client, rect;
        GetClientRect(TableWnd, &client);
        WINDOWPLACEMENT placement = {sizeof placement, 0, 0, {}, {}, {}};
        GetWindowPlacement(TableWnd, &placement);
        ASSERT_EQ(placement.showCmd == SW_SHOWMAXIMIZED, maximised);
        const POINT click = Centre(programme);
        Click(click);
        ASSERT_EQ(SelectedProgramme, programme);
        // The placement stands in for the client area's screen origin.
        const POINT origin = maximised ? placement.ptMaxPosition
                                       : POINT{placement.rcNormalPosition.right - client.right,
                                               placement.rcNormalPosition.bottom - client.bottom};
        const int x = click.x > client.right / 2 ? click.x - client.right / 3 : click.x;
        const int y = click.y > client.bottom / 2 ? click.y - client.bottom / 3 : click.y;
        GetWindowRect(DetailWnd, &rect);
        EXPECT_EQ(std::tuple(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
                  std::tuple(origin.x + x, origin.y + y, client.right / 3, client.bottom / 3))
            << programme << (maximised ? ", maximised" : "");
        EXPECT_EQ(GetWindowLongA(DetailWnd, GWL_STYLE) & (WS_POPUP | WS_THICKFRAME | WS_VISIBLE | WS_CAPTION),
                  WS_POPUP | WS_THICKFRAME | WS_VISIBLE);
    }
}

TEST_F(DetailWindow, ShowsTheDetailsCutAt1023BytesAboveTwoButtons)
{
    TELOMI& weather = ProgrammeList[UpperLeft];
    const size_t filled = std::strlen(weather.Other), more = sizeof weather.Other - 1 - filled;
    std::memset(weather.Other + filled, 'o', more);
    Click(Centre(UpperLeft));
    const std::string full = "05:00～06:00\r\nＮＨＫ総合\r\n日本の天気予報\r\n全国の天気\r\n気象予報士／山田太郎\r\n"
                             "字幕放送\r\nデータ放送" + std::string(more, 'o');
    EXPECT_EQ(ControlText(IDC_DETAIL_TEXT), full.substr(0, 1023));
    EXPECT_EQ(ControlText(IDC_GOOGLE) + "|" + ControlText(IDC_WIKIPEDIA), "Googleで検索|Wikipediaで検索");
    EXPECT_EQ(GetWindowLongA(GetDlgItem(DetailWnd, IDC_DETAIL_TEXT), GWL_STYLE) & (ES_MULTILINE | ES_READONLY),
              ES_MULTILINE);
    // After a resize the field fills the window above the Google button, then
    // Wikipedia, 20 pixels each.
    SetWindowPos(DetailWnd, nullptr, 0, 0, 420, 333, SWP_NOMOVE | SWP_NOZORDER);
    RECT client;
    GetClientRect(DetailWnd, &client);
    const int w = client.right, h = client.bottom;
    EXPECT_EQ(ChildRect(IDC_DETAIL_TEXT), std::tuple(0, 0, w, h - 40));
    EXPECT_EQ(ChildRect(IDC_GOOGLE), std::tuple(0, h - 40, w, h - 20));
    EXPECT_EQ(ChildRect(IDC_WIKIPEDIA), std::tuple(0, h - 20, w, h));
    SendMessageA(DetailWnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(DetailWnd, nullptr);
}

// The field counts its selection in characters; the 99-byte limit counts code
// page 932 bytes, two for each Japanese character.
TEST_F(DetailWindow, ButtonsSearchTheSelectionAsUtf8)
{
    const int title = static_cast<int>(std::u16string(u"05:00～06:00\r\nＮＨＫ総合\r\n").size());
    const std::string letters(120, 'a'), google = SearchEnginePrefix, wikipedia = EncyclopediaPrefix;
    std::string kana, encodedKana;
    for (int i = 0; i < 49; ++i) {
        kana += "あ";
        encodedKana += "%E3%81%82";
    }
    kana += "xyz";
    const struct { const char* What; const char* Text; int Start, End, Button; std::string Expected; } cases[] = {
        {"日本の天気", nullptr, title, title + 5, IDC_GOOGLE, google + "%E6%97%A5%E6%9C%AC%E3%81%AE%E5%A4%A9%E6%B0%97"},
        {"ampersand", "A&B 検索", 0, 3, IDC_GOOGLE, google + "A%26B"},
        {"nothing selected", nullptr, title, title, IDC_GOOGLE, ""},
        {"100 letters", letters.c_str(), 0, 100, IDC_GOOGLE, ""},
        {"99 letters", letters.c_str(), 10, 109, IDC_WIKIPEDIA, wikipedia + letters.substr(0, 99)},
        {"49 kana and a letter: 99 bytes", kana.c_str(), 0, 50, IDC_GOOGLE, google + encodedKana + "x"},
        {"49 kana and two letters: 100 bytes", kana.c_str(), 0, 51, IDC_WIKIPEDIA, ""},
    };
    for (const auto& c : cases) {
        Opened.clear();
        Click(Centre(UpperLeft));
        HWND field = GetDlgItem(DetailWnd, IDC_DETAIL_TEXT);
        if (c.Text)
            SetWindowTextA(field, c.Text);
        SendMessageA(field, EM_SETSEL, c.Start, c.End);
        SendMessageA(GetDlgItem(DetailWnd, c.Button), BM_CLICK, 0, 0);
        EXPECT_EQ(Opened, c.Expected.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.Expected})
            << c.What;
    }
}
