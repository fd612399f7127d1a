#include "fetch/request_list.h"

#include "app/choice_lists.h"
#include "fetch/request_builder.h"

void BuildRequests(HWND genreList, HWND timeList, HWND regionList, HWND dayList, RequestSlots& requests)
{
    RequestChoices choices;
    choices.Genre = SelectedChoice(genreList);
    choices.Time = SelectedChoice(timeList);
    choices.Region = SelectedChoice(regionList);
    choices.Day = SelectedChoice(dayList);
    SYSTEMTIME local;
    GetLocalTime(&local);
    LocalClock now = {{local.wYear, local.wMonth, local.wDay}, local.wHour, local.wMinute};
    BuildRequestAddresses(choices, now, SiteHost, requests.Slot);
}
