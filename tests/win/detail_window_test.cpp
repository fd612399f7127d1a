#include "views/detail_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "res/resource.h"
#include "tests/win/test_support.h"
#include "views/search_address.h"
#include "views/timetable_layout.h"
#include "views/timetable_window.h"

namespace {

TELOMI& AddProgramme(const char* station, int startHour, int endHour)
{
    TELOMI* record = ProgrammeList.Append();
    std::strcpy(record->Station, station);
    record->Month = 4;
    record->Day = 10;
    record->StartHour = startHour;
    record->EndHour = endHour;
    std::snprintf(record->StartText, sizeof record->StartText, "%.2d:%.2d", startHour, 0);
    std::snprintf(record->EndText, sizeof record->EndText, "%.2d:%.2d", endHour, 0);
    std::strcpy(record->Title, "番組");
    ++ProgrammeCount;
    return *record;
}

// Indexes of the programmes below, by where their boxes lie in a 900 x 600
// client area (six hour columns from 5:00, three rows).
enum {
    UpperLeft,      // ＮＨＫ総合 5-6
    Second,         // ＮＨＫ総合 7-8, an hour after UpperLeft
    UpperRight,     // ＮＨＫ総合 9-10
    EarlyLong,      // 日本テレビ 5-7
    LateLong,       // 日本テレビ 6-8, overlapping EarlyLong from 6 to 7
    LowerLeft,      // ＴＢＳ 5-6
    LowerRight,     // ＴＢＳ 9-11
};

void AddListing()
{
    TELOMI& weather = AddProgramme("ＮＨＫ総合", 5, 6);
    std::strcpy(weather.Title, "日本の天気予報");
    std::strcpy(weather.Subtitle, "全国の天気");
    std::strcpy(weather.Performers, "気象予報士／山田太郎");
    std::strcpy(weather.Other, "字幕放送\r\nデータ放送");
    AddProgramme("ＮＨＫ総合", 7, 8);
    AddProgramme("ＮＨＫ総合", 9, 10);
    AddProgramme("日本テレビ", 5, 7);
    AddProgramme("日本テレビ", 6, 8);
    AddProgramme("ＴＢＳ", 5, 6);
    AddProgramme("ＴＢＳ", 9, 11);
}

std::vector<std::string> Opened;

void CaptureAddress(const char* address)
{
    Opened.push_back(address);
}

SIZE ClientSize(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

POINT Centre(const ProgrammeBox& box)
{
    return {(box.Left + box.Right) / 2, (box.Top + box.Bottom) / 2};
}

void ClickTimetable(int x, int y)
{
    SendMessageA(TableWnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

RECT ChildRect(HWND parent, int id)
{
    RECT rect;
    GetWindowRect(GetDlgItem(parent, id), &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::string ControlText(HWND parent, int id)
{
    char text[4096] = {};
    GetDlgItemTextA(parent, id, text, sizeof text);
    return text;
}

// Every byte as %XX, which is how UTF-8 Japanese text must appear.
std::string EncodeEveryByte(const char8_t* utf8)
{
    std::string encoded;
    for (const char8_t* p = utf8; *p; ++p) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned>(*p));
        encoded += hex;
    }
    return encoded;
}

// Other tests register these classes with other procedures, and a class
// cannot be registered twice: leave them as start-up finds them.
void ForgetWindowClasses()
{
    for (const char* name : {"table", "window"})
        UnregisterClassA(name, AppInstance);
}

class DetailWindow : public testing::Test {
protected:
    void SetUp() override
    {
        ForgetWindowClasses();
        ProgrammeList.Clear();
        ProgrammeCount = 0;
        Opened.clear();
        OpenInBrowser = CaptureAddress;
        AddListing();
        // A known client size, painted once so every Box is laid out.
        TableLayout.fitPending = false;
        RegisterWindowClass(AppInstance, TableWndProc, "table", false);
        CreateWindowExA(0, "table", "表で表示", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 80, 400, 300, nullptr,
                        nullptr, AppInstance, nullptr);
        ASSERT_NE(TableWnd, nullptr);
        RECT outer, client;
        GetWindowRect(TableWnd, &outer);
        GetClientRect(TableWnd, &client);
        SetWindowPos(TableWnd, nullptr, 0, 0, outer.right - outer.left - client.right + 900,
                     outer.bottom - outer.top - client.bottom + 600, SWP_NOMOVE | SWP_NOZORDER);
        UpdateWindow(TableWnd);
        ASSERT_EQ(ClientSize(TableWnd).cx, 900);
        ASSERT_EQ(ClientSize(TableWnd).cy, 600);
        ASSERT_EQ(TableLayout.hourCount, 6);
        ASSERT_EQ(TableLayout.stationCount, 3);
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

    static ProgrammeBox Box(int index) { return ProgrammeList[index].Box; }
};

} // namespace

TEST_F(DetailWindow, ClickSelectsTheLastBoxStrictlyAroundIt)
{
    const ProgrammeBox first = Box(UpperLeft);
    const POINT middle = Centre(first);
    const ProgrammeBox early = Box(EarlyLong);
    const ProgrammeBox late = Box(LateLong);
    ASSERT_LT(late.Left, early.Right) << "the two 日本テレビ boxes overlap";
    const int rowMiddle = (early.Top + early.Bottom) / 2;

    // A record still being filled behind ProgrammeCount, its box over everything.
    TELOMI* unfinished = ProgrammeList.Append();
    unfinished->Box = ProgrammeBox{0, 0, 900, 600};

    struct Case {
        const char* What;
        int X, Y;
        int32_t Expected;
    };
    const Case cases[] = {
        {"centre", middle.x, middle.y, UpperLeft},
        {"just inside the top-left corner", first.Left + 1, first.Top + 1, UpperLeft},
        {"just inside the bottom-right corner", first.Right - 1, first.Bottom - 1, UpperLeft},
        {"left edge", first.Left, middle.y, NoProgramme},
        {"right edge", first.Right, middle.y, NoProgramme},
        {"top edge", middle.x, first.Top, NoProgramme},
        {"bottom edge", middle.x, first.Bottom, NoProgramme},
        {"free hour between two boxes", (first.Right + Box(Second).Left) / 2, middle.y, NoProgramme},
        {"station name", TableLayout.stationColumnWidth / 2, middle.y, NoProgramme},
        {"label band", middle.x, TableLayout.headerHeight / 2, NoProgramme},
        {"earlier box alone", (early.Left + late.Left) / 2, rowMiddle, EarlyLong},
        {"overlap goes to the later record", (late.Left + early.Right) / 2, rowMiddle, LateLong},
        {"later box alone", (early.Right + late.Right) / 2, rowMiddle, LateLong},
    };
    for (const Case& c : cases) {
        ClickTimetable(middle.x, middle.y);
        HWND previous = DetailWnd;
        ASSERT_NE(previous, nullptr) << c.What;

        ClickTimetable(c.X, c.Y);
        EXPECT_FALSE(IsWindow(previous)) << c.What << ": the open detail window closes first";
        EXPECT_EQ(SelectedProgramme, c.Expected) << c.What;
        EXPECT_EQ(DetailWnd != nullptr, c.Expected != NoProgramme) << c.What;
        if (DetailWnd) {
            EXPECT_EQ(GetWindow(DetailWnd, GW_OWNER), TableWnd) << c.What;
        }
    }
}

TEST_F(DetailWindow, OpensBesideTheClickTowardsTheMiddleAtAThirdOfTheTimetable)
{
    struct Case {
        const char* What;
        int Programme;
        bool Maximised;
    };
    const Case cases[] = {
        {"upper left", UpperLeft, false},
        {"upper right", UpperRight, false},
        {"lower left", LowerLeft, false},
        {"lower right", LowerRight, false},
        {"lower right, maximised", LowerRight, true},
    };
    for (const Case& c : cases) {
        if (c.Maximised) {
            ShowWindow(TableWnd, SW_MAXIMIZE);
            UpdateWindow(TableWnd);
        }
        const SIZE client = ClientSize(TableWnd);
        const POINT click = Centre(Box(c.Programme));
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof placement;
        GetWindowPlacement(TableWnd, &placement);
        ASSERT_EQ(placement.showCmd == SW_SHOWMAXIMIZED, c.Maximised) << c.What;

        ClickTimetable(click.x, click.y);
        ASSERT_NE(DetailWnd, nullptr) << c.What;
        EXPECT_EQ(SelectedProgramme, c.Programme) << c.What;

        const int x = click.x > client.cx / 2 ? click.x - client.cx / 3 : click.x;
        const int y = click.y > client.cy / 2 ? click.y - client.cy / 3 : click.y;
        const POINT origin = c.Maximised ? placement.ptMaxPosition
                                         : POINT{placement.rcNormalPosition.right - client.cx,
                                                 placement.rcNormalPosition.bottom - client.cy};
        RECT rect;
        GetWindowRect(DetailWnd, &rect);
        EXPECT_EQ(rect.left, origin.x + x) << c.What;
        EXPECT_EQ(rect.top, origin.y + y) << c.What;
        EXPECT_EQ(rect.right - rect.left, client.cx / 3) << c.What;
        EXPECT_EQ(rect.bottom - rect.top, client.cy / 3) << c.What;
        if (!c.Maximised) {
            EXPECT_EQ(rect.right - rect.left, 300) << c.What;
            EXPECT_EQ(rect.bottom - rect.top, 200) << c.What;
        }
        const LONG style = GetWindowLongA(DetailWnd, GWL_STYLE);
        EXPECT_EQ(style & (WS_POPUP | WS_THICKFRAME | WS_VISIBLE), WS_POPUP | WS_THICKFRAME | WS_VISIBLE);
        EXPECT_NE(style & WS_CAPTION, WS_CAPTION) << c.What;
    }
}

TEST_F(DetailWindow, ShowsTheProgrammeAboveItsTwoButtons)
{
    ClickTimetable(Centre(Box(UpperLeft)).x, Centre(Box(UpperLeft)).y);
    ASSERT_NE(DetailWnd, nullptr);
    EXPECT_EQ(ControlText(DetailWnd, IDC_DETAIL_TEXT),
              "05:00～06:00\r\nＮＨＫ総合\r\n日本の天気予報\r\n全国の天気\r\n気象予報士／山田太郎\r\n字幕放送\r\nデータ放送");
    EXPECT_EQ(ControlText(DetailWnd, IDC_GOOGLE), "Googleで検索");
    EXPECT_EQ(ControlText(DetailWnd, IDC_WIKIPEDIA), "Wikipediaで検索");
    const LONG fieldStyle = GetWindowLongA(GetDlgItem(DetailWnd, IDC_DETAIL_TEXT), GWL_STYLE);
    EXPECT_TRUE(fieldStyle & ES_MULTILINE);
    EXPECT_FALSE(fieldStyle & ES_READONLY);

    // The field fills the window above the Google button, then Wikipedia.
    for (const SIZE outer : {SIZE{300, 200}, SIZE{420, 333}}) {
        SetWindowPos(DetailWnd, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER);
        const SIZE client = ClientSize(DetailWnd);
        const RECT field = ChildRect(DetailWnd, IDC_DETAIL_TEXT);
        const RECT google = ChildRect(DetailWnd, IDC_GOOGLE);
        const RECT wikipedia = ChildRect(DetailWnd, IDC_WIKIPEDIA);
        EXPECT_EQ(field.left, 0);
        EXPECT_EQ(field.top, 0);
        EXPECT_EQ(field.right, client.cx);
        EXPECT_EQ(field.bottom, client.cy - 40);
        EXPECT_EQ(google.left, 0);
        EXPECT_EQ(google.top, client.cy - 40);
        EXPECT_EQ(google.right, client.cx);
        EXPECT_EQ(google.bottom, client.cy - 20);
        EXPECT_EQ(wikipedia.top, client.cy - 20);
        EXPECT_EQ(wikipedia.right, client.cx);
        EXPECT_EQ(wikipedia.bottom, client.cy);
    }

    SendMessageA(DetailWnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(DetailWnd, nullptr);
}

TEST_F(DetailWindow, LongDetailsAreCutAt1023Bytes)
{
    TELOMI& record = ProgrammeList[Second];
    std::memset(record.Performers, 'p', sizeof record.Performers - 1);
    std::memset(record.Other, 'o', sizeof record.Other - 1);
    ClickTimetable(Centre(Box(Second)).x, Centre(Box(Second)).y);
    ASSERT_NE(DetailWnd, nullptr);
    const std::string full = std::string("07:00～08:00\r\nＮＨＫ総合\r\n番組\r\n\r\n") + record.Performers + "\r\n" +
                             record.Other;
    EXPECT_EQ(ControlText(DetailWnd, IDC_DETAIL_TEXT), full.substr(0, 1023));
}

// The field counts its selection in characters; the 99-byte limit counts code
// page 932 bytes, two for each Japanese character.
TEST_F(DetailWindow, ButtonsSearchTheSelectionAsUtf8)
{
    const int titleOffset = static_cast<int>(std::u16string(u"05:00～06:00\r\nＮＨＫ総合\r\n").size());
    std::string letters;
    for (int i = 0; i < 120; ++i)
        letters += static_cast<char>('a' + i % 26);
    std::string kana;
    std::u8string kana49;
    for (int i = 0; i < 49; ++i) {
        kana += "あ";
        kana49 += u8"あ";
    }
    const std::string kanaThenLetters = kana + "xyz";
    const std::string google = SearchEnginePrefix;
    const std::string wikipedia = EncyclopediaPrefix;

    struct Case {
        const char* What;
        const char* Text;   // typed over the programme's details, or null
        int Start, End;     // characters
        int Button;
        std::string Expected;   // "" when nothing may open
    };
    const Case cases[] = {
        {"five kanji of the title", nullptr, titleOffset, titleOffset + 5, IDC_GOOGLE,
         google + EncodeEveryByte(u8"日本の天気")},
        {"the same in the encyclopedia", nullptr, titleOffset, titleOffset + 5, IDC_WIKIPEDIA,
         wikipedia + EncodeEveryByte(u8"日本の天気")},
        {"typed ampersand", "A&B 検索", 0, 3, IDC_GOOGLE, google + "A%26B"},
        {"typed space", "Tokyo Tower", 0, 11, IDC_GOOGLE, google + "Tokyo%20Tower"},
        {"nothing selected", nullptr, titleOffset, titleOffset, IDC_GOOGLE, ""},
        {"nothing selected, encyclopedia", nullptr, titleOffset, titleOffset, IDC_WIKIPEDIA, ""},
        {"100 letters", letters.c_str(), 0, 100, IDC_GOOGLE, ""},
        {"100 letters, encyclopedia", letters.c_str(), 10, 110, IDC_WIKIPEDIA, ""},
        {"99 letters", letters.c_str(), 10, 109, IDC_GOOGLE, google + letters.substr(10, 99)},
        {"49 kana and a letter are 99 bytes", kanaThenLetters.c_str(), 0, 50, IDC_GOOGLE,
         google + EncodeEveryByte(kana49.c_str()) + "x"},
        {"49 kana and two letters are 100 bytes", kanaThenLetters.c_str(), 0, 51, IDC_GOOGLE, ""},
    };
    for (const Case& c : cases) {
        Opened.clear();
        ClickTimetable(Centre(Box(UpperLeft)).x, Centre(Box(UpperLeft)).y);
        ASSERT_NE(DetailWnd, nullptr) << c.What;
        HWND field = GetDlgItem(DetailWnd, IDC_DETAIL_TEXT);
        if (c.Text)
            SetWindowTextA(field, c.Text);
        SendMessageA(field, EM_SETSEL, c.Start, c.End);
        SendMessageA(GetDlgItem(DetailWnd, c.Button), BM_CLICK, 0, 0);
        if (c.Expected.empty()) {
            EXPECT_TRUE(Opened.empty()) << c.What << ": " << (Opened.empty() ? "" : Opened[0]);
        } else {
            ASSERT_EQ(Opened.size(), 1u) << c.What;
            EXPECT_EQ(Opened[0], c.Expected) << c.What;
        }
    }
}
