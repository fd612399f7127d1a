// Fetches the detail pages of one grid page ahead of their use, on several
// connections at once, and hands them over strictly in link order.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One attempt series for a page; on success *page must later go to the releaser.
using PageFetcher = std::function<bool(const char* path, char** page, size_t* length)>;
using PageReleaser = void (*)(char* page);

class DetailPipeline {
public:
    // Fetches still under way when the pipeline goes end on their own and
    // release their pages; the fetcher must own whatever it uses.
    DetailPipeline(int connections, PageFetcher fetch, PageReleaser release);
    DetailPipeline(const DetailPipeline&) = delete;
    DetailPipeline& operator=(const DetailPipeline&) = delete;

    // page is null when every attempt failed; the pipeline releases it after
    // consume returns. consume returns false to stop.
    using Consumer = std::function<bool(size_t index, char* page, size_t length)>;

    // Calls consume for paths[0], paths[1], ... in order, with at most
    // `connections` fetches under way at any moment, and returns how many it
    // consumed. A set stop flag ends the run within a tenth of a second, even
    // while a fetch hangs; pages still arriving are released when they come.
    // Where no fetching thread can be started, the pages are fetched here.
    size_t Run(const std::vector<std::string>& paths, const Consumer& consume, const std::atomic<bool>& stop);

    // Blocks until no fetch is under way.
    void WaitForIdle();

private:
    struct Shared;
    struct RunState;
    static void FetchPages(std::shared_ptr<Shared> state, std::shared_ptr<RunState> run, size_t ahead,
                           const PageFetcher& fetch, PageReleaser release);
    std::shared_ptr<Shared> State;
    int Connections;
    PageFetcher Fetch;
    PageReleaser Release;
};
