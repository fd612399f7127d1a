#include "listing/euc_to_sjis.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace {

// glibc's iconv is the reference: the whole text converted, or nothing when it cannot map some of it.
const iconv_t ToSjis = iconv_open("SHIFT_JIS", "EUC-JP");
const iconv_t ToEuc = iconv_open("EUC-JP", "UTF-8");

std::optional<std::string> Iconv(iconv_t handle, const std::string& text)
{
    std::string out(text.size() * 4 + 8, '\0');
    char* in = const_cast<char*>(text.data());
    char* at = out.data();
    size_t inLeft = text.size(), outLeft = out.size();
    if (iconv(handle, &in, &inLeft, &at, &outLeft) == static_cast<size_t>(-1))
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

std::string Euc(const char8_t* utf8) { return Iconv(ToEuc, reinterpret_cast<const char*>(utf8)).value_or("?"); }
std::string B(unsigned byte) { return std::string(1, static_cast<char>(byte)); }

// Converts a copy in a buffer of exactly its size, so AddressSanitizer sees any step outside it.
std::string Convert(const std::string& euc)
{
    std::unique_ptr<char[]> text(new char[euc.size() + 1]);
    std::memcpy(text.get(), euc.c_str(), euc.size() + 1);
    const size_t length = EucToSjis(text.get());
    EXPECT_EQ(length, std::strlen(text.get())) << "returned length and terminating zero disagree";
    return text.get();
}

} // namespace

TEST(EucToSjis, EveryTwoBytePairAgreesWithIconv)
{
    size_t mapped = 0;
    std::string mixedEuc, mixedSjis;
    static const char* const ascii[] = {"", "<", "a>", "\t9 "};
    for (unsigned c1 = 0xA1; c1 <= 0xFE; ++c1) {
        for (unsigned c2 = 0xA1; c2 <= 0xFE; ++c2) {
            const std::string pair = B(c1) + B(c2), got = Convert(pair);
            ASSERT_EQ(got.size(), 2u) << std::hex << c1 << ' ' << c2; // mapped or not, two bytes stay two
            const std::optional<std::string> sjis = Iconv(ToSjis, pair);
            if (!sjis)
                continue; // a cell JIS X 0208 leaves empty
            ASSERT_EQ(got, *sjis) << std::hex << c1 << ' ' << c2;
            mixedEuc += ascii[++mapped % 4] + pair;
            mixedSjis += ascii[mapped % 4] + *sjis;
        }
    }
    EXPECT_GE(mapped, 6879u) << "JIS X 0208 has 6879 characters";
    EXPECT_EQ(Convert(mixedEuc), mixedSjis); // all of them in one text, ASCII of varying length between
}

TEST(EucToSjis, HalfWidthKatakanaShrinksToIconvsByte)
{
    for (unsigned c2 = 0xA1; c2 <= 0xDF; ++c2) {
        const std::string euc = B(0x8E) + B(c2) + "<BR>";
        EXPECT_EQ(Convert(euc), Iconv(ToSjis, euc).value_or("none")) << std::hex << c2;
    }
}

TEST(EucToSjis, DamagedAndUnusualTextStaysInside)
{
    const std::string x0212 = Euc(u8"丂"); // JIS X 0212: 0x8F and two bytes, no Shift_JIS form
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {Euc(u8"ﾆｭｰｽ<BR>漢"), "ﾆｭｰｽ<BR>漢"},                 // what follows the shrunk bytes moves up
        {Euc(u8"丂<BR>漢"), "〓<BR>漢"},                       // the geta mark stands in
        {Euc(u8"漢") + B(0xB0), "漢"},                         // a lone lead byte at the end is dropped
        {"a" + B(0x8E), "a"},                                  // so is a lone katakana prefix
        {"ab" + x0212.substr(0, 2), "ab"},                     // and a JIS X 0212 character cut short
        {"ab" + x0212.substr(0, 1), "ab"},
        {B(0xB0) + "<BR>", "?<BR>"},                           // a stray byte never swallows a '<'
        {B(0x8E) + B(0xE0) + "x", "??x"},                      // 0x8E before a byte that is no katakana
        {B(0x8F) + "<A>", "?<A>"},
        {B(0x8F) + B(0xB0) + "<", "?" "?<"},                  // 0x8F whose third byte is ASCII
        {B(0xFF) + B(0x80) + B(0xA0) + Euc(u8"　"), "???　"}, // bytes that start no sequence
        {B(0xB0) + B(0xFF) + "a", "??a"},                      // a second byte out of range
    };
    for (const auto& [euc, sjis] : cases)
        EXPECT_EQ(Convert(euc), sjis) << testing::PrintToString(euc);
}
