// One HTTP GET of a page of the listings site into a fixed page buffer.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

constexpr size_t PageBufferSize = 1000002;
constexpr size_t MostPageBytes = PageBufferSize - 1;

// The requests of one retrieval that are blocked in a call, so that a stop can
// end them: closing a WinINet handle from another thread is the documented way
// to end a call blocked on it. A handle is closed only while its call runs, and
// its thread learns so before it could use the closed value again.
class RequestGate {
public:
    // Before a blocking call on the request; false once the gate is closed.
    bool Begin(HINTERNET request);
    // After the call; false when a stop has closed the request meanwhile.
    bool End(HINTERNET request);
    // Closes the requests in a call and lets no further call begin.
    void CloseAll();

private:
    std::mutex Lock;
    std::vector<HINTERNET> InCall;
    std::vector<HINTERNET> ClosedByStop;
    bool Closed = false;
};

// One HTTP GET whose answer is read piece by piece. Connecting may take 10 s,
// sending and each wait for data 30 s; a closed gate ends a call at once. The
// handles close, newest first, with the object.
class HttpGet {
public:
    explicit HttpGet(RequestGate* gate) : Gate(gate) {}
    ~HttpGet();
    HttpGet(const HttpGet&) = delete;
    HttpGet& operator=(const HttpGet&) = delete;

    // Connects and sends; false when no answer came. With `decode`, a gzip or
    // deflate answer is asked for and arrives decoded.
    bool Send(const char* hostName, uint16_t port, const char* path, bool secure, bool decode);
    // A number from the answer's header, or `missing`.
    DWORD Header(DWORD query, DWORD missing);
    // The next bytes of the answer; *read is 0 at its end. False on a failure.
    bool Read(char* into, DWORD size, DWORD* read);

private:
    template <class Call> bool Blocking(Call call);
    RequestGate* Gate;
    HINTERNET Root = nullptr;
    HINTERNET Connection = nullptr;
    HINTERNET Request = nullptr;
    bool ClosedByStop = false;
};

// host is "name" or "name:port" (80 when none). On success *page is a zeroed
// block of PageBufferSize bytes holding *length bytes of the answer, always
// followed by a zero byte; the caller releases it with ReleasePage. On failure
// nothing stays allocated. An answer with a server-error status or cut short
// before its announced length is a failure.
bool FetchPage(const char* host, const char* path, char** page, size_t* length, RequestGate* gate = nullptr);
void ReleasePage(char* page);
// Page buffers allocated and not yet released.
int LivePageCount();
