#include "listing/euc_to_sjis.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace {

// glibc's iconv, the reference the arithmetic mapping is held against.
class Iconv {
public:
    Iconv(const char* to, const char* from) : Handle(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (Usable())
            iconv_close(Handle);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool Usable() const { return Handle != reinterpret_cast<iconv_t>(-1); }

    // The whole text converted, or nothing when iconv cannot map some of it.
    std::optional<std::string> operator()(std::string_view text) const
    {
        iconv(Handle, nullptr, nullptr, nullptr, nullptr);
        std::string out(text.size() * 4 + 8, '\0');
        char* in = const_cast<char*>(text.data());
        size_t inLeft = text.size();
        char* to = out.data();
        size_t outLeft = out.size();
        if (iconv(Handle, &in, &inLeft, &to, &outLeft) == static_cast<size_t>(-1))
            return std::nullopt;
        out.resize(out.size() - outLeft);
        return out;
    }

private:
    iconv_t Handle;
};

std::string Utf8(std::u8string_view text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

std::string ToEuc(std::u8string_view text)
{
    static const Iconv toEuc("EUC-JP", "UTF-8");
    std::optional<std::string> euc = toEuc(Utf8(text));
    EXPECT_TRUE(euc.has_value()) << "test text has no EUC-JP form";
    return euc.value_or("");
}

std::string Byte(unsigned value)
{
    return std::string(1, static_cast<char>(value));
}

std::string Hex(std::string_view bytes)
{
    std::string shown;
    for (unsigned char c : bytes) {
        char part[4];
        std::snprintf(part, sizeof part, "%02X ", c);
        shown += part;
    }
    return shown;
}

// Converts a copy held in a buffer of exactly its length plus the zero, so
// AddressSanitizer sees any step outside the text.
std::string Convert(const std::string& euc, size_t* returned = nullptr)
{
    std::unique_ptr<char[]> text(new char[euc.size() + 1]);
    std::memcpy(text.get(), euc.data(), euc.size());
    text[euc.size()] = 0;
    const size_t length = EucToSjis(text.get());
    EXPECT_EQ(std::strlen(text.get()), length) << "returned length and terminating zero disagree";
    if (returned != nullptr)
        *returned = length;
    return std::string(text.get(), std::strlen(text.get()));
}

} // namespace

TEST(EucToSjis, EveryJisX0208PairAgreesWithIconv)
{
    const Iconv toShiftJis("SHIFT_JIS", "EUC-JP");
    const Iconv toCp932("CP932", "EUC-JP");
    ASSERT_TRUE(toShiftJis.Usable());
    ASSERT_TRUE(toCp932.Usable());

    size_t mapped = 0;
    size_t mismatches = 0;
    size_t codePageDisagreements = 0;
    std::string firstMismatches;
    std::string mixedEuc;
    std::string mixedSjis;
    static const char* const asciiBetween[] = {"", "<", "a>", "\t9 "};
    for (unsigned c1 = 0xA1; c1 <= 0xFE; ++c1) {
        for (unsigned c2 = 0xA1; c2 <= 0xFE; ++c2) {
            const std::string pair = Byte(c1) + Byte(c2);
            const std::string got = Convert(pair);
            // Every pair in this range keeps its two bytes, mapped or not.
            ASSERT_EQ(got.size(), 2u) << Hex(pair);
            const std::optional<std::string> expected = toShiftJis(pair);
            if (!expected)
                continue; // a cell JIS X 0208 leaves empty
            ++mapped;
            if (got != *expected && ++mismatches <= 10)
                firstMismatches += Hex(pair) + "-> " + Hex(got) + "expected " + Hex(*expected) + "\n";
            const std::optional<std::string> cp932 = toCp932(pair);
            if (cp932 && *cp932 != *expected)
                ++codePageDisagreements;
            const char* ascii = asciiBetween[mapped % 4];
            mixedEuc += ascii + pair;
            mixedSjis += ascii + *expected;
        }
    }
    EXPECT_EQ(mismatches, 0u) << firstMismatches;
    EXPECT_EQ(codePageDisagreements, 0u) << "SHIFT_JIS and CP932 map some JIS X 0208 pair differently";
    EXPECT_GE(mapped, 6879u) << "JIS X 0208 has 6879 characters; iconv mapped fewer";
    // The same characters in one text, with ASCII of varying length between them.
    EXPECT_EQ(Convert(mixedEuc), mixedSjis);
}

TEST(EucToSjis, HalfWidthKatakanaAgreesWithIconvAndShrinks)
{
    const Iconv toShiftJis("SHIFT_JIS", "EUC-JP");
    ASSERT_TRUE(toShiftJis.Usable());
    for (unsigned c2 = 0xA1; c2 <= 0xDF; ++c2) {
        const std::string euc = Byte(0x8E) + Byte(c2) + "<BR>";
        const std::optional<std::string> expected = toShiftJis(euc);
        ASSERT_TRUE(expected.has_value()) << Hex(euc);
        size_t length = 0;
        EXPECT_EQ(Convert(euc, &length), *expected) << Hex(euc);
        EXPECT_EQ(length, 5u) << Hex(euc);
    }
}

TEST(EucToSjis, DamagedAndUnusualTextStaysInside)
{
    const std::string jisX0212 = ToEuc(u8"丂");
    ASSERT_EQ(jisX0212.size(), 3u);
    ASSERT_EQ(static_cast<unsigned char>(jisX0212[0]), 0x8F);

    struct Case {
        const char* Name;
        std::string Euc;
        std::string Sjis;
    };
    const Case cases[] = {
        {"empty text", "", ""},
        {"ASCII is left alone", "<TD class=\"genre\">12/31</TD>", "<TD class=\"genre\">12/31</TD>"},
        {"kanji among ASCII", ToEuc(u8"a漢字b　c"), "a漢字b　c"},
        {"half-width katakana shrinks and what follows moves up", ToEuc(u8"ﾆｭｰｽ<BR>漢"), "ﾆｭｰｽ<BR>漢"},
        {"a JIS X 0212 kanji becomes the geta mark and spares what follows",
         ToEuc(u8"丂<BR>漢"), "〓<BR>漢"},
        {"a lead byte at the very end is dropped", ToEuc(u8"漢") + Byte(0xB0), "漢"},
        {"a half-width katakana prefix at the very end is dropped", "a" + Byte(0x8E), "a"},
        {"a JIS X 0212 kanji cut after its second byte is dropped", "ab" + jisX0212.substr(0, 2), "ab"},
        {"a JIS X 0212 prefix alone at the very end is dropped", "ab" + jisX0212.substr(0, 1), "ab"},
        {"a stray byte before ASCII becomes '?' and keeps the ASCII", Byte(0xB0) + "<BR>", "?<BR>"},
        {"0x8E before a byte that is no katakana", Byte(0x8E) + Byte(0xE0) + "x", "??x"},
        {"0x8F before ASCII", Byte(0x8F) + "<A>", "?<A>"},
        {"0x8F whose third byte is ASCII", Byte(0x8F) + Byte(0xB0) + "<", "?" "?<"},
        {"bytes that start no EUC-JP sequence", Byte(0xFF) + Byte(0x80) + Byte(0xA0) + ToEuc(u8"　"), "???　"},
        {"a pair whose second byte is out of range", Byte(0xB0) + Byte(0xFF) + "a", "??a"},
    };
    for (const Case& c : cases) {
        size_t length = 0;
        const std::string got = Convert(c.Euc, &length);
        EXPECT_EQ(Hex(got), Hex(c.Sjis)) << c.Name;
        EXPECT_EQ(length, c.Sjis.size()) << c.Name;
    }
}
