#include "fetch/request_builder.h"

#include <cstdio>

#include "fetch/choices.h"

namespace {

bool IsLeapYear(unsigned year)
{
    return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

unsigned MonthLength(unsigned year, unsigned month)
{
    switch (month) {
    case 4: case 6: case 9: case 11:
        return 30;
    case 2:
        return IsLeapYear(year) ? 29 : 28;
    default:
        return 31;
    }
}

bool InTable(int position, int count)
{
    return position >= 0 && position < count;
}

}  // namespace

void NormalizeDate(CalendarDate& date)
{
    if (date.Month < 1 || date.Month > 12)
        return;
    unsigned length = MonthLength(date.Year, date.Month);
    if (date.Day <= length)
        return;
    // At most seven days are added to a valid date, so one carry is enough.
    date.Day = static_cast<uint16_t>(date.Day - length);
    if (date.Month == 12) {
        date.Month = 1;
        date.Year = static_cast<uint16_t>(date.Year + 1);
    } else {
        date.Month = static_cast<uint16_t>(date.Month + 1);
    }
}

bool BuildRequestAddresses(const RequestChoices& choices, const LocalClock& now, const char* host,
                           char slots[3][RequestAddressSize])
{
    for (int i = 0; i < 3; ++i)
        slots[i][0] = '\0';
    // Half an address would send the worker to the wrong page; build none.
    if (!InTable(choices.Genre, GenreChoiceCount) || !InTable(choices.Time, TimeChoiceCount) ||
        !InTable(choices.Region, RegionChoiceCount) || !InTable(choices.Day, DayChoiceCount))
        return false;

    // The site's broadcast day runs until 05:00, so 01:00-04:59 still belongs
    // to the day before. On the 1st this gives day 0, which only ever appears
    // with at least one day added, i.e. as a real date of this month.
    CalendarDate date = now.Date;
    if (now.Hour >= 1 && now.Hour <= 4)
        date.Day = static_cast<uint16_t>(date.Day - 1);

    // "Today" sends no date at all.
    char dateSuffix[32] = "";
    if (choices.Day > 0) {
        date.Day = static_cast<uint16_t>(date.Day + choices.Day);
        NormalizeDate(date);
        std::snprintf(dateSuffix, sizeof dateSuffix, "&s_hiduke=%.4d%.2d%.2d", int{date.Year}, int{date.Month},
                      int{date.Day});
    }

    const char* timeCode = TimeChoices[choices.Time].Code;
    const char* regionCode = RegionChoices[choices.Region].Code;
    const char* genreCode = GenreChoices[choices.Genre].Code;
    if (host == nullptr)
        host = "";

    std::snprintf(slots[0], RequestAddressSize,
                  "http://%s/program/gridNormal.php?frame=off&tikicd=%s&way=h&genre=%s&hour_select=6&s_jikan=%s%s",
                  host, regionCode, genreCode, timeCode, dateSuffix);
    std::snprintf(slots[1], RequestAddressSize,
                  "http://%s/program/gridNormal.php?frame=off&tikicd=3001&way=h&genre=%s&hour_select=6&s_jikan=%s%s",
                  host, genreCode, timeCode, dateSuffix);
    std::snprintf(slots[2], RequestAddressSize,
                  "http://%s/program/gridNormal.php?frame=off&tikicd=3003&way=h&genre=%s&hour_select=6&s_jikan=%s%s",
                  host, genreCode, timeCode, dateSuffix);
    return true;
}
