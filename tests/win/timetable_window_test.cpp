#include "views/timetable_window.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <tuple>

#include "app/app_state.h"
#include "res/resource.h"
#include "tests/win/test_support.h"
#include "views/detail_window.h"
#include "views/search_address.h"
#include "views/timetable_layout.h"

namespace {

constexpr uint32_t Black = 0, White = 0xFFFFFF, Hatch = 0xFCA654;
constexpr int Width = 900, Height = 600; // the fixture's client size
// Six hour columns from 5:00 in three rows; ＮＨＫ総合 is free from 6 to 7, 日本テレビ's two overlap from 6 to 7.
enum { UpperLeft, Second, UpperRight, EarlyLong, LateLong, LowerLeft, LowerRight };
const struct { const char* Station; int Start, End; } Listing[] = {{"ＮＨＫ総合", 5, 6}, {"ＮＨＫ総合", 7, 8},
    {"ＮＨＫ総合", 9, 10}, {"日本テレビ", 5, 7}, {"日本テレビ", 6, 8}, {"ＴＢＳ", 5, 6}, {"ＴＢＳ", 9, 11}};
std::vector<std::string> Opened; // addresses handed to the browser

const ProgrammeBox& Box(int programme) { return ProgrammeList[programme].Box; }
POINT Centre(int p) { return {(Box(p).Left + Box(p).Right) / 2, (Box(p).Top + Box(p).Bottom) / 2}; }
void Click(POINT at) { SendMessageA(TableWnd, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y)); }
HWND Child(int id) { return GetDlgItem(DetailWnd, id); }

std::string Text(HWND window)
{
    char text[2048] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Left, top, right and bottom on the screen, or in the client area of a given parent.
std::array<int, 4> Rect(HWND window, HWND parent = nullptr)
{
    RECT rect;
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

// The timetable's client size, after setting it when given one.
std::pair<int, int> ClientSize(int width = 0, int height = 0)
{
    RECT rect = {0, 0, width, height};
    AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
    if (width)
        SetWindowPos(TableWnd, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                     SWP_NOMOVE | SWP_NOZORDER);
    UpdateWindow(TableWnd);
    GetClientRect(TableWnd, &rect);
    return {rect.right, rect.bottom};
}

// The 0xRRGGBB colour at x, y of the client area drawn by WM_PRINTCLIENT into a white bitmap.
std::function<uint32_t(int, int)> PrintClient()
{
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), Width, -Height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    HDC memory = CreateCompatibleDC(nullptr);
    uint32_t* bits = nullptr;
    HGDIOBJ old = SelectObject(
        memory, CreateDIBSection(memory, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0));
    PatBlt(memory, 0, 0, Width, Height, WHITENESS);
    SendMessageA(TableWnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    GdiFlush();
    std::vector<uint32_t> pixels(bits, bits + Width * Height);
    DeleteObject(SelectObject(memory, old));
    DeleteDC(memory);
    return [pixels](int x, int y) { return pixels[y * Width + x] & 0xFFFFFF; };
}

// Run by the menu's own loop: notes where the menu opened and picks its only item.
RECT MenuRect;
void CALLBACK ChooseFromMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND menu = FindWindowA("#32768", nullptr);
    if (menu && IsWindowVisible(menu) && KillTimer(nullptr, timer) && GetWindowRect(menu, &MenuRect)) {
        PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    }
}

// The listing in a timetable painted once at its client size and not fitted, so every box is laid out.
class Timetable : public testing::Test {
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
        TableLayout.fitPending = false;
        RegisterWindowClass(AppInstance, TableWndProc, "table", false);
        CreateWindowExA(0, "table", "表で表示", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 400, 300, nullptr, nullptr,
                        AppInstance, nullptr);
        ASSERT_EQ(ClientSize(Width, Height), std::pair(Width, Height));
        ASSERT_EQ(std::pair(TableLayout.hourCount, StationTable.size()), std::pair(6, size_t{3}));
    }
    void TearDown() override
    {
        DestroyWindow(TableWnd);
        TableWnd = nullptr;
        StationTable.clear();
        ProgrammeList.Clear();
        ProgrammeCount = 0;
        TableLayout.fitPending = true;
    }
};

} // namespace

