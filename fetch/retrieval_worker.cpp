#include "fetch/retrieval_worker.h"

#include <windows.h>
#include <commctrl.h>
#include <wininet.h>
#include <process.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "fetch/http_fetch.h"
#include "fetch/link_scan.h"
#include "fetch/split_address.h"

char CurrentAddress[260];
char CurrentHost[256];
char CurrentPath[256];
int32_t EmptyPageCount;

namespace {

constexpr int EmptyPagesTolerated = 3;
char PreviousCandidate[DetailPathSize];
bool ListFull;

// Sleeps in short slices so a stop request is seen within a tenth of a second.
void PauseUnlessAborted(int milliseconds)
{
    for (int slept = 0; slept < milliseconds && !AbortFlag; slept += 100)
        Sleep(100);
}

bool TakeLink(const char* candidatePath, void*)
{
    TELOMI* record = ProgrammeList.Append();
    if (!record) {
        ListFull = true;
        return false;
    }
    std::strcpy(record->DetailPath, candidatePath);
    record->FetchDetails();
    if (MainWnd)
        UpdateWindow(MainWnd);
    ProgrammeCount.fetch_add(1, std::memory_order_release);
    EmptyPageCount = 0;
    return !AbortFlag;
}

// Fetches one grid address until it yields a record, the empty-page limit is
// reached or the user stops.
void WalkAddress()
{
    int retryPause = 500;
    while (ProgrammeCount == PageStartCount && !AbortFlag && !ListFull) {
        DeleteUrlCacheEntryA(CurrentAddress);
        SplitAddress(CurrentAddress, CurrentHost, sizeof CurrentHost, CurrentPath, sizeof CurrentPath);
        char* page = nullptr;
        size_t length = 0;
        // A closed connection arrives as a page of no bytes: a failure, not an empty grid.
        if (!FetchPage(CurrentHost, CurrentPath, &page, &length) || length == 0) {
            ReleasePage(page);
            PauseUnlessAborted(retryPause);
            retryPause = std::min(retryPause * 2, 5000);
            continue;
        }
        retryPause = 500;
        GridScanResult scan = ScanGridLinks(page, length, PreviousCandidate, TakeLink, nullptr);
        ReleasePage(page);
        // A page whose links were all rejected or repeated adds nothing either.
        if (scan.Accepted == 0 && ++EmptyPageCount > EmptyPagesTolerated)
            break;
    }
    PageStartCount = ProgrammeCount;
}

void SizeColumnsAndTick()
{
    for (int column = 0; column <= 6; ++column)
        SendMessageA(MainListView, LVM_SETCOLUMNWIDTH, column, LVSCW_AUTOSIZE_USEHEADER);
    if (!CheckAllOnDone)
        return;
    LVITEMA ticked = {};
    ticked.stateMask = LVIS_STATEIMAGEMASK;
    ticked.state = INDEXTOSTATEIMAGEMASK(2);
    const int count = ProgrammeCount;
    for (int row = 0; row < count; ++row)
        SendMessageA(MainListView, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&ticked));
}

} // namespace

void __cdecl RetrievalWorker(void* argument)
{
    const auto* requests = static_cast<const RequestSlots*>(argument);
    ListFull = false;
    struct Pass {
        int Slot;
        const char* Suffix;
    };
    const Pass passes[] = {{0, ""}, {1, ""}, {2, "&page=1"}, {2, "&page=2"}, {2, "&page=3"}};
    for (const Pass& pass : passes) {
        if (pass.Slot == 1 && !ReceiveBS)
            continue;
        if (pass.Slot == 2 && !ReceiveCS)
            break;
        std::snprintf(CurrentAddress, sizeof CurrentAddress, "%s%s", requests->Slot[pass.Slot], pass.Suffix);
        if (AbortFlag || ListFull)
            break;
        WalkAddress();
    }

    AbortFlag = false;
    SizeColumnsAndTick();
    SendMessageA(ProgressWnd, WM_CLOSE, 0, 0);
    RetrievalRunning = false;
    _endthread();
}
