// XMLTV times and the six hours of listings the user chose.
#pragma once

#include <cstdint>
#include <string_view>

#include "listing/calendar.h"

// Seconds since 1970-01-01 00:00 UTC of "YYYYMMDDhhmm", "YYYYMMDDhhmmss",
// either followed by an offset "+hhmm"/"-hhmm" (a space before it allowed);
// without an offset the time is UTC. False when the text is anything else.
bool ParseXmltvTime(std::string_view text, int64_t& seconds);

// A moment on Japan's wall clock (UTC+9, no summer time).
struct JapanTime {
    CalendarDate Date;
    int Hour;
    int Minute;
};
JapanTime ToJapanTime(int64_t seconds);

// Seconds since 1970 UTC; End is not part of the window.
struct ListingWindow {
    int64_t Start;
    int64_t End;
};

// The six hours from the time choice's start on the broadcast day: the day
// of `now` (Japan time), which until 04:59 is still the day before, plus
// `dayAhead` days. False for a choice outside its table.
bool BroadcastWindow(const LocalClock& now, int dayAhead, int timeChoice, ListingWindow& window);

// Whether [start, end) meets the window; a programme of no length meets it
// when it starts inside.
bool Overlaps(const ListingWindow& window, int64_t start, int64_t end);
