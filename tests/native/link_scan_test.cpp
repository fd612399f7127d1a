#include "fetch/link_scan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string M = "/genre/detail.php3?";

std::string Link(const std::string& query) { return "<a href=\"" + M + query + "\">x</a>"; }

struct Collector {
    std::vector<std::string> Taken;
    int StopAfter;   // accept() answers false once this many were taken; -1 never
};

bool Collect(const char* candidatePath, void* context)
{
    auto* collector = static_cast<Collector*>(context);
    collector->Taken.push_back(candidatePath);
    return collector->StopAfter < 0 || static_cast<int>(collector->Taken.size()) < collector->StopAfter;
}

}  // namespace

TEST(ScanGridLinks, CandidateRules)
{
    const std::string q100(100, 'q');
    struct Case {
        const char* Proves;
        std::string Page, Previous;
        int StopAfter;
        bool MarkerSeen;
        std::vector<std::string> Taken;
        std::string PreviousAfter;
    } cases[] = {
        {"empty page", "", "", -1, false, {}, ""},
        {"no marker", "<a href=\"/genre/other.php3?id=1\">", "", -1, false, {}, ""},
        {"a marker cut off by the page end is none", "<a href=\"/genre/detail.php3", "", -1, false, {}, ""},
        {"the text ends at its first zero byte", std::string("<p>\0", 4) + Link("id=1"), "", -1, false, {}, ""},
        {"a link directly repeated gives one", Link("id=1") + Link("id=1"), "", -1, true, {M + "id=1"}, M + "id=1"},
        {"the same link further apart is taken again", Link("id=1") + Link("id=2") + Link("id=1"), "", -1, true,
         {M + "id=1", M + "id=2", M + "id=1"}, M + "id=1"},
        {"the previous page's last link is the one before", Link("id=1") + Link("id=2"), M + "id=1", -1, true,
         {M + "id=2"}, M + "id=2"},
        {"a space rejects", Link("id=1 x"), "", -1, true, {}, M + "id=1 x"},
        {"running into <br> rejects", "<a href=" + M + "id=1><br>next", "", -1, true, {}, M + "id=1><br>next"},
        {"an ideographic space (0x81 0x40) rejects", Link("id=1\x81\x40x"), "", -1, true, {}, M + "id=1\x81\x40x"},
        {"a rejected link still becomes the previous one", Link("id=1") + Link("id 2") + Link("id=1"), "", -1, true,
         {M + "id=1", M + "id=1"}, M + "id=1"},
        {"a query without a quote is cut at 100 bytes, the search goes on right after",
         "<a href=" + M + q100 + M + "id=2\"", "", -1, true, {M + q100, M + "id=2"}, M + "id=2"},
        {"a page of just the marker gives an empty query", M, "", -1, true, {M}, M},
        {"a query running to the page end stops there", "<a href=\"" + M + "id=7", "", -1, true, {M + "id=7"},
         M + "id=7"},
        {"accept() answering false stops the walk", Link("id=1") + Link("id=2") + Link("id=3"), "", 1, true,
         {M + "id=1"}, M + "id=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Proves);
        // The page fills a block of exactly its length: a read past it shows under the address sanitizer.
        std::unique_ptr<char[]> page(new char[c.Page.size()]);
        std::memcpy(page.get(), c.Page.data(), c.Page.size());
        char previous[DetailPathSize] = {};
        std::strncpy(previous, c.Previous.c_str(), DetailPathSize - 1);
        Collector collector{{}, c.StopAfter};
        const GridScanResult result = ScanGridLinks(page.get(), c.Page.size(), previous, Collect, &collector);
        EXPECT_EQ(result.MarkerSeen, c.MarkerSeen);
        EXPECT_EQ(result.Accepted, static_cast<int>(c.Taken.size()));
        EXPECT_EQ(collector.Taken, c.Taken);
        EXPECT_EQ(std::string(previous), c.PreviousAfter);
    }
}
