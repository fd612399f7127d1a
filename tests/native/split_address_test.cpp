#include "fetch/split_address.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

// A buffer of exactly `size` bytes holding `text`, so a write past it is caught.
std::unique_ptr<char[]> Holding(size_t size, const char* text)
{
    std::unique_ptr<char[]> buffer(new char[size]);
    std::memset(buffer.get(), 0, size);
    std::strncpy(buffer.get(), text, size - 1);
    return buffer;
}

}  // namespace

TEST(SplitAddress, HostAndPath)
{
    struct Case {
        const char* Proves;
        const char* Address;
        size_t HostSize, PathSize;
        const char* Host;
        const char* Path;
    };
    const Case cases[] = {
        {"host and path", "http://tv.example.jp/program/gridNormal.php?frame=off", 256, 256, "tv.example.jp",
         "/program/gridNormal.php?frame=off"},
        {"a port stays with the host", "http://127.0.0.1:8080/genre/detail.php3?id=1", 256, 256, "127.0.0.1:8080",
         "/genre/detail.php3?id=1"},
        {"no path leaves an empty path", "http://tv.example.jp", 256, 256, "tv.example.jp", ""},
        {"a bare slash is the path", "http://tv.example.jp/", 256, 256, "tv.example.jp", "/"},
        {"https is not http: both untouched", "https://tv.example.jp/x", 256, 256, "old host", "old path"},
        {"the scheme is compared exactly", "HTTP://tv.example.jp/x", 256, 256, "old host", "old path"},
        {"a short address is untouched", "http:/", 256, 256, "old host", "old path"},
        {"a long host is cut to its buffer", "http://abcdefgh/path", 5, 256, "abcd", "/path"},
        {"a host just one byte too long is cut", "http://abcde/path", 5, 256, "abcd", "/path"},
        {"a long path is cut to its buffer", "http://host/abcdefgh", 256, 4, "host", "/ab"},
        {"a one-byte buffer holds only the terminator", "http://host/path", 1, 1, "", ""},
    };
    for (const Case& c : cases) {
        auto host = Holding(c.HostSize, "old host");
        auto path = Holding(c.PathSize, "old path");
        SplitAddress(c.Address, host.get(), c.HostSize, path.get(), c.PathSize);
        EXPECT_STREQ(host.get(), c.Host) << c.Proves;
        EXPECT_STREQ(path.get(), c.Path) << c.Proves;
    }
}

TEST(SplitHostPort, NameAndPort)
{
    struct Case {
        const char* Proves;
        const char* Host;
        size_t NameSize;
        bool Ok;
        const char* Name;
        uint16_t Port;
    };
    const Case cases[] = {
        {"a plain name uses port 80", "tv.example.jp", 64, true, "tv.example.jp", 80},
        {"name and port", "127.0.0.1:8080", 64, true, "127.0.0.1", 8080},
        {"the highest port", "name:65535", 64, true, "name", 65535},
        {"the lowest port", "name:1", 64, true, "name", 1},
        {"a long name is cut to its buffer", "abcdefgh:81", 4, true, "abc", 81},
        {"port 0 is refused", "name:0", 64, false, nullptr, 0},
        {"a port above 65535 is refused", "name:70000", 64, false, nullptr, 0},
        {"a port far too long is refused", "name:4294967377", 64, false, nullptr, 0},
        {"an empty port is refused", "name:", 64, false, nullptr, 0},
        {"an empty name is refused", ":80", 64, false, nullptr, 0},
        {"an empty host is refused", "", 64, false, nullptr, 0},
        {"trailing junk after the digits is refused", "name:12x", 64, false, nullptr, 0},
        {"a sign is refused", "name:-1", 64, false, nullptr, 0},
    };
    for (const Case& c : cases) {
        auto name = Holding(c.NameSize, "");
        uint16_t port = 0;
        EXPECT_EQ(SplitHostPort(c.Host, name.get(), c.NameSize, port), c.Ok) << c.Proves;
        if (c.Ok) {
            EXPECT_STREQ(name.get(), c.Name) << c.Proves;
            EXPECT_EQ(port, c.Port) << c.Proves;
        }
    }
}
