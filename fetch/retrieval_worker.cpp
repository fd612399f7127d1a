#include "fetch/retrieval_worker.h"

#include <windows.h>
#include <commctrl.h>
#include <wininet.h>
#include <process.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "fetch/detail_pipeline.h"
#include "fetch/http_fetch.h"
#include "fetch/link_scan.h"
#include "fetch/progress_window.h"
#include "fetch/split_address.h"
#include "listing/detail_fetch.h"

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

DetailPipeline* Pipeline;

// The record is complete: count it. The progress window puts its row in the
// list at its next tick, so the worker never waits for the interface thread.
bool CompleteRecord()
{
    ProgrammeCount.fetch_add(1, std::memory_order_release);
    EmptyPageCount = 0;
    return !AbortFlag;
}

TELOMI* AppendRecord(const char* candidatePath)
{
    TELOMI* record = ProgrammeList.Append();
    if (!record) {
        ListFull = true;
        return nullptr;
    }
    std::strcpy(record->DetailPath, candidatePath);
    return record;
}

// One connection: each link is fetched, filled and counted before the next.
bool TakeLink(const char* candidatePath, void*)
{
    TELOMI* record = AppendRecord(candidatePath);
    if (!record)
        return false;
    record->FetchDetails();
    return CompleteRecord();
}

bool CollectLink(const char* candidatePath, void* context)
{
    static_cast<std::vector<std::string>*>(context)->push_back(candidatePath);
    return true;
}

// Several connections: the page's links are fetched ahead while the records
// are still appended, filled and counted strictly in link order.
GridScanResult TakeLinksAhead(char* page, size_t length)
{
    std::vector<std::string> paths;
    GridScanResult scan = ScanGridLinks(page, length, PreviousCandidate, CollectLink, &paths);
    ReleasePage(page);
    Pipeline->Run(
        paths,
        [&paths](size_t index, char* detailPage, size_t) {
            TELOMI* record = AppendRecord(paths[index].c_str());
            if (!record)
                return false;
            record->FillFromPage(detailPage);
            return CompleteRecord();
        },
        AbortFlag);
    return scan;
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
        GridScanResult scan;
        if (DetailConnections > 1) {
            scan = TakeLinksAhead(page, length);
        } else {
            scan = ScanGridLinks(page, length, PreviousCandidate, TakeLink, nullptr);
            ReleasePage(page);
        }
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
    DetailPipeline pipeline(DetailConnections, FetchDetailPage, ReleasePage);
    Pipeline = &pipeline;
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
    SendMessageA(ProgressWnd, WM_ADDROWS, 0, 0);
    SizeColumnsAndTick();
    SendMessageA(ProgressWnd, WM_CLOSE, 0, 0);
    // Pages still arriving after a stop hold connections: the next retrieval waits for them.
    pipeline.WaitForIdle();
    RetrievalRunning = false;
    _endthread();
}
