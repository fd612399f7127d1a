#include "fetch/split_address.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// A buffer of exactly `size` bytes holding `text`, so a write past it shows under the address sanitizer.
static std::unique_ptr<char[]> Holding(size_t size, const std::string& text)
{
    std::unique_ptr<char[]> buffer(new char[size]());
    text.copy(buffer.get(), size - 1);
    return buffer;
}

TEST(SplitAddress, HostAndPath)
{
    struct Case { const char* Address; size_t HostSize, PathSize; const char *Host, *Path; } cases[] = {
        {"http://tv.example.jp/program/gridNormal.php?a=1", 256, 256, "tv.example.jp", "/program/gridNormal.php?a=1"},
        {"http://tv.example.jp", 256, 256, "tv.example.jp", ""}, {"http://host/path", 1, 1, "", ""},
        {"https://h/x", 256, 256, "old host", "old path"},   // not http: both untouched
        {"HTTP://h/x", 256, 256, "old host", "old path"}, {"http:/", 256, 256, "old host", "old path"},
        // Over-long parts are cut to their buffers.
        {"http://abcde/path", 5, 256, "abcd", "/path"}, {"http://host/abc", 256, 4, "host", "/ab"},
    };
    for (const Case& c : cases) {
        auto host = Holding(c.HostSize, "old host"), path = Holding(c.PathSize, "old path");
        SplitAddress(c.Address, host.get(), c.HostSize, path.get(), c.PathSize);
        EXPECT_EQ(std::string(host.get()) + " " + path.get(), std::string(c.Host) + " " + c.Path) << c.Address;
    }
}

TEST(SplitHostPort, NameAndPort)
{
    struct Case { const char* Host; size_t NameSize; bool Ok; const char* Name = ""; uint16_t Port = 0; } cases[] = {
        {"tv.example.jp", 64, true, "tv.example.jp", 80}, {"127.0.0.1:8080", 64, true, "127.0.0.1", 8080},
        {"name:65535", 64, true, "name", 65535},          {"name:1", 64, true, "name", 1},
        {"abcdefgh:81", 4, true, "abc", 81},               // a long name is cut to its buffer
        {"name:0", 64, false}, {"name:70000", 64, false}, {"name:4294967377", 64, false}, {"name:", 64, false},
        {":80", 64, false},    {"", 64, false},           {"name:12x", 64, false},        {"name:-1", 64, false},
    };
    for (const Case& c : cases) {
        auto name = Holding(c.NameSize, "");
        uint16_t port = 0;
        EXPECT_EQ(SplitHostPort(c.Host, name.get(), c.NameSize, port), c.Ok) << c.Host;
        if (c.Ok) {
            EXPECT_EQ(std::string(name.get()) + ":" + std::to_string(port), c.Name + (":" + std::to_string(c.Port)));
        }
    }
}
