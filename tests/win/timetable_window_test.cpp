#include "views/timetable_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "res/resource.h"
#include "tests/win/test_support.h"
#include "views/timetable_layout.h"

namespace {

const COLORREF Black = RGB(0, 0, 0);
const COLORREF White = RGB(255, 255, 255);
const COLORREF Hatch = RGB(252, 166, 84);

void AddProgramme(const char* station, int day, int startHour, int startMinute, int endHour, int endMinute)
{
    TELOMI* record = ProgrammeList.Append();
    ASSERT_NE(record, nullptr);
    std::strcpy(record->Station, station);
    record->Month = 4;
    record->Day = day;
    record->StartHour = startHour;
    record->StartMinute = startMinute;
    record->EndHour = endHour;
    record->EndMinute = endMinute;
    std::strcpy(record->Title, "番組");
    ++ProgrammeCount;
}

// Three stations from 5:00 to 11:00: six hour columns, three rows. Station
// ＮＨＫ総合 has a free hour between its two programmes.
void AddMorning()
{
    AddProgramme("ＮＨＫ総合", 10, 5, 0, 6, 0);
    AddProgramme("ＮＨＫ総合", 10, 7, 0, 8, 0);
    AddProgramme("日本テレビ", 10, 5, 0, 7, 0);
    AddProgramme("日本テレビ", 10, 7, 0, 8, 0);
    AddProgramme("ＴＢＳ", 10, 9, 0, 11, 0);
}

void SetClientSize(HWND window, int width, int height)
{
    RECT outer, client;
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left - client.right + width,
                 outer.bottom - outer.top - client.bottom + height, SWP_NOMOVE | SWP_NOZORDER);
}

