#include "fetch/detail_pipeline.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

using namespace std::chrono;
static std::atomic<int> Running, MostRunning, Live, MostLive;
static std::atomic<bool> Unhang; // a "hang" fetch lasts until this is set, 30 s at most

static void RaiseTo(std::atomic<int>& most, int value)
{
    for (int seen = most; value > seen && !most.compare_exchange_weak(seen, value);)
        continue;
}

// A page is its own path; "fail" paths never arrive.
static bool FakeFetch(const char* path, char** page, size_t* length)
{
    RaiseTo(MostRunning, ++Running);
    thread_local std::mt19937 random(std::hash<std::thread::id>()(std::this_thread::get_id()));
    std::this_thread::sleep_for(microseconds(random() % 3000));
    for (auto until = steady_clock::now() + seconds(30); std::strstr(path, "hang") && !Unhang && steady_clock::now() < until;)
        std::this_thread::sleep_for(milliseconds(5));
    --Running;
    if (std::strstr(path, "fail"))
        return false;
    *length = std::strlen(path);
    *page = static_cast<char*>(std::malloc(*length + 1));
    std::memcpy(*page, path, *length + 1);
    RaiseTo(MostLive, ++Live);
    return true;
}

static void FakeRelease(char* page) { Live -= page != nullptr, std::free(page); }

TEST(DetailPipeline, HandsPagesOverInOrderWithinTheLimits)
{
    struct Case { const char* Name; int Connections; size_t Pages, Consumed, StopAfter = 0, SlowConsumer = 0, HangAt = 999;
    } cases[] = {
        {"one connection", 1, 150, 150}, {"two", 2, 150, 150}, {"four", 4, 150, 150}, {"eight", 8, 150, 150},
        {"the consumer saying no stops after that page", 3, 50, 10, 10},
        {"a slow consumer: each page held ahead is a megabyte in the program", 4, 60, 60, 0, 3},
        {"a stop ends the run while a fetch hangs: an unbroken prefix", 4, 6, 2, 0, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Running = MostRunning = Live = MostLive = Unhang = 0;
        std::vector<std::string> paths, seen;
        for (size_t i = 0; i < c.Pages; ++i)
            paths.push_back("/genre/detail.php3?id=" + std::to_string(i) + (i % 7 == 3 ? "&fail" : "") +
                            (i == c.HangAt ? "&hang" : ""));
        DetailPipeline pipeline(c.Connections, FakeFetch, FakeRelease);
        std::atomic<bool> stop{false};
        std::atomic<size_t> consumedSoFar{0};
        std::thread stopper([&] { // a stop once the pages before the hanging one are in
            for (int i = 0; c.HangAt < c.Pages && (consumedSoFar < c.HangAt || i++ < 50);)
                std::this_thread::sleep_for(milliseconds(1));
            stop = c.HangAt < c.Pages;
        });
        const auto start = steady_clock::now();
        const size_t consumed = pipeline.Run(paths, [&](size_t index, char* page, size_t length) {
            EXPECT_EQ(index, seen.size());
            seen.push_back(page ? std::string(page, length) : "(failed)");
            std::this_thread::sleep_for(milliseconds(c.SlowConsumer));
            return ++consumedSoFar != c.StopAfter;
        }, stop);
        EXPECT_LT(steady_clock::now() - start, seconds(10)) << "the run waited for the hanging fetch";
        stopper.join();
        EXPECT_EQ(consumed, c.Consumed);
        ASSERT_EQ(seen.size(), consumed);
        for (size_t i = 0; i < seen.size(); ++i)
            EXPECT_EQ(seen[i], i % 7 == 3 ? "(failed)" : paths[i]) << "page " << i;
        EXPECT_LE(MostRunning, c.Connections);
        EXPECT_TRUE(c.Connections == 1 || MostRunning > 1) << "pages are fetched ahead";
        EXPECT_TRUE(c.SlowConsumer == 0 || MostLive <= 2 * c.Connections) << MostLive << " pages held";
        Unhang = true;
        pipeline.WaitForIdle();
        EXPECT_EQ(Live, 0) << "every page was released, also those that arrived after the stop";
    }
}
