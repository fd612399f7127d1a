// Turns the user's four choices and the local date into the grid addresses.
#pragma once

#include <cstddef>

#include "listing/calendar.h"

struct RequestChoices {
    int Genre;  // shown genre position
    int Time;
    int Region;
    int Day;
};

constexpr size_t RequestAddressSize = 255;

// Writes all three slots (terrestrial, BS, CS) as "http://<host><path>".
// A position outside its table builds no address: every slot is left empty
// and the result is false.
bool BuildRequestAddresses(const RequestChoices& choices, const LocalClock& now, const char* host,
                           char slots[3][RequestAddressSize]);