TEST_F(Timetable, GridLinesAreBlackAndBoxesHatchedOverThem)
{
    const auto at = PrintClient();
    const int s = TableLayout.stationColumnWidth, t = TableLayout.headerHeight, u = TableLayout.hourWidth;
    const int q = StationTable[1].Top - StationTable[0].Top, row3 = StationTable[2].Top;
    const ProgrammeBox first = Box(UpperLeft), spanning = Box(EarlyLong);
    const struct { const char* What; int X, Y; uint32_t Expected; } probes[] = {
        {"station column line", s, Height - 2, Black},
        {"line under the label band", s / 2, t, Black},
        {"line between the last two rows", (Box(Second).Right + Box(LowerRight).Left) / 2, row3, Black},
        {"hour line in an empty row part", s + 2 * u, row3 + q / 2, Black},
        {"first half-hour mark", s + u / 2, 1, Black},
        {"empty row part", s + 2 * u + u / 4, row3 + q / 2, White},
        {"free hour between two boxes", (first.Right + Box(Second).Left) / 2, StationTable[0].Top + q / 2, White},
    };
    for (const auto& probe : probes)
        EXPECT_EQ(at(probe.X, probe.Y), probe.Expected) << probe.What;
    // Below a box's text only hatching and white; the 6:00 line shows through the 5:00-7:00 box.
    int hatch = 0, white = 0, other = 0, line = 0;
    for (int y = first.Bottom - q / 3; y < first.Bottom - 2; ++y) {
        for (int x = first.Left + 2; x < first.Right - 2; ++x)
            (at(x, y) == Hatch ? hatch : at(x, y) == White ? white : other)++;
        line += at(s + u, y - first.Bottom + spanning.Bottom) == Black;
    }
    EXPECT_TRUE(hatch > 0 && white > 0 && other == 0) << hatch << " hatched, " << white << " white, " << other;
    EXPECT_GT(line, q / 6);
}

// Each pass works from the measures of the paint before it: six hour columns, three rows.
TEST_F(Timetable, DoubleClickOrMenuFitsTwiceToTheComputedClientSizes)
{
    const struct { int Width, Height; bool ByMenu; std::pair<int, int> First, Second; } cases[] = {
        {1000, 500, false, {825, 499}, {807, 498}}, {1100, 700, false, {835, 698}, {808, 697}},
        {800, 600, false, {800, 600}, {800, 600}}, {900, 451, false, {815, 451}, {806, 451}},
        {1000, 500, true, {}, {807, 498}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Width << "x" << c.Height);
        ASSERT_EQ(ClientSize(c.Width, c.Height), std::pair(c.Width, c.Height));
        const auto before = Rect(TableWnd);
        if (c.ByMenu) {
            POINT pointer = {120, 80};
            ClientToScreen(TableWnd, &pointer);
            SetTimer(nullptr, 0, 20, ChooseFromMenu);
            SendMessageA(TableWnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(120, 80));
            EXPECT_EQ(std::pair(MenuRect.left, MenuRect.top), std::pair(pointer.x, pointer.y)) << "menu at the pointer";
        } else {
            SendMessageA(TableWnd, WM_LBUTTONDBLCLK, 0, 0);
            EXPECT_EQ(ClientSize(), c.First);
        }
        PumpFor(300);
        EXPECT_EQ(ClientSize(), c.Second);
        EXPECT_FALSE(KillTimer(TableWnd, 1)) << "the fit timer keeps running";
        EXPECT_EQ(std::pair(Rect(TableWnd)[0], Rect(TableWnd)[1]), std::pair(before[0], before[1])) << "moved";
    }
}

TEST_F(Timetable, OneWindowThatFitsAfterEachOpeningButNotOnAHandResize)
{
    RemoveSettingsFile();
    StartMainWindow();
    HWND window = TableWnd;
    SendMessageA(MainWnd, WM_COMMAND, IDC_TABLE, 0);
    EXPECT_EQ(TableWnd, window) << "a second window was made";
    ClientSize(1000, 500); // not a size a fit keeps
    PumpFor(200);
    EXPECT_EQ(ClientSize(), std::pair(1000, 500));
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(TableLayout.fitPending && StationTable.empty()) << "closing forgets the layout";
    SendMessageA(MainWnd, WM_COMMAND, IDC_TABLE, 0);
    EXPECT_TRUE(TableWnd != window && !TableLayout.fitPending) << "a new window, fitted";
    PumpFor(100);
    CloseMainWindow();
    EXPECT_FALSE(IsWindow(TableWnd));
}

