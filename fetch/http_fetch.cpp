#include "fetch/http_fetch.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include "fetch/split_address.h"

namespace {

std::atomic<int> LivePages;

// A site that stops answering must not hold the retrieval for ever.
void SetTimeLimits(HINTERNET root)
{
    DWORD connect = 10000, send = 30000, receive = 30000;
    InternetSetOptionA(root, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
    InternetSetOptionA(root, INTERNET_OPTION_SEND_TIMEOUT, &send, sizeof send);
    InternetSetOptionA(root, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
}

} // namespace

bool RequestGate::Begin(HINTERNET request)
{
    std::lock_guard<std::mutex> hold(Lock);
    if (Closed)
        return false;
    InCall.push_back(request);
    return true;
}

bool RequestGate::End(HINTERNET request)
{
    std::lock_guard<std::mutex> hold(Lock);
    const auto closed = std::find(ClosedByStop.begin(), ClosedByStop.end(), request);
    if (closed != ClosedByStop.end()) {
        ClosedByStop.erase(closed);
        return false;
    }
    InCall.erase(std::find(InCall.begin(), InCall.end(), request));
    return true;
}

void RequestGate::CloseAll()
{
    std::lock_guard<std::mutex> hold(Lock);
    Closed = true;
    for (HINTERNET request : InCall) {
        InternetCloseHandle(request);
        ClosedByStop.push_back(request);
    }
    InCall.clear();
}

template <class Call> bool HttpGet::Blocking(Call call)
{
    if (Gate && !Gate->Begin(Request))
        return false;
    const bool done = call();
    if (Gate && !Gate->End(Request)) {
        ClosedByStop = true;
        return false;
    }
    return done;
}

HttpGet::~HttpGet()
{
    // A request that a stop has closed is not closed again.
    if (Request && !ClosedByStop)
        InternetCloseHandle(Request);
    if (Connection)
        InternetCloseHandle(Connection);
    if (Root)
        InternetCloseHandle(Root);
}

bool HttpGet::Send(const char* hostName, uint16_t port, const char* path, bool secure, bool decode)
{
    Root = InternetOpenA("telomiya", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!Root)
        return false;
    SetTimeLimits(Root);
    Connection = InternetConnectA(Root, hostName, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!Connection)
        return false;
    Request = HttpOpenRequestA(Connection, "GET", path, nullptr, nullptr, nullptr, secure ? INTERNET_FLAG_SECURE : 0,
                               0);
    if (!Request)
        return false;
    if (decode) {
        BOOL on = TRUE;
        InternetSetOptionA(Request, INTERNET_OPTION_HTTP_DECODING, &on, sizeof on);
        HttpAddRequestHeadersA(Request, "Accept-Encoding: gzip, deflate\r\n", static_cast<DWORD>(-1),
                               HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    }
    return Blocking([this] { return HttpSendRequestA(Request, nullptr, 0, nullptr, 0) == TRUE; });
}

DWORD HttpGet::Header(DWORD query, DWORD missing)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!HttpQueryInfoA(Request, query | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr))
        return missing;
    return value;
}

bool HttpGet::Read(char* into, DWORD size, DWORD* read)
{
    *read = 0;
    return Blocking([&] { return InternetReadFile(Request, into, size, read) == TRUE; });
}

bool FetchPage(const char* host, const char* path, char** page, size_t* length, RequestGate* gate)
{
    char name[256];
    uint16_t port = 80;
    if (!SplitHostPort(host, name, sizeof name, port))
        return false;
    HttpGet get(gate);
    if (!get.Send(name, port, path, false, false))
        return false;

    // A server in trouble answers with an error page that holds no listings:
    // a failed attempt, so the caller tries again instead of keeping an empty record.
    if (get.Header(HTTP_QUERY_STATUS_CODE, 200) >= 500)
        return false;
    const DWORD announced = get.Header(HTTP_QUERY_CONTENT_LENGTH, 0);

    // Released unless it is handed over whole.
    std::unique_ptr<char, void (*)(char*)> buffer(static_cast<char*>(GlobalAlloc(GPTR, PageBufferSize)), ReleasePage);
    if (!buffer)
        return false;
    ++LivePages;
    size_t received = 0;
    for (;;) {
        DWORD read = 0;
        if (!get.Read(buffer.get() + received, static_cast<DWORD>(MostPageBytes - received), &read))
            return false;
        if (read == 0)
            break;
        received += read;
    }
    // An answer that ends before its announced length was cut short.
    if (received < announced && received < MostPageBytes)
        return false;
    *page = buffer.release();
    *length = received;
    return true;
}

void ReleasePage(char* page)
{
    if (!page)
        return;
    GlobalFree(page);
    --LivePages;
}

int LivePageCount()
{
    return LivePages;
}
