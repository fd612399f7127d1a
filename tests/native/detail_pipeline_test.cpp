#include "fetch/detail_pipeline.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>

namespace {

std::atomic<int> Running, MostRunning, Live, MostLive;
std::atomic<int> HangMilliseconds;

// A page is its own path; "fail" paths never arrive.
bool FakeFetch(const char* path, char** page, size_t* length)
{
    const int now = ++Running;
    int seen = MostRunning;
    while (now > seen && !MostRunning.compare_exchange_weak(seen, now)) {
    }
    thread_local std::mt19937 random(std::hash<std::thread::id>()(std::this_thread::get_id()));
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    if (std::strstr(path, "hang"))
        std::this_thread::sleep_for(std::chrono::milliseconds(HangMilliseconds.load()));
    --Running;
    if (std::strstr(path, "fail"))
        return false;
    *length = std::strlen(path);
    *page = static_cast<char*>(std::malloc(*length + 1));
    std::memcpy(*page, path, *length + 1);
    const int live = ++Live;
    int most = MostLive;
    while (live > most && !MostLive.compare_exchange_weak(most, live)) {
    }
    return true;
}

void FakeRelease(char* page)
{
    if (page) {
        --Live;
        std::free(page);
    }
}

std::vector<std::string> Paths(int count)
{
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i)
        paths.push_back("/genre/detail.php3?id=" + std::to_string(i) + (i % 7 == 3 ? "&fail" : ""));
    return paths;
}

} // namespace

TEST(DetailPipeline, HandsPagesOverInOrderWithinTheConnectionLimit)
{
    for (int connections : {1, 2, 4, 8}) {
        Running = MostRunning = Live = 0;
        DetailPipeline pipeline(connections, FakeFetch, FakeRelease);
        const auto paths = Paths(200);
        std::vector<std::string> seen;
        std::atomic<bool> stop{false};
        size_t consumed = pipeline.Run(
            paths,
            [&](size_t index, char* page, size_t length) {
                EXPECT_EQ(index, seen.size());
                seen.push_back(page ? std::string(page, length) : "(failed)");
                return true;
            },
            stop);
        EXPECT_EQ(consumed, paths.size());
        ASSERT_EQ(seen.size(), paths.size());
        for (size_t i = 0; i < paths.size(); ++i)
            EXPECT_EQ(seen[i], i % 7 == 3 ? "(failed)" : paths[i]) << connections << " connections, page " << i;
        EXPECT_LE(MostRunning, connections);
        if (connections > 1) {
            EXPECT_GT(MostRunning, 1) << "pages are fetched ahead";
        }
        pipeline.WaitForIdle();
        EXPECT_EQ(Live, 0) << "every page was released";
    }
}

TEST(DetailPipeline, StopEndsTheRunQuicklyEvenWhileAFetchHangs)
{
    Running = MostRunning = Live = 0;
    HangMilliseconds = 1500;
    DetailPipeline pipeline(4, FakeFetch, FakeRelease);
    std::vector<std::string> paths = {"/a", "/b", "/c-hang", "/d", "/e", "/f"};
    std::atomic<bool> stop{false};
    std::vector<std::string> seen;
    const auto start = std::chrono::steady_clock::now();
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop = true;
    });
    size_t consumed = pipeline.Run(
        paths,
        [&](size_t, char* page, size_t length) {
            seen.push_back(std::string(page, length));
            return true;
        },
        stop);
    const auto took = std::chrono::steady_clock::now() - start;
    stopper.join();
    EXPECT_EQ(consumed, 2u) << "an unbroken prefix: the pages before the hanging one";
    EXPECT_EQ(seen, (std::vector<std::string>{"/a", "/b"}));
    EXPECT_LT(took, std::chrono::milliseconds(500));
    pipeline.WaitForIdle();
    EXPECT_EQ(Live, 0) << "pages that arrived after the stop were released";
}

TEST(DetailPipeline, ConsumerSayingNoStopsAfterThatPage)
{
    Live = 0;
    DetailPipeline pipeline(3, FakeFetch, FakeRelease);
    std::atomic<bool> stop{false};
    size_t consumed = pipeline.Run(Paths(50), [](size_t index, char*, size_t) { return index < 9; }, stop);
    EXPECT_EQ(consumed, 10u);
    pipeline.WaitForIdle();
    EXPECT_EQ(Live, 0);
}

TEST(DetailPipeline, ASlowConsumerHoldsOnlyAFewPagesFetchedAhead)
{
    Live = MostLive = 0;
    DetailPipeline pipeline(4, FakeFetch, FakeRelease);
    std::atomic<bool> stop{false};
    size_t consumed = pipeline.Run(
        Paths(60),
        [](size_t, char*, size_t) {
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            return true;
        },
        stop);
    EXPECT_EQ(consumed, 60u);
    EXPECT_LE(MostLive, 8) << "each page held is a megabyte in the program";
    EXPECT_GE(MostLive, 2) << "pages are still fetched ahead";
}
