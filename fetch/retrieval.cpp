#include "fetch/retrieval.h"

#include <commctrl.h>
#include <process.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "fetch/progress_window.h"
#include "fetch/wide_text.h"

std::atomic<bool> AbortFlag;
std::atomic<bool> RetrievalRunning;
HWND ProgressWnd;
int32_t RowCount;

namespace {

struct Retrieval {
    std::unique_ptr<RetrievalSource> Source;
    RetrievalRun Run;
    RetrievalView View;
    HWND Progress = nullptr;
    HANDLE Thread = nullptr;
    // Both on the interface thread only.
    bool StopAsked = false;
    bool Finished = false;    // the end steps are done; the thread is ending
};

// The latest retrieval, kept until its thread has ended; interface thread only.
std::unique_ptr<Retrieval> Current;
// The failure text of the retrieval that ended last; interface thread only.
char Report[512];

unsigned __stdcall RetrievalWorker(void* argument)
{
    auto* retrieval = static_cast<Retrieval*>(argument);
    retrieval->Source->Walk(retrieval->Run);
    // The walk's objects go with the source, before the thread ends.
    retrieval->Source.reset();
    SendMessageW(retrieval->Progress, WM_RETRIEVALDONE, 0, 0);
    RetrievalRunning = false;
    return 0;
}

// Waits for the worker while answering the messages it sends to the windows
// of this thread, which would otherwise wait for each other.
void WaitForWorker(HANDLE thread)
{
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) != WAIT_OBJECT_0) {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// Forgets the latest retrieval once its worker has ended, waiting for one that
// was stopped or has done its end steps; false while one still runs.
bool ReleaseEnded()
{
    if (!Current)
        return true;
    if (RetrievalRunning && !Current->StopAsked && !Current->Finished)
        return false;
    WaitForWorker(Current->Thread);
    CloseHandle(Current->Thread);
    Current.reset();
    return true;
}

void SizeColumns(HWND list)
{
    for (int column = 0; column <= 6; ++column)
        SendMessageW(list, LVM_SETCOLUMNWIDTH, column, LVSCW_AUTOSIZE_USEHEADER);
}

void TickEveryRow(HWND list)
{
    LVITEMW ticked = {};
    ticked.stateMask = LVIS_STATEIMAGEMASK;
    ticked.state = INDEXTOSTATEIMAGEMASK(2);
    for (int row = 0; row < RowCount; ++row)
        SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&ticked));
}

void CloseProgressWindow(HWND progress)
{
    ProgressWnd = nullptr;
    DestroyWindow(progress);
}

} // namespace

bool RetrievalRun::Stopped() const
{
    return AbortFlag;
}

TELOMI* RetrievalRun::Append()
{
    TELOMI* record = ProgrammeList.Append();
    ListFull = record == nullptr;
    return record;
}

bool RetrievalRun::Complete()
{
    ProgrammeCount.fetch_add(1, std::memory_order_release);
    return !AbortFlag;
}

void RetrievalRun::Pause(int milliseconds) const
{
    for (int slept = 0; slept < milliseconds && !AbortFlag; slept += 100)
        Sleep(100);
}

bool RetrievalRun::Await(std::function<void()> call) const
{
    struct Done {
        std::mutex Lock;
        std::condition_variable Changed;
        bool Ended = false;
    };
    auto done = std::make_shared<Done>();
    auto task = [done, call = std::move(call)] {
        call();
        std::lock_guard<std::mutex> hold(done->Lock);
        done->Ended = true;
        done->Changed.notify_all();
    };
    try {
        std::thread(task).detach();
    } catch (const std::system_error&) {
        task(); // no thread to be had: the call runs here, beyond the stop's reach
    }
    std::unique_lock<std::mutex> hold(done->Lock);
    while (!done->Ended && !AbortFlag)
        done->Changed.wait_for(hold, std::chrono::milliseconds(100));
    return done->Ended;
}

void RetrievalRun::ReportFailure(const char* text)
{
    std::strncpy(Failure, text, sizeof Failure - 1);
}

bool StartRetrieval(const RetrievalView& view, std::unique_ptr<RetrievalSource> source)
{
    // One retrieval at a time: a second one would empty the list under the worker.
    if (!ReleaseEnded())
        return false;
    ProgressWnd = CreateProgressWindow(view.Owner, view.OwnerClient, view.List);
    if (!ProgressWnd)
        return false;
    ProgrammeCount = 0;
    RowCount = 0;
    ProgrammeList.Clear();
    SendMessageW(view.List, LVM_DELETEALLITEMS, 0, 0);

    auto retrieval = std::make_unique<Retrieval>();
    retrieval->Source = std::move(source);
    retrieval->View = view;
    retrieval->Progress = ProgressWnd;
    AbortFlag = false;
    RetrievalRunning = true;
    const uintptr_t thread = _beginthreadex(nullptr, 0, RetrievalWorker, retrieval.get(), 0, nullptr);
    if (thread == 0) {
        RetrievalRunning = false;
        CloseProgressWindow(ProgressWnd);
        return false;
    }
    retrieval->Thread = reinterpret_cast<HANDLE>(thread);
    Current = std::move(retrieval);
    return true;
}

void StopRetrieval()
{
    if (!Current || !RetrievalRunning)
        return;
    Current->StopAsked = true;
    AbortFlag = true;
    Current->Run.Requests()->CloseAll();
}

void EndRetrieval()
{
    StopRetrieval();
    ReleaseEnded();
}

void FinishRetrieval(HWND progress)
{
    const bool stopped = Current->StopAsked || AbortFlag;
    Current->Finished = true;
    AbortFlag = false;
    AddCompletedRows();
    SizeColumns(Current->View.List);
    if (Current->View.TickAll)
        TickEveryRow(Current->View.List);
    CloseProgressWindow(progress);
    std::strcpy(Report, stopped ? "" : Current->Run.Failure);
    if (Report[0])
        PostMessageW(Current->View.Owner, WM_RETRIEVALREPORT, 0, 0);
}

void ShowRetrievalReport(HWND owner)
{
    if (Report[0])
        ShowMessage(owner, Report, "てろみや", MB_OK | MB_ICONWARNING);
    Report[0] = '\0';
}
