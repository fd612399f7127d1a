#pragma once

#include <windows.h>

#include "app/app_state.h"

// Fills the three grid addresses from the four lists' selections and the local date.
void BuildRequests(HWND genreList, HWND timeList, HWND regionList, HWND dayList, RequestSlots& requests);
