// Turns the user's four choices and the local date into the grid addresses.
#pragma once

#include <cstddef>
#include <cstdint>

// Year, month and day as in the platform's local-time record.
struct CalendarDate {
    uint16_t Year;
    uint16_t Month;
    uint16_t Day;
};

struct LocalClock {
    CalendarDate Date;
    uint16_t Hour;
    uint16_t Minute;
};

struct RequestChoices {
    int Genre;  // shown genre position
    int Time;
    int Region;
    int Day;
};

constexpr size_t RequestAddressSize = 255;

// Corrects a day that exceeds its month by up to seven (one carry at most).
void NormalizeDate(CalendarDate& date);

// Writes all three slots (terrestrial, BS, CS) as "http://<host><path>".
// A position outside its table builds no address: every slot is left empty
// and the result is false.
bool BuildRequestAddresses(const RequestChoices& choices, const LocalClock& now, const char* host,
                           char slots[3][RequestAddressSize]);
