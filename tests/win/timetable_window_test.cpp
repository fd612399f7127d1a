// The timetable window: its drawing, fitting, clicks and the detail window.
#include "tests/win/test_support.h"
#include "views/detail_window.h"
#include "views/search_address.h"
#include "views/timetable_layout.h"
#include "views/timetable_window.h"

#include <array>

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
void Click(POINT at) { SendMessageW(TableWnd, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y)); }
HWND Child(int id) { return GetDlgItem(DetailWnd, id); }

// Left, top, right and bottom on the screen.
std::array<int, 4> Rect(HWND window)
{
    RECT r;
    return GetWindowRect(window, &r) ? std::array<int, 4>{r.left, r.top, r.right, r.bottom} : std::array<int, 4>{};
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
    SendMessageW(TableWnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    GdiFlush();
    std::vector<uint32_t> pixels(bits, bits + Width * Height);
    DeleteObject(SelectObject(memory, old));
    DeleteDC(memory);
    return [pixels](int x, int y) { return pixels[y * Width + x] & 0xFFFFFF; };
}

RECT MenuRect;

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
        CreateWindowExW(0, L"table", L"表で表示", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 400, 300, nullptr, nullptr,
                        AppInstance, nullptr);
        ASSERT_EQ(ClientSize(Width, Height), std::pair(Width, Height));
        ASSERT_EQ(std::pair(TableLayout.hourCount, StationTable.size()), std::pair(6, size_t{3}));
    }
    void TearDown() override
    {
        DestroyWindow(TableWnd);
        TableWnd = nullptr;
        StationTable.clear();
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
        {"station column line", s, Height - 2, Black}, {"line under the label band", s / 2, t, Black},
        {"line between the last two rows", (Box(Second).Right + Box(LowerRight).Left) / 2, row3, Black},
        {"hour line in an empty row part", s + 2 * u, row3 + q / 2, Black},
        {"first half-hour mark", s + u / 2, 1, Black}, {"empty row part", s + 2 * u + u / 4, row3 + q / 2, White},
        {"free hour between two boxes", (first.Right + Box(Second).Left) / 2, StationTable[0].Top + q / 2, White}};
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
            // Run by the menu's own loop: notes where the menu opened and picks its only item.
            SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR timer, DWORD) {
                HWND menu = FindWindowA("#32768", nullptr);
                if (menu && IsWindowVisible(menu) && KillTimer(nullptr, timer) && GetWindowRect(menu, &MenuRect)) {
                    PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
                    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
                }
            });
            SendMessageW(TableWnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(120, 80));
            EXPECT_EQ(std::pair(MenuRect.left, MenuRect.top), std::pair(pointer.x, pointer.y)) << "menu at the pointer";
        } else {
            SendMessageW(TableWnd, WM_LBUTTONDBLCLK, 0, 0);
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
    StartMainWindow();
    HWND window = TableWnd;
    SendMessageW(MainWnd, WM_COMMAND, IDC_TABLE, 0);
    EXPECT_EQ(TableWnd, window) << "a second window was made";
    ClientSize(1000, 500); // not a size a fit keeps
    PumpFor(200);
    EXPECT_EQ(ClientSize(), std::pair(1000, 500));
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(TableLayout.fitPending && StationTable.empty()) << "closing forgets the layout";
    SendMessageW(MainWnd, WM_COMMAND, IDC_TABLE, 0);
    EXPECT_TRUE(TableWnd != window && !TableLayout.fitPending) << "a new window, fitted";
    PumpFor(100);
    CloseMainWindow();
    EXPECT_FALSE(IsWindow(TableWnd));
}

