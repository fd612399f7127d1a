#include "fetch/site_source.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fetch/detail_fetch.h"
#include "fetch/detail_pipeline.h"
#include "fetch/link_scan.h"
#include "fetch/split_address.h"
#include "listing/detail_parser.h"

int32_t EmptyPageCount;

namespace {

constexpr int EmptyPagesTolerated = 3;
// A grid address that fails this often in a row is given up: the site is down.
constexpr int GridAttempts = 5;

// A grid page's answer, shared with its fetch, which a stop may leave behind.
struct GridAnswer {
    char* Page = nullptr;
    size_t Length = 0;
    bool Arrived = false;
    ~GridAnswer() { ReleasePage(Page); }
};

class SiteSource final : public RetrievalSource {
public:
    explicit SiteSource(const SiteSettings& settings) : Settings(settings) {}
    void Walk(RetrievalRun& run) override;

private:
    void WalkAddress(const char* address, DetailPipeline& pipeline);
    bool TakePage(const std::string& candidatePath, char* page);
    static bool CollectLink(const char* candidatePath, void* paths);

    SiteSettings Settings;
    RetrievalRun* Run = nullptr;
    // Starts empty at every retrieval, so the first link is never taken for a repeat.
    char PreviousCandidate[DetailPathSize] = "";
    int FailedAddresses = 0;
    int FailedPages = 0;
};

// Appends the link's record, filled from its page (null when none arrived),
// and counts it; false when the walk is to stop. A page cut off by a stop is
// no fault of the site: the walk ends without its record.
bool SiteSource::TakePage(const std::string& candidatePath, char* page)
{
    if (!page && Run->Stopped())
        return false;
    TELOMI* record = Run->Append();
    if (!record)
        return false;
    std::strcpy(record->DetailPath, candidatePath.c_str());
    // A record whose page never arrived keeps its empty fields and still gets
    // its row, so a row's item data always names its record.
    if (page)
        ParseDetailPage(page, *record, Settings.Year);
    else
        ++FailedPages;
    EmptyPageCount = 0;
    return Run->Complete();
}

bool SiteSource::CollectLink(const char* candidatePath, void* paths)
{
    static_cast<std::vector<std::string>*>(paths)->push_back(candidatePath);
    return true;
}

// Fetches one grid address until it yields a record, the empty-page limit is
// reached, it fails too often in a row or the user stops. The page's links
// are fetched by the pipeline and taken strictly in link order.
void SiteSource::WalkAddress(const char* address, DetailPipeline& pipeline)
{
    char host[256] = "";
    char path[256] = "";
    SplitAddress(address, host, sizeof host, path, sizeof path);
    const int pageStart = ProgrammeCount;
    int failures = 0;
    int retryPause = 500;
    while (ProgrammeCount == pageStart && !Run->Stopped() && !Run->Full()) {
        DeleteUrlCacheEntryA(address);
        auto answer = std::make_shared<GridAnswer>();
        const bool ended = Run->Await([answer, host = std::string(host), path = std::string(path),
                                       gate = Run->Requests()] {
            answer->Arrived = FetchPage(host.c_str(), path.c_str(), &answer->Page, &answer->Length, gate.get());
        });
        if (!ended)
            return;
        // A closed connection arrives as a page of no bytes: a failure, not an empty grid.
        if (!answer->Arrived || answer->Length == 0) {
            if (Run->Stopped())
                return;
            if (++failures == GridAttempts) {
                ++FailedAddresses;
                return;
            }
            Run->Pause(retryPause);
            retryPause = std::min(retryPause * 2, 5000);
            continue;
        }
        failures = 0;
        retryPause = 500;
        std::vector<std::string> paths;
        const int accepted = ScanGridLinks(answer->Page, answer->Length, PreviousCandidate, CollectLink, &paths);
        // A page buffer is a megabyte: let it go before the detail pages come.
        answer.reset();
        pipeline.Run(
            paths, [this, &paths](size_t index, char* page, size_t) { return TakePage(paths[index], page); },
            AbortFlag);
        // A page whose links were all rejected or repeated adds nothing either.
        if (accepted == 0 && ++EmptyPageCount > EmptyPagesTolerated)
            return;
    }
}

void SiteSource::Walk(RetrievalRun& run)
{
    Run = &run;
    // The fetcher owns copies of what it needs: a stop may leave it running.
    DetailPipeline pipeline(
        Settings.Connections,
        [host = std::string(Settings.Host), gate = run.Requests()](const char* path, char** page, size_t* length) {
            return FetchDetails(host.c_str(), path, page, length, gate.get());
        },
        ReleasePage);
    struct Pass {
        int Slot;
        const char* Suffix;
    };
    const Pass passes[] = {{0, ""}, {1, ""}, {2, "&page=1"}, {2, "&page=2"}, {2, "&page=3"}};
    for (const Pass& pass : passes) {
        if (pass.Slot == 1 && !Settings.ReceiveBS)
            continue;
        if (pass.Slot == 2 && !Settings.ReceiveCS)
            break;
        if (run.Stopped() || run.Full())
            break;
        char address[RequestAddressSize + 16];
        std::snprintf(address, sizeof address, "%s%s", Settings.Requests[pass.Slot], pass.Suffix);
        WalkAddress(address, pipeline);
    }
    if (FailedAddresses > 0 || FailedPages > 0) {
        char text[256];
        std::snprintf(text, sizeof text, "受信できなかったページがあります。\n番組表: %dページ\n番組の詳細: %dページ",
                      FailedAddresses, FailedPages);
        run.ReportFailure(text);
    }
}

} // namespace

std::unique_ptr<RetrievalSource> MakeSiteSource(const SiteSettings& settings)
{
    return std::make_unique<SiteSource>(settings);
}