SIZE ClientSize(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

// The timetable at a known client size, painted once and not fitted.
HWND OpenTimetable(int width, int height)
{
    TableLayout.fitPending = false;
    RegisterWindowClass(AppInstance, TableWndProc, "table", false);
    HWND window = CreateWindowExA(0, "table", "表で表示", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 400, 300,
                                  nullptr, nullptr, AppInstance, nullptr);
    if (!window)
        return nullptr;
    SetClientSize(window, width, height);
    UpdateWindow(window);
    return window;
}

// The client area as the window paints it, read back from a 32-bit bitmap.
struct Picture {
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Pixels;

    COLORREF At(int x, int y) const
    {
        const uint32_t p = Pixels[static_cast<size_t>(y) * Width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
};

Picture PrintClient(HWND window)
{
    Picture picture;
    const SIZE size = ClientSize(window);
    picture.Width = size.cx;
    picture.Height = size.cy;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    PatBlt(memory, 0, 0, size.cx, size.cy, WHITENESS);
    SendMessageA(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    GdiFlush();
    const auto* first = static_cast<const uint32_t*>(bits);
    picture.Pixels.assign(first, first + static_cast<size_t>(size.cx) * size.cy);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

std::vector<HWND> TimetableWindows()
{
    std::vector<HWND> found;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM lParam) -> BOOL {
            char name[16] = {};
            GetClassNameA(window, name, sizeof name);
            if (std::strcmp(name, "table") == 0)
                reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Other tests register these classes with other procedures, and a class
// cannot be registered twice: leave them as start-up finds them.
void ForgetWindowClasses()
{
    for (const char* name : {"table", "window", "Main"})
        UnregisterClassA(name, AppInstance);
}

class Timetable : public testing::Test {
protected:
    void SetUp() override
    {
        ForgetWindowClasses();
        ProgrammeList.Clear();
        ProgrammeCount = 0;
    }

    void TearDown() override
    {
        if (IsWindow(TableWnd))
            DestroyWindow(TableWnd);
        TableWnd = nullptr;
        PumpFor(20);
        ProgrammeList.Clear();
        ProgrammeCount = 0;
        StationTable.clear();
        TableLayout.fitPending = true;
        ForgetWindowClasses();
    }
};

} // namespace

TEST_F(Timetable, GridLinesAreBlackAndBoxesHatchedOverThem)
{
    AddMorning();
    HWND window = OpenTimetable(900, 600);
    ASSERT_NE(window, nullptr);
    const SIZE size = ClientSize(window);
    ASSERT_EQ(size.cx, 900);
    ASSERT_EQ(size.cy, 600);
    const Picture picture = PrintClient(window);

    const int s = TableLayout.stationColumnWidth;
    const int t = TableLayout.headerHeight;
    const int u = TableLayout.hourWidth;
    ASSERT_EQ(TableLayout.hourCount, 6);
    ASSERT_EQ(StationTable.size(), 3u);
    const int q = StationTable[1].Top - StationTable[0].Top;
    const ProgrammeBox first = ProgrammeList[0].Box;   // ＮＨＫ総合 5:00-6:00
    const ProgrammeBox second = ProgrammeList[1].Box;  // ＮＨＫ総合 7:00-8:00
    const ProgrammeBox late = ProgrammeList[4].Box;    // ＴＢＳ 9:00-11:00
    ASSERT_LT(first.Right, second.Left);

    struct Probe {
        const char* What;
        int X, Y;
        COLORREF Expected;
    };
    const Probe probes[] = {
        {"station column line", s, size.cy - 2, Black},
        {"line under the label band", s / 2, t, Black},
        {"line between the last two rows", (second.Right + late.Left) / 2, StationTable[2].Top, Black},
        {"hour line in an empty row part", s + u, StationTable[2].Top + q / 2, Black},
        {"first half-hour mark", s + u / 2, 1, Black},
        {"empty row part", s + u / 4, StationTable[2].Top + q / 2, White},
        {"free hour between two boxes", (first.Right + second.Left) / 2, StationTable[0].Top + q / 2, White},
    };
    for (const Probe& probe : probes)
        EXPECT_EQ(picture.At(probe.X, probe.Y), probe.Expected) << probe.What;

    // Below the text of the first box only the hatching and the white
    // background between its strokes may show.
    int hatch = 0, white = 0, other = 0;
    for (int y = first.Bottom - q / 3; y < first.Bottom - 2; ++y)
        for (int x = first.Left + 2; x < first.Right - 2; ++x) {
            const COLORREF c = picture.At(x, y);
            (c == Hatch ? hatch : c == White ? white : other)++;
        }
    EXPECT_GT(hatch, 0);
    EXPECT_GT(white, 0);
    EXPECT_EQ(other, 0);

    // The 5:00-7:00 box of 日本テレビ spans the 6:00 line, which shows through
    // between the hatch strokes.
    const ProgrammeBox spanning = ProgrammeList[2].Box;
    ASSERT_LT(spanning.Left, s + u);
    ASSERT_GT(spanning.Right, s + u);
    int lineBlack = 0;
    for (int y = spanning.Bottom - q / 3; y < spanning.Bottom - 2; ++y)
        lineBlack += picture.At(s + u, y) == Black;
    EXPECT_GT(lineBlack, q / 6);
}

TEST_F(Timetable, NoListingOrAFullDayPaintsWithoutHourColumns)
{
    HWND window = OpenTimetable(900, 600);
    ASSERT_NE(window, nullptr);

    // An empty list: only the line under the label band and the one right of
    // the station column.
    Picture picture = PrintClient(window);
    const int s = TableLayout.stationColumnWidth;
    const int t = TableLayout.headerHeight;
    EXPECT_EQ(TableLayout.hourCount, 0);
    EXPECT_EQ(TableLayout.stationCount, 0);
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    int wrong = 0;
    for (int y = 0; y < picture.Height; ++y)
        for (int x = 0; x < picture.Width; ++x)
            wrong += picture.At(x, y) != ((x == s || y == t) ? Black : White);
    EXPECT_EQ(wrong, 0);

    // 5:00 one day to 5:00 the next: exactly 24 hours, so no columns, marks or
    // labels, and no division by the zero hour count.
    AddProgramme("ＮＨＫ総合", 10, 5, 0, 6, 0);
    AddProgramme("ＮＨＫ総合", 11, 4, 0, 5, 0);
    picture = PrintClient(window);
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    EXPECT_EQ(TableLayout.hourCount, 0);
    EXPECT_EQ(TableLayout.stationCount, 1);
    int marked = 0;
    for (int y = 0; y < t; ++y)
        for (int x = s + 1; x < picture.Width; ++x)
            marked += picture.At(x, y) != White;
    EXPECT_EQ(marked, 0);
}

TEST_F(Timetable, FitRunsTwiceToTheComputedClientSizes)
{
    AddMorning();
    HWND window = OpenTimetable(700, 500);
    ASSERT_NE(window, nullptr);
    const SIZE sizes[] = {{1000, 500}, {1100, 700}, {800, 600}, {900, 451}};
    for (const SIZE& size : sizes) {
        SetClientSize(window, size.cx, size.cy);
        UpdateWindow(window);
        ASSERT_EQ(ClientSize(window).cx, size.cx);
        ASSERT_EQ(ClientSize(window).cy, size.cy);
        RECT before;
        GetWindowRect(window, &before);

        // The first pass works from the measures of the paint at this size.
        const int n = TableLayout.hourCount;
        const int r = TableLayout.stationCount;
        const int w1 = FitClientWidth(size.cx, size.cx / 10, n);
        const int h1 = FitClientHeight(size.cy, size.cy / 20, r);
        SendMessageA(window, WM_LBUTTONDBLCLK, 0, 0);
        EXPECT_EQ(ClientSize(window).cx, w1) << size.cx;
        EXPECT_EQ(ClientSize(window).cy, h1) << size.cy;

        // The second, 10 ms later, from the repaint at the first pass's size.
        const int w2 = FitClientWidth(w1, w1 / 10, n);
        const int h2 = FitClientHeight(h1, h1 / 20, r);
        PumpFor(300);
        EXPECT_EQ(ClientSize(window).cx, w2) << size.cx;
        EXPECT_EQ(ClientSize(window).cy, h2) << size.cy;
        EXPECT_FALSE(KillTimer(window, 1)) << "the fit timer keeps running";
        RECT after;
        GetWindowRect(window, &after);
        EXPECT_EQ(after.left, before.left);
        EXPECT_EQ(after.top, before.top);
    }
}

TEST_F(Timetable, RightButtonMenuOpensAtThePointerAndItsItemFits)
{
    AddMorning();
    HWND window = OpenTimetable(1000, 500);
    ASSERT_NE(window, nullptr);
    const int w1 = FitClientWidth(1000, TableLayout.stationColumnWidth, TableLayout.hourCount);
    const int h1 = FitClientHeight(500, TableLayout.headerHeight, TableLayout.stationCount);
    ASSERT_NE(w1, 1000);

    // The menu runs its own loop inside the click; a helper thread finds it,
    // notes where it opened and picks its only item with the keyboard.
    std::atomic<bool> seen{false};
    RECT menuRect = {};
    std::thread chooser([&] {
        for (int i = 0; i < 300; ++i) {
            HWND menu = FindWindowA("#32768", nullptr);
            if (menu && IsWindowVisible(menu)) {
                GetWindowRect(menu, &menuRect);
                seen = true;
                PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
                PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
                return;
            }
            Sleep(10);
        }
    });
    SendMessageA(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(120, 80));
    chooser.join();
    ASSERT_TRUE(seen);
    POINT pointer = {120, 80};
    ClientToScreen(window, &pointer);
    EXPECT_EQ(menuRect.left, pointer.x);
    EXPECT_EQ(menuRect.top, pointer.y);

    // The chosen item fits twice, as a double-click does.
    const int w2 = FitClientWidth(w1, w1 / 10, TableLayout.hourCount);
    const int h2 = FitClientHeight(h1, h1 / 20, TableLayout.stationCount);
    PumpFor(300);
    EXPECT_EQ(ClientSize(window).cx, w2);
    EXPECT_EQ(ClientSize(window).cy, h2);
}

TEST_F(Timetable, OneWindowThatFitsAfterEachOpeningButNotOnAHandResize)
{
    RemoveSettingsFile();
    StartMainWindow();
    AddMorning();
    TableLayout.fitPending = true;

    SendMessageA(MainWnd, WM_COMMAND, IDC_TABLE, 0);
    ASSERT_EQ(TimetableWindows().size(), 1u);
    HWND window = TableWnd;
    char title[32] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "表で表示");
    EXPECT_FALSE(TableLayout.fitPending) << "the first paint fits";
    PumpFor(100);

    SendMessageA(MainWnd, WM_COMMAND, IDC_TABLE, 0);
    EXPECT_EQ(TimetableWindows().size(), 1u);
    EXPECT_EQ(TableWnd, window);

    // 1000 x 500 is not a size the fit keeps.
    SetClientSize(window, 1000, 500);
    UpdateWindow(window);
    PumpFor(200);
    EXPECT_EQ(ClientSize(window).cx, 1000);
    EXPECT_EQ(ClientSize(window).cy, 500);

    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(TableLayout.fitPending);
    EXPECT_TRUE(StationTable.empty());
    EXPECT_TRUE(TimetableWindows().empty());

    SendMessageA(MainWnd, WM_COMMAND, IDC_TABLE, 0);
    ASSERT_EQ(TimetableWindows().size(), 1u);
    EXPECT_FALSE(TableLayout.fitPending) << "a reopened window fits again";
    PumpFor(100);
    CloseMainWindow();
    EXPECT_TRUE(TimetableWindows().empty());
}
