#include "xmltv/xmltv_time.h"

#include "fetch/choices.h"

namespace {

constexpr int64_t JapanOffset = 9 * 3600;

bool Digits(std::string_view text, size_t at, size_t count, int& value)
{
    if (at + count > text.size())
        return false;
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

bool ParseXmltvTime(std::string_view text, int64_t& seconds)
{
    int year, month, day, hour, minute, second = 0;
    if (!Digits(text, 0, 4, year) || !Digits(text, 4, 2, month) || !Digits(text, 6, 2, day) ||
        !Digits(text, 8, 2, hour) || !Digits(text, 10, 2, minute))
        return false;
    size_t at = 12;
    if (Digits(text, at, 2, second))
        at += 2;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59)
        return false;

    int64_t offset = 0;
    if (at < text.size() && text[at] == ' ')
        ++at;
    if (at < text.size()) {
        int offsetHour, offsetMinute;
        const char sign = text[at];
        if ((sign != '+' && sign != '-') || !Digits(text, at + 1, 2, offsetHour) ||
            !Digits(text, at + 3, 2, offsetMinute) || at + 5 != text.size() || offsetHour > 23 || offsetMinute > 59)
            return false;
        offset = (offsetHour * 3600 + offsetMinute * 60) * (sign == '-' ? -1 : 1);
    }
    seconds = DayNumber({year, month, day}) * 86400 + hour * 3600 + minute * 60 + second - offset;
    return true;
}

JapanTime ToJapanTime(int64_t seconds)
{
    const int64_t local = seconds + JapanOffset;
    int64_t days = local / 86400;
    int64_t rest = local % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    return {DateOfDayNumber(days), static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60)};
}

bool BroadcastWindow(const LocalClock& now, int dayAhead, int timeChoice, ListingWindow& window)
{
    if (timeChoice < 0 || timeChoice >= TimeChoiceCount || dayAhead < 0 || dayAhead >= DayChoiceCount)
        return false;
    // The broadcast day runs until 05:00, so 01:00-04:59 still belongs to the day before.
    const int back = now.Hour >= 1 && now.Hour <= 4 ? 1 : 0;
    const int64_t day = DayNumber(now.Date) - back + dayAhead;
    // The code is the start as hhmmss, hours running past 23 into the next morning.
    const char* code = TimeChoices[timeChoice].Code;
    const int hour = (code[0] - '0') * 10 + (code[1] - '0');
    window.Start = day * 86400 + hour * 3600 - JapanOffset;
    window.End = window.Start + 6 * 3600;
    return true;
}

bool Overlaps(const ListingWindow& window, int64_t start, int64_t end)
{
    if (start == end)
        return start >= window.Start && start < window.End;
    return start < window.End && end > window.Start;
}