// The last box strictly around the click wins and opens its detail window, owned by the timetable. A record
// whose page never arrived keeps a box from an earlier paint and takes no click. The detail window, a third of
// the 900x600 timetable, opens beside the click towards the middle: its top left at a click in the upper left,
// its bottom right at one in the lower right. The window's placement stands in for the client area's screen
// origin: the normal position's bottom right less the client size, or the maximised position.
TEST_F(Timetable, ClickOpensTheDetailsOfTheLastBoxAroundItBesideIt)
{
    ProgrammeList.Append()->Box = ProgrammeBox{0, 0, Width, Height};
    ++ProgrammeCount;
    InvalidateRect(TableWnd, nullptr, FALSE);
    UpdateWindow(TableWnd);
    ProgrammeList.Append()->Box = ProgrammeBox{0, 0, Width, Height}; // still being filled, behind ProgrammeCount
    const ProgrammeBox first = Box(UpperLeft), early = Box(EarlyLong), late = Box(LateLong);
    const POINT middle = Centre(UpperLeft), a = Centre(UpperLeft), b = Centre(LowerRight);
    const int row = (early.Top + early.Bottom) / 2;
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
    }
    WINDOWPLACEMENT placement = {sizeof placement, 0, 0, {}, {}, {}};
    GetWindowPlacement(TableWnd, &placement);
    const int x = placement.rcNormalPosition.right - Width, y = placement.rcNormalPosition.bottom - Height;
    const int ax = x + a.x, ay = y + a.y, bx = x + b.x, by = y + b.y; // the clicks on the screen
    Click(a);
    EXPECT_EQ(Rect(DetailWnd), (std::array{ax, ay, ax + 300, ay + 200}));
    Click(b);
    EXPECT_EQ(Rect(DetailWnd), (std::array{bx - 300, by - 200, bx, by}));
    ShowWindow(TableWnd, SW_MAXIMIZE);
    UpdateWindow(TableWnd);
    GetWindowPlacement(TableWnd, &placement);
    Click(Centre(UpperLeft));
    ASSERT_EQ(SelectedProgramme, UpperLeft);
    const int mx = placement.ptMaxPosition.x + Centre(UpperLeft).x, my = placement.ptMaxPosition.y + Centre(UpperLeft).y;
    EXPECT_EQ(std::pair(Rect(DetailWnd)[0], Rect(DetailWnd)[1]), std::pair(mx, my));
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
    const std::string details = "05:00～06:00\r\nＮＨＫ総合\r\n日本の天気\r\n全国\r\n気象予報士\r\n" + std::string(999, 'o');
    EXPECT_EQ(WindowText(Child(IDC_DETAIL_TEXT)), details.substr(0, 1023));
    EXPECT_EQ(WindowText(Child(IDC_GOOGLE)) + "|" + WindowText(Child(IDC_WIKIPEDIA)), "Googleで検索|Wikipediaで検索");

    const int title = static_cast<int>(std::u16string(u"05:00～06:00\r\nＮＨＫ総合\r\n").size());
    const std::string letters(120, 'a');
    std::string kana; // 50 characters, 100 bytes
    while (kana.size() < 100)
        kana += "あ";
    const struct { const char* Text; int Start, End, Button; std::vector<std::string> Opened; } cases[] = {
        {nullptr, title, title + 5, IDC_GOOGLE,
         {SearchEnginePrefix + std::string("%E6%97%A5%E6%9C%AC%E3%81%AE%E5%A4%A9%E6%B0%97")}}, // 日本の天気
        {nullptr, title, title, IDC_GOOGLE, {}}, {letters.c_str(), 0, 100, IDC_GOOGLE, {}},
        {letters.c_str(), 10, 109, IDC_WIKIPEDIA, {EncyclopediaPrefix + letters.substr(0, 99)}},
        {kana.c_str(), 0, 50, IDC_WIKIPEDIA, {}}};
    OpenInBrowser = [](const char* address) { Opened.push_back(address); };
    for (const auto& c : cases) {
        Opened.clear();
        if (c.Text)
            SetWindowTextW(Child(IDC_DETAIL_TEXT), ToWide(c.Text).c_str());
        SendMessageW(Child(IDC_DETAIL_TEXT), EM_SETSEL, c.Start, c.End);
        SendMessageW(Child(c.Button), BM_CLICK, 0, 0);
        EXPECT_EQ(Opened, c.Opened) << c.Start << "-" << c.End;
    }
    SendMessageW(DetailWnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(DetailWnd, nullptr);
}
