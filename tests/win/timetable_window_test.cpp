#include "views/timetable_window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <tuple>

#include "app/app_state.h"
#include "res/resource.h"
#include "tests/win/test_support.h"
#include "views/timetable_layout.h"

namespace {

constexpr uint32_t Black = 0, White = 0xFFFFFF, Hatch = 0xFCA654;
constexpr int Width = 900, Height = 600; // the fixture's client size

struct Programme { const char* Station; int Start, End, Day = 10; };
// Three stations from 5:00 to 11:00, six hour columns; ＮＨＫ総合 is free from 6 to 7.
const std::vector<Programme> Morning = {
    {"ＮＨＫ総合", 5, 6}, {"ＮＨＫ総合", 7, 8}, {"日本テレビ", 5, 7}, {"日本テレビ", 7, 8}, {"ＴＢＳ", 9, 11}};

void Add(const std::vector<Programme>& programmes)
{
    for (const Programme& p : programmes) {
        TELOMI* record = ProgrammeList.Append();
        std::strcpy(record->Station, p.Station);
        std::tie(record->Month, record->Day, record->StartHour, record->EndHour) = std::tuple(4, p.Day, p.Start, p.End);
        ++ProgrammeCount;
    }
}

std::pair<int, int> ClientSize()
{
    RECT client = {};
    GetClientRect(TableWnd, &client);
    return {client.right, client.bottom};
}

void SetClientSize(int width, int height)
{
    RECT outer = {0, 0, width, height};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(TableWnd, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    UpdateWindow(TableWnd);
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

// An empty timetable painted once at its client size and not fitted.
class Timetable : public testing::Test {
protected:
    void SetUp() override
    {
        ProgrammeList.Clear();
        ProgrammeCount = 0;
        TableLayout.fitPending = false;
        RegisterWindowClass(AppInstance, TableWndProc, "table", false);
        CreateWindowExA(0, "table", "表で表示", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 400, 300, nullptr, nullptr,
                        AppInstance, nullptr);
        SetClientSize(Width, Height);
        ASSERT_EQ(ClientSize(), std::pair(Width, Height));
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
    Add(Morning);
    const auto at = PrintClient();
    ASSERT_EQ(std::pair(TableLayout.hourCount, StationTable.size()), std::pair(6, size_t{3}));
    const int s = TableLayout.stationColumnWidth, t = TableLayout.headerHeight, u = TableLayout.hourWidth;
    const int q = StationTable[1].Top - StationTable[0].Top, row3 = StationTable[2].Top;
    const ProgrammeBox first = ProgrammeList[0].Box, second = ProgrammeList[1].Box, spanning = ProgrammeList[2].Box,
                       late = ProgrammeList[4].Box;
    const struct { const char* What; int X, Y; uint32_t Expected; } probes[] = {
        {"station column line", s, Height - 2, Black},
        {"line under the label band", s / 2, t, Black},
        {"line between the last two rows", (second.Right + late.Left) / 2, row3, Black},
        {"hour line in an empty row part", s + u, row3 + q / 2, Black},
        {"first half-hour mark", s + u / 2, 1, Black},
        {"empty row part", s + u / 4, row3 + q / 2, White},
        {"free hour between two boxes", (first.Right + second.Left) / 2, StationTable[0].Top + q / 2, White},
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

TEST_F(Timetable, NoListingOrAFullDayPaintsWithoutHourColumns)
{
    for (const int stations : {0, 1}) {
        if (stations == 1) // 5:00 one day to 5:00 the next: exactly 24 hours
            Add({{"ＮＨＫ総合", 5, 6}, {"ＮＨＫ総合", 4, 5, 11}});
        const auto at = PrintClient();
        EXPECT_EQ(std::pair(TableLayout.hourCount, TableLayout.stationCount), std::pair(0, stations));
        // Only the station column's line and the band's; a station's name and row show below the band.
        const int s = TableLayout.stationColumnWidth, t = TableLayout.headerHeight;
        int wrong = 0;
        for (int y = 0; y < (stations ? t : Height); ++y)
            for (int x = stations ? s + 1 : 0; x < Width; ++x)
                wrong += at(x, y) != ((x == s || y == t) ? Black : White);
        EXPECT_EQ(wrong, 0) << stations;
    }
}

TEST_F(Timetable, DoubleClickOrMenuFitsTwiceToTheComputedClientSizes)
{
    Add(Morning);
    const struct { int Width, Height; bool ByMenu; } cases[] = {
        {1000, 500, false}, {1100, 700, false}, {800, 600, false}, {900, 451, false}, {1000, 500, true}};
    for (const auto& c : cases) {
        SetClientSize(c.Width, c.Height);
        ASSERT_EQ(ClientSize(), std::pair(c.Width, c.Height));
        RECT before, after;
        GetWindowRect(TableWnd, &before);
        // Each pass works from the measures of the paint before it.
        const int n = TableLayout.hourCount, r = TableLayout.stationCount;
        const int w1 = FitClientWidth(c.Width, c.Width / 10, n), h1 = FitClientHeight(c.Height, c.Height / 20, r);
        if (c.ByMenu) {
            POINT pointer = {120, 80};
            ClientToScreen(TableWnd, &pointer);
            SetTimer(nullptr, 0, 20, ChooseFromMenu);
            SendMessageA(TableWnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(120, 80));
            EXPECT_EQ(std::pair(MenuRect.left, MenuRect.top), std::pair(pointer.x, pointer.y)) << "menu at the pointer";
        } else {
            SendMessageA(TableWnd, WM_LBUTTONDBLCLK, 0, 0);
            EXPECT_EQ(ClientSize(), std::pair(w1, h1)) << c.Width << "x" << c.Height;
        }
        PumpFor(300);
        EXPECT_EQ(ClientSize(), std::pair(FitClientWidth(w1, w1 / 10, n), FitClientHeight(h1, h1 / 20, r)))
            << c.Width << "x" << c.Height;
        EXPECT_FALSE(KillTimer(TableWnd, 1)) << "the fit timer keeps running";
        GetWindowRect(TableWnd, &after);
        EXPECT_EQ(std::pair(after.left, after.top), std::pair(before.left, before.top));
    }
}

TEST_F(Timetable, OneWindowThatFitsAfterEachOpeningButNotOnAHandResize)
{
    RemoveSettingsFile();
    StartMainWindow();
    Add(Morning);
    HWND window = TableWnd;
    SendMessageA(MainWnd, WM_COMMAND, IDC_TABLE, 0);
    EXPECT_EQ(TableWnd, window) << "a second window was made";
    SetClientSize(1000, 500); // not a size a fit keeps
    PumpFor(200);
    EXPECT_EQ(ClientSize(), std::pair(1000, 500));
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(TableLayout.fitPending && StationTable.empty()) << "closing forgets the layout";
    SendMessageA(MainWnd, WM_COMMAND, IDC_TABLE, 0);
    EXPECT_NE(TableWnd, window);
    EXPECT_FALSE(TableLayout.fitPending) << "an opened window fits";
    PumpFor(100);
    CloseMainWindow();
    EXPECT_FALSE(IsWindow(TableWnd));
}
