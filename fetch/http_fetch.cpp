#include "fetch/http_fetch.h"

#include <windows.h>
#include <wininet.h>

#include "fetch/split_address.h"

#include <atomic>

namespace {

std::atomic<int> LivePages;

DWORD NumberHeader(HINTERNET request, DWORD query, DWORD missing)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!HttpQueryInfoA(request, query | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr))
        return missing;
    return value;
}

// Closes what an attempt opened, newest first, and drops a half-read page.
struct OpenHandles {
    HINTERNET Root = nullptr;
    HINTERNET Connection = nullptr;
    HINTERNET Request = nullptr;
    char* Page = nullptr;

    ~OpenHandles()
    {
        if (Request)
            InternetCloseHandle(Request);
        if (Connection)
            InternetCloseHandle(Connection);
        if (Root)
            InternetCloseHandle(Root);
        ReleasePage(Page);
    }
};

} // namespace

bool FetchPage(const char* host, const char* path, char** page, size_t* length)
{
    char name[256];
    uint16_t port = 80;
    if (!SplitHostPort(host, name, sizeof name, port))
        return false;

    OpenHandles open;
    open.Root = InternetOpenA("telomiya", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!open.Root)
        return false;
    open.Connection = InternetConnectA(open.Root, name, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!open.Connection)
        return false;
    open.Request = HttpOpenRequestA(open.Connection, "GET", path, nullptr, nullptr, nullptr, 0, 0);
    if (!open.Request)
        return false;
    if (HttpSendRequestA(open.Request, nullptr, 0, nullptr, 0) != TRUE)
        return false;

    // A server in trouble answers with an error page that holds no listings:
    // a failed attempt, so the caller tries again instead of keeping an empty record.
    if (NumberHeader(open.Request, HTTP_QUERY_STATUS_CODE, 200) >= 500)
        return false;
    const DWORD announced = NumberHeader(open.Request, HTTP_QUERY_CONTENT_LENGTH, 0);

    open.Page = static_cast<char*>(GlobalAlloc(GPTR, PageBufferSize));
    if (!open.Page)
        return false;
    ++LivePages;
    size_t received = 0;
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(open.Request, open.Page + received, static_cast<DWORD>(MostPageBytes - received),
                              &read))
            return false;
        if (read == 0)
            break;
        received += read;
    }
    // An answer that ends before its announced length was cut short.
    if (received < announced && received < MostPageBytes)
        return false;
    *page = open.Page;
    *length = received;
    open.Page = nullptr;
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
