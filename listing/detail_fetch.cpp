#include "listing/detail_fetch.h"

#include "app/app_state.h"
#include "fetch/http_fetch.h"
#include "listing/detail_parser.h"

namespace {
constexpr int DetailAttempts = 3;
}

bool FetchDetailPage(const char* path, char** page, size_t* length)
{
    for (int attempt = 0; attempt < DetailAttempts; ++attempt) {
        if (!FetchPage(SiteHost, path, page, length))
            continue;
        // An answer of no bytes is a connection the site closed, not a page.
        if (*length > 0)
            return true;
        ReleasePage(*page);
    }
    *page = nullptr;
    return false;
}

void TELOMI::FillFromPage(char* page)
{
    if (page)
        ParseDetailPage(page, *this);
    // Every record gets its row, so a row's item data always names its record.
    AddRow();
}

void TELOMI::FetchDetails()
{
    char* page = nullptr;
    size_t length = 0;
    FetchDetailPage(DetailPath, &page, &length);
    FillFromPage(page);
    ReleasePage(page);
}