// A record whose page never arrived, inside ＮＨＫ総合's run, changes no row or box and takes no click.
TEST_F(Timetable, RecordWithoutItsPageIsLeftOut)
{
    const auto picture = [](int skipped) { // rows, then boxes
        std::string text;
        for (const StationRow& row : StationTable)
            text += row.Name + (" " + std::to_string(row.Top)) + "\n";
        for (int i = 0; i < ProgrammeCount; ++i)
            if (i != skipped)
                text += testing::PrintToString(std::array{Box(i).Left, Box(i).Top, Box(i).Right, Box(i).Bottom});
        return text;
    };
    const std::string without = picture(-1);
    ProgrammeList.Append();
    for (int i = ProgrammeCount++; i > UpperRight; --i)
        ProgrammeList[i] = ProgrammeList[i - 1];
    ProgrammeList[UpperRight] = TELOMI{};
    ProgrammeList[UpperRight].Box = ProgrammeBox{0, 0, Width, Height}; // left by an earlier paint
    InvalidateRect(TableWnd, nullptr, FALSE);
    UpdateWindow(TableWnd);
    EXPECT_EQ(picture(UpperRight), without);
    Click({(Box(UpperLeft).Right + Box(Second).Left) / 2, Centre(UpperLeft).y}); // ＮＨＫ総合's free hour
    EXPECT_EQ(std::pair(SelectedProgramme, DetailWnd), std::pair(NoProgramme, HWND{}));
}

// The last box strictly around the click wins; its detail window, a third of the timetable, opens beside
// the click towards the middle, the placement standing in for the client area's screen origin.
TEST_F(Timetable, ClickOpensTheDetailsOfTheLastBoxAroundItBesideIt)
{
    const auto expectBeside = [](POINT click) {
        const auto [w, h] = ClientSize();
        WINDOWPLACEMENT placement = {sizeof placement, 0, 0, {}, {}, {}};
        GetWindowPlacement(TableWnd, &placement);
        const RECT& normal = placement.rcNormalPosition;
        const bool maximised = placement.showCmd == SW_SHOWMAXIMIZED;
        const POINT origin = maximised ? placement.ptMaxPosition : POINT{normal.right - w, normal.bottom - h};
        const int x = origin.x + (click.x > w / 2 ? click.x - w / 3 : click.x);
        const int y = origin.y + (click.y > h / 2 ? click.y - h / 3 : click.y);
        EXPECT_EQ(Rect(DetailWnd), (std::array{x, y, x + w / 3, y + h / 3})) << (maximised ? "maximised" : "");
        EXPECT_EQ(GetWindowLongA(DetailWnd, GWL_STYLE) & (WS_POPUP | WS_THICKFRAME | WS_VISIBLE | WS_CAPTION),
                  WS_POPUP | WS_THICKFRAME | WS_VISIBLE);
    };
    const ProgrammeBox first = Box(UpperLeft), early = Box(EarlyLong), late = Box(LateLong);
    const POINT middle = Centre(UpperLeft);
    const int row = (early.Top + early.Bottom) / 2;
    ProgrammeList.Append()->Box = ProgrammeBox{0, 0, Width, Height}; // still being filled, behind ProgrammeCount
    const struct { POINT At; int32_t Expected; } cases[] = {
        {middle, UpperLeft}, {{first.Left + 1, first.Top + 1}, UpperLeft},
        {{first.Right - 1, first.Bottom - 1}, UpperLeft}, {{first.Left, middle.y}, NoProgramme},
        {{first.Right, middle.y}, NoProgramme}, {{middle.x, first.Top}, NoProgramme},
        {{middle.x, first.Bottom}, NoProgramme}, {{(first.Right + Box(Second).Left) / 2, middle.y}, NoProgramme},
        {{(early.Left + late.Left) / 2, row}, EarlyLong}, {{(late.Left + early.Right) / 2, row}, LateLong},
        {{(early.Right + late.Right) / 2, row}, LateLong}, {Centre(UpperRight), UpperRight},
        {Centre(LowerLeft), LowerLeft}, {Centre(LowerRight), LowerRight}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "click at " << c.At.x << "," << c.At.y);
        Click(middle);
        HWND previous = DetailWnd;
        Click(c.At);
        EXPECT_TRUE(previous && !IsWindow(previous)) << "the open detail window closes first";
        EXPECT_EQ(std::tuple(SelectedProgramme, DetailWnd ? GetWindow(DetailWnd, GW_OWNER) : nullptr),
                  std::tuple(c.Expected, c.Expected == NoProgramme ? nullptr : TableWnd));
        if (DetailWnd)
            expectBeside(c.At);
    }
    ShowWindow(TableWnd, SW_MAXIMIZE);
    UpdateWindow(TableWnd);
    Click(Centre(LowerRight));
    ASSERT_EQ(SelectedProgramme, LowerRight);
    expectBeside(Centre(LowerRight));
}

