#include "fetch/detail_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

struct Slot {
    bool Done = false;
    char* Page = nullptr;
    size_t Length = 0;
};

} // namespace

struct DetailPipeline::Shared {
    std::mutex Lock;
    std::condition_variable Changed;
    int InFlight = 0;
};

// One run's pages, shared with its fetching threads, which may outlive the
// run after a stop.
struct DetailPipeline::RunState {
    std::vector<std::string> Paths;
    std::vector<Slot> Slots;
    size_t Next = 0;      // the next page a fetching thread takes
    size_t Consumed = 0;  // pages handed over so far
    bool Abandoned = false;
};

DetailPipeline::DetailPipeline(int connections, PageFetcher fetch, PageReleaser release)
    : State(std::make_shared<Shared>()), Connections(connections < 1 ? 1 : connections), Fetch(fetch),
      Release(release)
{
}

void DetailPipeline::WaitForIdle()
{
    std::unique_lock<std::mutex> hold(State->Lock);
    State->Changed.wait(hold, [&] { return State->InFlight == 0; });
}

// A fetching thread: takes the run's pages in order, one at a time, until
// none is left or the run is abandoned.
void DetailPipeline::FetchPages(std::shared_ptr<Shared> state, std::shared_ptr<RunState> run, size_t ahead,
                                const PageFetcher& fetch, PageReleaser release)
{
    std::unique_lock<std::mutex> hold(state->Lock);
    for (;;) {
        // A page fetched ahead holds a buffer of a megabyte until it is used,
        // so the threads keep at most `ahead` pages in front of the consumer.
        state->Changed.wait(hold, [&] {
            return run->Abandoned || run->Next >= run->Slots.size() || run->Next - run->Consumed < ahead;
        });
        if (run->Abandoned || run->Next >= run->Slots.size())
            return;
        const size_t index = run->Next++;
        ++state->InFlight;
        hold.unlock();
        char* page = nullptr;
        size_t length = 0;
        if (!fetch(run->Paths[index].c_str(), &page, &length))
            page = nullptr;
        hold.lock();
        --state->InFlight;
        if (run->Abandoned) {
            release(page);
        } else {
            run->Slots[index] = {true, page, length};
        }
        state->Changed.notify_all();
    }
}

size_t DetailPipeline::Run(const std::vector<std::string>& paths, const Consumer& consume,
                           const std::atomic<bool>& stop)
{
    auto run = std::make_shared<RunState>();
    run->Paths = paths;
    run->Slots.resize(paths.size());
    // Threads that live as long as the run, so a page costs no thread start.
    const size_t wanted = std::min(paths.size(), static_cast<size_t>(Connections));
    size_t threads = 0;
    for (; threads < wanted; ++threads) {
        try {
            std::thread(FetchPages, State, run, 2 * static_cast<size_t>(Connections), Fetch, Release).detach();
        } catch (const std::system_error&) {
            break; // the run goes on with the threads it has
        }
    }

    size_t consumed = 0;
    bool stopped = false;
    if (threads == 0) {
        // No thread at all: one page after the other on this one.
        for (; consumed < paths.size() && !stopped && !stop; ++consumed) {
            char* page = nullptr;
            size_t length = 0;
            if (!Fetch(paths[consumed].c_str(), &page, &length))
                page = nullptr;
            stopped = !consume(consumed, page, length);
            Release(page);
        }
    }
    while (consumed < paths.size() && !stopped) {
        Slot next;
        {
            std::unique_lock<std::mutex> hold(State->Lock);
            while (!run->Slots[consumed].Done && !stop)
                State->Changed.wait_for(hold, std::chrono::milliseconds(100));
            if (!run->Slots[consumed].Done)
                break;
            next = run->Slots[consumed];
            run->Slots[consumed].Page = nullptr;
            run->Consumed = consumed + 1;
            State->Changed.notify_all();
        }
        const bool more = consume(consumed, next.Page, next.Length);
        Release(next.Page);
        ++consumed;
        stopped = !more || stop;
    }

    // Pages fetched ahead and never used go back now, the rest as they arrive.
    std::lock_guard<std::mutex> hold(State->Lock);
    run->Abandoned = true;
    for (Slot& slot : run->Slots) {
        Release(slot.Page);
        slot.Page = nullptr;
    }
    State->Changed.notify_all();
    return consumed;
}
