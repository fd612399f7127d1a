#include "fetch/detail_fetch.h"

namespace {
constexpr int DetailAttempts = 3;
}

bool FetchDetails(const char* host, const char* path, char** page, size_t* length, RequestGate* gate)
{
    for (int attempt = 0; attempt < DetailAttempts; ++attempt) {
        if (!FetchPage(host, path, page, length, gate))
            continue;
        // An answer of no bytes is a connection the site closed, not a page.
        if (*length > 0)
            return true;
        ReleasePage(*page);
    }
    *page = nullptr;
    return false;
}
