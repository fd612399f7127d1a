#include "fetch/choices.h"
#include "fetch/link_scan.h"
#include "fetch/request_builder.h"
#include "fetch/split_address.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

// Shared with the other tests: positions are found by label, never copied.
int PositionOf(const Choice* table, int count, const char* label)
{
    for (int i = 0; i < count; ++i)
        if (std::strcmp(table[i].Label, label) == 0)
            return i;
    return -1;
}

TEST(BuildRequestAddresses, TokyoAllGenresEveningOnTheBroadcastDay)
{
    const int genre = PositionOf(GenreChoices, GenreChoiceCount, "全て");
    const int time = PositionOf(TimeChoices, TimeChoiceCount, "19:00～25:00");
    const int region = PositionOf(RegionChoices, RegionChoiceCount, "東京");
    struct Case { LocalClock Now; int DaysAhead; const char* Date; } cases[] = {
        // 00:30 keeps the calendar day, 01:00 to 04:59 still belongs to the day before; today names no date.
        {{{2009, 3, 1}, 0, 30}, 1, "20090302"},  {{{2009, 3, 10}, 1, 0}, 1, "20090310"},
        {{{2009, 3, 10}, 4, 59}, 1, "20090310"}, {{{2009, 3, 10}, 5, 0}, 1, "20090311"},
        {{{2009, 1, 1}, 3, 0}, 2, "20090102"},   {{{2008, 12, 31}, 3, 0}, 7, "20090106"},
        {{{2009, 3, 10}, 12, 0}, 0, ""},         {{{2009, 3, 1}, 2, 0}, 0, ""},
        {{{2008, 2, 27}, 12, 0}, 3, "20080301"}, {{{2000, 2, 26}, 12, 0}, 3, "20000229"},
        {{{1900, 2, 26}, 12, 0}, 3, "19000301"},
    };
    for (const Case& c : cases) {
        char slots[3][RequestAddressSize];
        std::memset(slots, 'x', sizeof slots); // stale text from an earlier build must not survive
        ASSERT_TRUE(BuildRequestAddresses({genre, time, region, c.DaysAhead}, c.Now, "127.0.0.1:8080", slots));
        const std::string date = *c.Date ? std::string("&s_hiduke=") + c.Date : "";
        const char* groups[3] = {"0002", "3001", "3003"};
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(std::string(slots[i], strnlen(slots[i], RequestAddressSize)),
                      "http://127.0.0.1:8080/program/gridNormal.php?frame=off&tikicd=" + std::string(groups[i]) +
                          "&way=h&genre=all&hour_select=6&s_jikan=190000" + date);
    }
}

TEST(ScanGridLinks, TakesTheQueriesOfNewCleanLinks)
{
    auto m = [](const std::string& query) { return "<a href=\"/genre/detail.php3?" + query + "\">"; };
    const std::string q100(100, 'q');
    struct Case { const char* Name; std::string Page, Previous; int StopAfter; std::string Taken; } cases[] = {
        {"each query up to its quote", m("id=1") + "x</a>" + m("id=2&d=3"), "", 0, "id=1 id=2&d=3 "},
        {"a repeat only right after itself, also a rejected one", m("1") + m("1") + m("a b") + m("1"), "", 0, "1 1 "},
        {"the previous page's last link is a repeat", m("1") + m("2"), "/genre/detail.php3?1", 0, "2 "},
        {"<br>, a space or an ideographic space rejects", m("a<br>") + m("a b") + m("a　b") + m("ok"), "", 0, "ok "},
        {"100 bytes of query at most, the search going on behind them", m(q100 + "/genre/detail.php3?5"), "", 0,
         q100 + " 5 "},
        {"the page ends at its first zero", m("1") + '\0' + m("2"), "", 0, "1 "},
        {"the acceptor stops the walk", m("1") + m("2") + m("3"), "", 2, "1 2 "},
    };
    for (const Case& c : cases) {
        struct Seen { std::string Taken; int StopAfter, Count = 0; } seen{"", c.StopAfter};
        char previous[DetailPathSize];
        std::strcpy(previous, c.Previous.c_str());
        const int accepted = ScanGridLinks(c.Page.data(), c.Page.size(), previous, [](const char* path, void* s) {
            auto& seen = *static_cast<Seen*>(s);
            seen.Taken += std::string(path + std::strlen("/genre/detail.php3?")) + " ";
            return ++seen.Count != seen.StopAfter;
        }, &seen);
        EXPECT_EQ(seen.Taken + std::to_string(accepted), c.Taken + std::to_string(seen.Count)) << c.Name;
    }
}

TEST(SplitAddress, HostPathNameAndPortCutToTheirBuffers)
{
    const std::pair<const char*, const char*> addresses[] = {
        {"https://example.jp/", "old|old"}, {"http://example.jp/a/b?c=d", "example|/a/b?c="}, {"http://h", "h|"}};
    for (const auto& [address, parts] : addresses) {
        char host[8] = "old", path[8] = "old";
        SplitAddress(address, host, sizeof host, path, sizeof path);
        EXPECT_EQ(std::string(host) + "|" + path, parts) << address;
    }
    const std::pair<const char*, const char*> hosts[] = {
        {"host", "host:80"}, {"h:8080", "h:8080"}, {"h:1", "h:1"}, {"h:65535", "h:65535"}, {"h:65536", "h:-"},
        {"h:0", "h:-"},      {"h:", "h:-"},        {"h:8x", "h:-"}, {"h:000080", "h:-"},   {":80", ":-"},
        {"", ":-"},          {"longname:21", "longn:21"}};
    for (const auto& [text, parts] : hosts) {
        char name[6];
        uint16_t port = 0;
        const bool ok = SplitHostPort(text, name, sizeof name, port);
        EXPECT_EQ(name + (":" + (ok ? std::to_string(port) : "-")), parts) << text;
    }
}
