#include "web/Code.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <stdexcept>
#include <string>

#include "support/TestSupport.h"
#include "text/Codec.h"

namespace zvek {
namespace {

using test::Sjis;

#ifndef _WIN32
// glibc's iconv as the outside reference for what a code means: the whole
// input converted, or nothing when any of it is not defined.
std::optional<std::string> Convert(const char* to, const char* from, std::string_view in) {
    try {
        return test::Iconv(to, from, in);
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
}

TEST(CharCode, ShiftJisAndEucJpAgreeWithIconvOnJisX0208) {
    int compared = 0;
    for (unsigned row = 1; row <= 84; ++row) {
        for (unsigned cell = 1; cell <= 94; ++cell) {
            const std::string eucBytes{static_cast<char>(row + 0xA0), static_cast<char>(cell + 0xA0)};
            const auto sjis = Convert("SHIFT_JIS", "EUC-JP", eucBytes);
            if (!sjis || sjis->size() != 2) continue;
            if (Convert("EUC-JP", "SHIFT_JIS", *sjis) != eucBytes) continue;  // not a code both sides define
            const auto euc = static_cast<CharCode>((row + 0xA0) << 8 | (cell + 0xA0));
            const auto code = static_cast<CharCode>(static_cast<unsigned char>((*sjis)[0]) << 8 |
                                                    static_cast<unsigned char>((*sjis)[1]));
            const auto jis = static_cast<CharCode>(euc & 0x7F7F);
            ASSERT_EQ((std::array{SjisToEuc(code), EucToSjis(euc), SjisToJis(code), JisToSjis(jis)}),
                      (std::array{euc, code, jis, code}))
                << "row " << row << " cell " << cell;
            ++compared;
        }
    }
    // JIS X 0208 defines 6879 characters; a broken iconv must not pass as agreement.
    EXPECT_GT(compared, 6800);

    for (unsigned kana = 0xA1; kana <= 0xDF; ++kana) {
        const std::string single(1, static_cast<char>(kana));
        ASSERT_EQ(Convert("EUC-JP", "SHIFT_JIS", single), "\x8E" + single) << std::hex << kana;
        ASSERT_EQ(SjisToEuc(static_cast<CharCode>(kana)), 0x8E00 | kana) << std::hex << kana;
        ASSERT_EQ(EucToSjis(static_cast<CharCode>(0x8E00 | kana)), kana) << std::hex << kana;
    }
}
#endif

TEST(SjisToEucString, ConvertsUpToTheEndOrTheFirstNul) {
    // {what, in, out}
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"kana and kanji", Sjis("あア漢"), "\xA4\xA2\xA5\xA2\xB4\xC1"},
        {"half-width katakana", "\xB1\xDD", "\x8E\xB1\x8E\xDD"},
        {"lone lead byte at the end", "a" + Sjis("あ") + "\x82", "a\xA4\xA2\x82"},
        {"NUL in place of a trail byte", std::string("a\x82\0b", 4), "a\x82"}};
    for (const auto& [what, in, out] : cases) EXPECT_EQ(SjisToEucString(in), out) << what;
}

// ASCII becomes the CP932 form of its full-width character. Half-width
// katakana and their sound marks fold both ways; a mark combines with the
// katakana before it where CP932 has the voiced form.
TEST(WidthFolding, AsciiAndKatakanaFoldBothWaysAsCp932Does) {
    std::string ascii;
    for (char c = 0x20; c <= 0x7E; ++c) {
        ascii += c;
        // Yen sign or backslash stays: the Japanese mapping picks neither full-width form.
        const int expected = c == ' ' ? 0x3000 : c == '\\' ? c : c + 0xFEE0;
        const std::string full = ToFullWidth(std::string(1, c));
        EXPECT_EQ(SjisToUtf16(full), std::u16string(1, static_cast<char16_t>(expected))) << c;
    }
    EXPECT_EQ(ToHalfWidth(ToFullWidth(ascii)), ascii);
    EXPECT_EQ(ToFullWidth("\"'"), "\xFA\x57\xFA\x56");  // of the two forms, the IBM one

    std::string kana;
    for (unsigned b = 0xA1; b <= 0xDF; ++b) kana += static_cast<char>(b);
    // {half, full}
    const std::tuple<std::string, std::string> cases[] = {
        // The last two are the sound marks on their own, so nothing combines.
        {kana, Sjis("。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテト"
                    "ナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン゛゜")},
        {"\xB6\xDE\xB7\xDE\xB8\xDE\xB9\xDE\xBA\xDE\xBB\xDE\xBC\xDE\xBD\xDE\xBE\xDE\xBF\xDE\xC0\xDE\xC1\xDE\xC2\xDE"
         "\xC3\xDE\xC4\xDE\xCA\xDE\xCB\xDE\xCC\xDE\xCD\xDE\xCE\xDE\xCA\xDF\xCB\xDF\xCC\xDF\xCD\xDF\xCE\xDF\xB3\xDE",
         Sjis("ガギグゲゴザジズゼゾダヂヅデドバビブベボパピプペポヴ")},
        {"\xDC\xDE", Sjis("ワ゛")},                                              // ヷ is not in CP932
        {Sjis("じ") + "\xDE", Sjis("じ゛")},                                     // じ ends in the byte of ｶ
        {"\xBA\xDD\xC6\xC1\xCA Hello, 2024!\r\n\t\x7F\x80\xA0\xFD\xFF\r\n\r\n",  // line ends and control bytes
         Sjis("コンニチハ　Ｈｅｌｌｏ，　２０２４！") + "\r\n\t\x7F\x80\xA0\xFD\xFF\r\n\r\n"}};
    for (const auto& [half, full] : cases)
        EXPECT_EQ(std::tuple(ToFullWidth(half), ToHalfWidth(full)), std::tuple(full, half))
            << testing::PrintToString(half);
}

}  // namespace
}  // namespace zvek
