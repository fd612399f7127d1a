#include "app/app_state.h"
#include "fetch/http_fetch.h"
#include "listing/detail_parser.h"

namespace {
constexpr int DetailAttempts = 3;
}

void TELOMI::FetchDetails()
{
    for (int attempt = 0; attempt < DetailAttempts; ++attempt) {
        char* page = nullptr;
        size_t length = 0;
        if (!FetchPage(SiteHost, DetailPath, &page, &length))
            continue;
        // An answer of no bytes is a connection the site closed, not a page.
        if (length == 0) {
            ReleasePage(page);
            continue;
        }
        ParseDetailPage(page, *this);
        ReleasePage(page);
        break;
    }
    // Every record gets its row, so a row's item data always names its record.
    AddRow();
}
