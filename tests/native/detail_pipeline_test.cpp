#include "fetch/detail_pipeline.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

static std::atomic<int> Running, MostRunning, Live, MostLive;

static void RaiseTo(std::atomic<int>& most, int value)
{
    for (int seen = most; value > seen && !most.compare_exchange_weak(seen, value);) {
    }
}

// A page is its own path; "fail" paths never arrive, "hang" paths take a second and a half.
static bool FakeFetch(const char* path, char** page, size_t* length)
{
    RaiseTo(MostRunning, ++Running);
    thread_local std::mt19937 random(std::hash<std::thread::id>()(std::this_thread::get_id()));
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    if (std::strstr(path, "hang"))
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    --Running;
    if (std::strstr(path, "fail"))
        return false;
    *length = std::strlen(path);
    *page = static_cast<char*>(std::malloc(*length + 1));
    std::memcpy(*page, path, *length + 1);
    RaiseTo(MostLive, ++Live);
    return true;
}

static void FakeRelease(char* page)
{
    Live -= page != nullptr;
    std::free(page);
}

TEST(DetailPipeline, HandsPagesOverInOrderWithinTheLimits)
{
    struct Case {
        const char* Name;
        int Connections;
        size_t Pages, Consumed, StopAfter = 0, ConsumeMilliseconds = 0, HangAt = 99999, StopAtMilliseconds = 0;
    } cases[] = {
        {"one connection", 1, 150, 150}, {"two", 2, 150, 150}, {"four", 4, 150, 150}, {"eight", 8, 150, 150},
        {"the consumer saying no stops after that page", 3, 50, 10, 10},
        {"a slow consumer: each page held ahead is a megabyte in the program", 4, 60, 60, 0, 3},
        {"a stop ends the run quickly even while a fetch hangs: an unbroken prefix", 4, 6, 2, 0, 0, 2, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Running = MostRunning = Live = MostLive = 0;
        std::vector<std::string> paths, seen;
        for (size_t i = 0; i < c.Pages; ++i)
            paths.push_back("/genre/detail.php3?id=" + std::to_string(i) + (i % 7 == 3 ? "&fail" : "") +
                            (i == c.HangAt ? "&hang" : ""));
        DetailPipeline pipeline(c.Connections, FakeFetch, FakeRelease);
        std::atomic<bool> stop{false};
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(c.StopAtMilliseconds));
            stop = c.StopAtMilliseconds > 0;
        });
        const auto start = std::chrono::steady_clock::now();
        const size_t consumed = pipeline.Run(
            paths,
            [&](size_t index, char* page, size_t length) {
                EXPECT_EQ(index, seen.size());
                seen.push_back(page ? std::string(page, length) : "(failed)");
                std::this_thread::sleep_for(std::chrono::milliseconds(c.ConsumeMilliseconds));
                return seen.size() != c.StopAfter;
            },
            stop);
        const auto took = std::chrono::steady_clock::now() - start;
        stopper.join();
        EXPECT_EQ(consumed, c.Consumed);
        ASSERT_EQ(seen.size(), consumed);
        for (size_t i = 0; i < seen.size(); ++i)
            EXPECT_EQ(seen[i], i % 7 == 3 ? "(failed)" : paths[i]) << "page " << i;
        EXPECT_LE(MostRunning, c.Connections);
        EXPECT_TRUE(c.Connections == 1 || MostRunning > 1) << "pages are fetched ahead";
        EXPECT_TRUE(c.ConsumeMilliseconds == 0 || MostLive <= 2 * c.Connections) << MostLive << " pages held";
        EXPECT_TRUE(c.StopAtMilliseconds == 0 || took < std::chrono::milliseconds(500)) << "the stop took too long";
        pipeline.WaitForIdle();
        EXPECT_EQ(Live, 0) << "every page was released, also those that arrived after the stop";
    }
}
