#include "fetch/detail_pipeline.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

struct Slot {
    bool Done = false;
    bool Abandoned = false;
    char* Page = nullptr;
    size_t Length = 0;
};

} // namespace

struct DetailPipeline::Shared {
    std::mutex Lock;
    std::condition_variable Changed;
    int InFlight = 0;
};

DetailPipeline::DetailPipeline(int connections, PageFetcher fetch, PageReleaser release)
    : State(std::make_shared<Shared>()), Connections(connections < 1 ? 1 : connections), Fetch(fetch),
      Release(release)
{
}

DetailPipeline::~DetailPipeline()
{
    WaitForIdle();
}

void DetailPipeline::WaitForIdle()
{
    std::unique_lock<std::mutex> hold(State->Lock);
    State->Changed.wait(hold, [&] { return State->InFlight == 0; });
}

size_t DetailPipeline::Run(const std::vector<std::string>& paths, const Consumer& consume,
                           const std::atomic<bool>& stop)
{
    std::vector<std::shared_ptr<Slot>> slots(paths.size());
    size_t started = 0;
    size_t consumed = 0;

    auto startFetches = [&](std::unique_lock<std::mutex>&) {
        while (started < paths.size() && State->InFlight < Connections) {
            auto slot = std::make_shared<Slot>();
            slots[started] = slot;
            ++State->InFlight;
            std::thread([state = State, slot, path = paths[started], fetch = Fetch, release = Release] {
                char* page = nullptr;
                size_t length = 0;
                if (!fetch(path.c_str(), &page, &length))
                    page = nullptr;
                std::lock_guard<std::mutex> hold(state->Lock);
                if (slot->Abandoned) {
                    release(page);
                } else {
                    slot->Page = page;
                    slot->Length = length;
                }
                slot->Done = true;
                --state->InFlight;
                state->Changed.notify_all();
            }).detach();
            ++started;
        }
    };

    bool stopped = false;
    while (consumed < paths.size() && !stopped) {
        std::shared_ptr<Slot> next;
        {
            std::unique_lock<std::mutex> hold(State->Lock);
            startFetches(hold);
            next = slots[consumed];
            while (!next->Done && !stop)
                State->Changed.wait_for(hold, std::chrono::milliseconds(100));
            if (!next->Done) {
                stopped = true;
                break;
            }
        }
        const bool more = consume(consumed, next->Page, next->Length);
        Release(next->Page);
        next->Page = nullptr;
        ++consumed;
        stopped = !more || stop;
    }

    // Pages fetched ahead and never used go back as they arrive.
    std::lock_guard<std::mutex> hold(State->Lock);
    for (size_t i = consumed; i < started; ++i) {
        slots[i]->Abandoned = true;
        Release(slots[i]->Page);
        slots[i]->Page = nullptr;
    }
    return consumed;
}
