// The retrieval frame: one retrieval at a time, its worker thread, the
// progress window with rows put in by batches, stop, and the end steps. What
// is read is a source's walk, which appends complete records to the frame.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "fetch/http_fetch.h"
#include "listing/programme.h"

// What a walk shares with the frame; used on the worker thread.
class RetrievalRun {
public:
    bool Stopped() const;
    // True once the programme list holds all it can.
    bool Full() const { return ListFull; }
    // The requests in a call, which a stop closes; shared with fetches that a
    // stop leaves behind.
    const std::shared_ptr<RequestGate>& Requests() const { return Gate; }
    // Runs a blocking call on a thread of its own and waits for it or for a
    // stop: true when it ended. The platform does not end every blocked call
    // when its handle closes, so after a stop the call is left to end by
    // itself, and it must own everything it touches.
    bool Await(std::function<void()> call) const;
    // An all-zero record at the end of ProgrammeList, or null when it is full.
    TELOMI* Append();
    // Counts the last appended record as complete; its row follows at the
    // next batch. False when the walk is to stop.
    bool Complete();
    // Sleeps in short slices, so a stop is seen within a tenth of a second.
    void Pause(int milliseconds) const;
    // The text of the message box shown at the end, unless the user stopped.
    void ReportFailure(const char* text);

private:
    friend void FinishRetrieval(HWND progress);
    std::shared_ptr<RequestGate> Gate = std::make_shared<RequestGate>();
    bool ListFull = false;
    char Failure[512] = "";
};

class RetrievalSource {
public:
    virtual ~RetrievalSource() = default;
    // Runs on the worker thread until everything is read or the run stops.
    virtual void Walk(RetrievalRun& run) = 0;
};

// The windows a retrieval works with, copied when it starts.
struct RetrievalView {
    HWND Owner;      // owns the progress window, hears WM_RETRIEVALREPORT
    HWND List;       // the list view the rows go into
    RECT OwnerClient;
    bool TickAll;    // tick every row at the end
};

// Posted to the owner when a retrieval ended with pages it could not read.
constexpr UINT WM_RETRIEVALREPORT = WM_APP + 2;

// Clears the programme list and the rows and starts the source on a worker
// thread. A retrieval still running is not disturbed: false. One that was
// stopped and is still ending is waited for first.
bool StartRetrieval(const RetrievalView& view, std::unique_ptr<RetrievalSource> source);
// Sets the stop flag and closes the requests in flight.
void StopRetrieval();
// Stops a running retrieval and waits for its worker, answering the messages
// it sends meanwhile; for the main window's end.
void EndRetrieval();
// The end steps, on the interface thread when the worker's walk has ended:
// the last rows, column widths, ticks, the progress window closed, a report.
void FinishRetrieval(HWND progress);
// Shows the failure text of the retrieval that just ended.
void ShowRetrievalReport(HWND owner);

// Written by the interface thread (the stop button, a start), read by the worker.
extern std::atomic<bool> AbortFlag;
// Set by the interface thread at a start, cleared by the worker as it ends.
extern std::atomic<bool> RetrievalRunning;
// The progress window; written and read by the interface thread.
extern HWND ProgressWnd;
// Rows put into the list so far; interface thread only.
extern int32_t RowCount;
