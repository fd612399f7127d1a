#include "listing/euc_to_sjis.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cstring>
#include <memory>
#include <string>

// Converts a copy in a buffer of exactly its size, so AddressSanitizer sees any step outside it.
static std::string Convert(const std::string& euc)
{
    std::unique_ptr<char[]> text(new char[euc.size() + 1]);
    const size_t length = EucToSjis(std::strcpy(text.get(), euc.c_str()));
    EXPECT_EQ(length, std::strlen(text.get())) << "returned length and terminating zero disagree";
    return text.get();
}

// Every JIS X 0208 pair and every half-width katakana (0x8E and a byte) agree with glibc's iconv, alone and all
// in one text with ASCII of varying length between, so what follows a shrunk katakana must move up.
TEST(EucToSjis, EveryPairAgreesWithIconv)
{
    const iconv_t toSjis = iconv_open("SHIFT_JIS", "EUC-JP");
    size_t mapped = 0;
    std::string mixedEuc, mixedSjis;
    static const char* const ascii[] = {"", "<", "a>", "\t9 "};
    for (unsigned c1 = 0x8E; c1 <= 0xFE; ++c1) {
        for (unsigned c2 = 0xA1; c2 <= 0xFE; ++c2) {
            std::string pair = {static_cast<char>(c1), static_cast<char>(c2)}, sjis(8, '\0');
            const std::string got = Convert(pair);
            ASSERT_TRUE(c1 < 0xA1 || got.size() == 2u) << std::hex << c1 << ' ' << c2; // two bytes stay two
            char *in = pair.data(), *out = sjis.data();
            size_t inLeft = 2, outLeft = sjis.size();
            if (iconv(toSjis, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1))
                continue; // a cell JIS X 0208 leaves empty, or no sequence at all
            sjis.resize(sjis.size() - outLeft);
            ASSERT_EQ(got, sjis) << std::hex << c1 << ' ' << c2;
            mixedEuc += ascii[++mapped % 4] + pair;
            mixedSjis += ascii[mapped % 4] + sjis;
        }
    }
    iconv_close(toSjis);
    EXPECT_GE(mapped, 6879u + 63) << "JIS X 0208 has 6879 characters, half-width katakana 63";
    EXPECT_EQ(Convert(mixedEuc), mixedSjis);
}

// EUC-JP bytes written out: 丂 (JIS X 0212, no Shift_JIS form) is 8F B0 A1, 漢 B4 C1, the ideographic space A1 A1.
TEST(EucToSjis, DamagedAndUnusualTextStaysInside)
{
    const std::string cases[][2] = {
        {"", ""},
        {"\x8F\xB0\xA1<BR>\xB4\xC1", "〓<BR>漢"}, // the geta mark stands in
        {"\xB4\xC1\xB0", "漢"},                  // a lone lead byte at the end is dropped
        {"a\x8E", "a"},                         // so is a lone katakana prefix
        {"ab\x8F\xB0", "ab"},                   // and a JIS X 0212 character cut short
        {"\xB0<BR>", "?<BR>"},                  // a stray byte never swallows a '<'
        {"\x8E\xE0x", "??x"},                   // 0x8E before a byte that is no katakana
        {"\x8F<A>", "?<A>"}, {"\x8F\xB0<", "?" "?<"}, // 0x8F alone or with an ASCII third byte
        {"\xFF\x80\xA0\xA1\xA1", "???　"},       // bytes that start no sequence
        {"\xB0\xFF" "a", "??a"},                // a second byte out of range
    };
    for (const auto& [euc, sjis] : cases)
        EXPECT_EQ(Convert(euc), sjis) << testing::PrintToString(euc);
}
