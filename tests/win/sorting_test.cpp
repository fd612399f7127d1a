#include "app/app_state.h"
#include "res/resource.h"
#include "tests/win/test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

void AddProgramme(const char* title, const char* station, int month, int day, int hour)
{
    TELOMI* record = ProgrammeList.Append();
    std::strcpy(record->Title, title);
    std::strcpy(record->Station, station);
    record->Month = month;
    record->Day = day;
    record->StartHour = hour;
    record->AddRow();
    ++ProgrammeCount;
}

void ClickColumn(int column)
{
    NMLISTVIEW click = {};
    click.hdr.hwndFrom = MainListView;
    click.hdr.idFrom = IDC_LIST;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    SendMessageA(MainWnd, WM_NOTIFY, IDC_LIST, reinterpret_cast<LPARAM>(&click));
}

std::vector<std::string> Column(int column)
{
    std::vector<std::string> texts;
    for (int row = 0; row < ListRowCount(MainListView); ++row)
        texts.push_back(ListText(MainListView, row, column));
    return texts;
}

} // namespace

TEST(Sorting, EachColumnRemembersItsDirectionAndRowsKeepTheirProgramme)
{
    RemoveSettingsFile();
    StartMainWindow();
    // Titles equal in their first 29 bytes compare equal, so those two keep their order.
    const std::string same29(29, 'm');
    AddProgramme("ニュース", "ＴＢＳ", 9, 30, 21);
    AddProgramme((same29 + "B").c_str(), "ＮＨＫ総合", 10, 1, 5);
    AddProgramme("アニメ", "フジテレビ", 9, 5, 9);
    AddProgramme((same29 + "A").c_str(), "日本テレビ", 12, 24, 23);

    struct Click {
        const char* Name;
        int Column;
        std::vector<std::string> Expected; // empty: not looked at
    };
    const Click clicks[] = {
        {"first click on the date sorts ascending as text", 3, {"10月/1日", "12月/24日", "9月/30日", "9月/5日"}},
        {"a click on another column in between", 2, {}},
        {"second click on the date reverses it", 3, {"9月/5日", "9月/30日", "12月/24日", "10月/1日"}},
        {"times sort in time order", 4, {"05:00", "09:00", "21:00", "23:00"}},
        {"second click on the station sorts descending", 2, {"日本テレビ", "フジテレビ", "ＴＢＳ", "ＮＨＫ総合"}},
    };
    for (const Click& click : clicks) {
        ClickColumn(click.Column);
        if (!click.Expected.empty())
            EXPECT_EQ(Column(click.Column), click.Expected) << click.Name;
    }

    // Item data stays with its row: each row still shows its own record.
    for (int row = 0; row < 4; ++row) {
        const TELOMI& record = ProgrammeList[ListItemData(MainListView, row)];
        EXPECT_EQ(ListText(MainListView, row, 0), record.Title);
        EXPECT_EQ(ListText(MainListView, row, 2), record.Station);
    }

    ClickColumn(0);
    std::vector<std::string> titles = Column(0);
    ASSERT_EQ(titles.size(), 4u);
    // Equal first 29 bytes compare equal: the sort keeps the two long titles together.
    EXPECT_EQ(titles[0].substr(0, 29), same29);
    EXPECT_EQ(titles[1].substr(0, 29), same29);
    EXPECT_EQ(titles[2], "アニメ");
    EXPECT_EQ(titles[3], "ニュース");
    CloseMainWindow();
}
