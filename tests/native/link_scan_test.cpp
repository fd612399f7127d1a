#include "fetch/link_scan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string Marker = "/genre/detail.php3?";

std::string Link(const std::string& query)
{
    return "<a href=\"" + Marker + query + "\">x</a>";
}

struct Collector {
    std::vector<std::string> Taken;
    int StopAfter = -1;  // accept() answers false once this many were taken
};

bool Collect(const char* candidatePath, void* context)
{
    auto* collector = static_cast<Collector*>(context);
    collector->Taken.push_back(candidatePath);
    return collector->StopAfter < 0 || static_cast<int>(collector->Taken.size()) < collector->StopAfter;
}

struct Scan {
    GridScanResult Result;
    std::vector<std::string> Taken;
    std::string Previous;
};

// The page sits in a block of exactly its length, with no zero behind it,
// so any read past `length` is caught by the address sanitizer.
Scan ScanPage(const std::string& page, const std::string& previous, int stopAfter = -1)
{
    std::unique_ptr<char[]> block(new char[page.size() ? page.size() : 1]);
    std::memcpy(block.get(), page.data(), page.size());
    char previousCandidate[DetailPathSize] = {};
    std::strncpy(previousCandidate, previous.c_str(), DetailPathSize - 1);
    Collector collector;
    collector.StopAfter = stopAfter;
    Scan scan;
    scan.Result = ScanGridLinks(block.get(), page.size(), previousCandidate, Collect, &collector);
    scan.Taken = collector.Taken;
    scan.Previous = previousCandidate;
    return scan;
}

}  // namespace

TEST(ScanGridLinks, CandidateRules)
{
    const std::string hundred(100, 'q');
    struct Case {
        const char* Proves;
        std::string Page;
        std::string Previous;
        int StopAfter;
        bool MarkerSeen;
        std::vector<std::string> Taken;
        std::string PreviousAfter;
    };
    const Case cases[] = {
        {"no marker, nothing taken", "<html><a href=\"/genre/other.php3?id=1\">", "", -1, false, {}, ""},
        {"a cut-off marker at the end is no marker", "<a href=\"/genre/detail.php3", "", -1, false, {}, ""},
        {"a link directly repeated gives one", Link("id=1") + Link("id=1"), "", -1, true, {Marker + "id=1"},
         Marker + "id=1"},
        {"the same link further apart is taken again", Link("id=1") + Link("id=2") + Link("id=1"), "", -1, true,
         {Marker + "id=1", Marker + "id=2", Marker + "id=1"}, Marker + "id=1"},
        {"the previous page's last link counts as the one before", Link("id=1") + Link("id=2"), Marker + "id=1",
         -1, true, {Marker + "id=2"}, Marker + "id=2"},
        {"another previous link does not block", Link("id=1"), Marker + "id=9", -1, true, {Marker + "id=1"},
         Marker + "id=1"},
        {"a space rejects", Link("id=1 x"), "", -1, true, {}, Marker + "id=1 x"},
        {"running into <br> rejects", "<a href=" + Marker + "id=1><br>next", "", -1, true, {},
         Marker + "id=1><br>next"},
        {"an ideographic space rejects", Link("id=1　x"), "", -1, true, {}, Marker + "id=1　x"},
        {"a rejected link still becomes the previous one", Link("id=1") + Link("id 2") + Link("id=1"), "", -1, true,
         {Marker + "id=1", Marker + "id=1"}, Marker + "id=1"},
        {"all links rejected still counts the marker", Link("a b") + Link("c<br>d"), "", -1, true, {},
         Marker + "c<br>d"},
        {"a query of exactly 100 bytes is whole", Link(hundred), "", -1, true, {Marker + hundred}, Marker + hundred},
        {"a query without a quote is cut at 100 bytes and the search goes on right after",
         "<a href=" + Marker + hundred + Marker + "id=2\"", "", -1, true, {Marker + hundred, Marker + "id=2"},
         Marker + "id=2"},
        {"a marker at the very end gives an empty query", "<a href=\"" + Marker, "", -1, true, {Marker}, Marker},
        {"a query running to the end of the page stops there", "<a href=\"" + Marker + "id=7", "", -1, true,
         {Marker + "id=7"}, Marker + "id=7"},
        {"an empty query before the quote", Link(""), "", -1, true, {Marker}, Marker},
        {"a zero byte ends the query", "<a href=\"" + Marker + "id=5" + std::string(1, '\0') + "tail", "", -1, true,
         {Marker + "id=5"}, Marker + "id=5"},
        {"the page text ends at its first zero byte", std::string("<p>") + std::string(1, '\0') + Link("id=1"), "", -1,
         false, {}, ""},
        {"accept() answering false stops the walk", Link("id=1") + Link("id=2") + Link("id=3"), "", 1, true,
         {Marker + "id=1"}, Marker + "id=1"},
        {"accept() may stop later", Link("id=1") + Link("id=2") + Link("id=3"), "", 2, true,
         {Marker + "id=1", Marker + "id=2"}, Marker + "id=2"},
    };
    for (const Case& c : cases) {
        Scan scan = ScanPage(c.Page, c.Previous, c.StopAfter);
        EXPECT_EQ(scan.Result.MarkerSeen, c.MarkerSeen) << c.Proves;
        EXPECT_EQ(scan.Result.Accepted, static_cast<int>(c.Taken.size())) << c.Proves;
        EXPECT_EQ(scan.Taken, c.Taken) << c.Proves;
        EXPECT_EQ(scan.Previous, c.PreviousAfter) << c.Proves;
    }
}

TEST(ScanGridLinks, IdeographicSpaceIsTheCodePage932Pair)
{
    // The rejection rule depends on the literal becoming 0x81 0x40.
    const char* space = "　";
    ASSERT_EQ(std::strlen(space), 2u);
    EXPECT_EQ(static_cast<unsigned char>(space[0]), 0x81);
    EXPECT_EQ(static_cast<unsigned char>(space[1]), 0x40);
}

TEST(ScanGridLinks, EmptyPage)
{
    Scan scan = ScanPage("", "");
    EXPECT_FALSE(scan.Result.MarkerSeen);
    EXPECT_EQ(scan.Result.Accepted, 0);
}