// The field counts its selection in characters; the 99-byte limit counts code
// page 932 bytes, two for each Japanese character.
TEST_F(Timetable, DetailsShowTheTextCutAt1023BytesAndSearchTheSelectionAsUtf8)
{
    TELOMI& w = ProgrammeList[UpperLeft];
    for (const auto& [field, text] : {std::pair(w.StartText, "05:00"), {w.EndText, "06:00"}, {w.Title, "日本の天気"},
                                     {w.Subtitle, "全国"}, {w.Performers, "気象予報士"}})
        std::strcpy(field, text);
    std::memset(w.Other, 'o', sizeof w.Other - 1);
    Click(Centre(UpperLeft));
    const std::string details =
        "05:00～06:00\r\nＮＨＫ総合\r\n日本の天気\r\n全国\r\n気象予報士\r\n" + std::string(999, 'o');
    EXPECT_EQ(Text(Child(IDC_DETAIL_TEXT)), details.substr(0, 1023));
    EXPECT_EQ(GetWindowLongA(Child(IDC_DETAIL_TEXT), GWL_STYLE) & (ES_MULTILINE | ES_READONLY), ES_MULTILINE);
    // After a resize the field fills the window above the Google button, then Wikipedia, 20 pixels each.
    SetWindowPos(DetailWnd, nullptr, 0, 0, 420, 333, SWP_NOMOVE | SWP_NOZORDER);
    RECT client;
    GetClientRect(DetailWnd, &client);
    const int cw = client.right, ch = client.bottom;
    EXPECT_EQ(std::tuple(Rect(Child(IDC_DETAIL_TEXT), DetailWnd), Rect(Child(IDC_GOOGLE), DetailWnd),
                         Rect(Child(IDC_WIKIPEDIA), DetailWnd)),
              std::tuple(std::array{0, 0, cw, ch - 40}, std::array{0, ch - 40, cw, ch - 20},
                         std::array{0, ch - 20, cw, ch}));
    EXPECT_EQ(Text(Child(IDC_GOOGLE)) + "|" + Text(Child(IDC_WIKIPEDIA)), "Googleで検索|Wikipediaで検索");

    const int title = static_cast<int>(std::u16string(u"05:00～06:00\r\nＮＨＫ総合\r\n").size());
    const std::string letters(120, 'a');
    std::string kana;
    for (int i = 0; i < 50; ++i)
        kana += "あ";
    const struct { const char* Text; int Start, End, Button; std::vector<std::string> Opened; } cases[] = {
        {nullptr, title, title + 5, IDC_GOOGLE,
         {SearchEnginePrefix + std::string("%E6%97%A5%E6%9C%AC%E3%81%AE%E5%A4%A9%E6%B0%97")}}, // 日本の天気
        {nullptr, title, title, IDC_GOOGLE, {}},
        {letters.c_str(), 0, 100, IDC_GOOGLE, {}},
        {letters.c_str(), 10, 109, IDC_WIKIPEDIA, {EncyclopediaPrefix + letters.substr(0, 99)}},
        {kana.c_str(), 0, 50, IDC_WIKIPEDIA, {}}, // 100 bytes
    };
    OpenInBrowser = [](const char* address) { Opened.push_back(address); };
    for (const auto& c : cases) {
        Opened.clear();
        if (c.Text)
            SetWindowTextA(Child(IDC_DETAIL_TEXT), c.Text);
        SendMessageA(Child(IDC_DETAIL_TEXT), EM_SETSEL, c.Start, c.End);
        SendMessageA(Child(c.Button), BM_CLICK, 0, 0);
        EXPECT_EQ(Opened, c.Opened) << c.Start << "-" << c.End;
    }
    SendMessageA(DetailWnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(DetailWnd, nullptr);
}
