#include "fetch/request_builder.h"

#include <cstdio>

#include "fetch/choices.h"

namespace {

bool InTable(int position, int count)
{
    return position >= 0 && position < count;
}

}  // namespace

bool BuildRequestAddresses(const RequestChoices& choices, const LocalClock& now, const char* host,
                           char slots[3][RequestAddressSize])
{
    for (int i = 0; i < 3; ++i)
        slots[i][0] = '\0';
    // Half an address would send the worker to the wrong page; build none.
    if (!InTable(choices.Genre, GenreChoiceCount) || !InTable(choices.Time, TimeChoiceCount) ||
        !InTable(choices.Region, RegionChoiceCount) || !InTable(choices.Day, DayChoiceCount))
        return false;

    // "Today" sends no date at all.
    char dateSuffix[32] = "";
    if (choices.Day > 0) {
        const CalendarDate date = BroadcastDate(now, choices.Day);
        std::snprintf(dateSuffix, sizeof dateSuffix, "&s_hiduke=%.4d%.2d%.2d", date.Year, date.Month, date.Day);
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
