#include "text/Codec.h"

#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"

namespace zvek {
namespace {

using namespace std::string_literals;
using test::Sjis;

std::u16string Raw(std::string_view bytes) {
    std::u16string out;
    for (unsigned char b : bytes) out += static_cast<char16_t>(kRawBytePua + b);
    return out;
}

void ExpectLossless(const std::string& sjis) {
    EXPECT_EQ(Utf16ToSjis(SjisToUtf16(sjis)), sjis);
    EXPECT_EQ(Utf8ToSjis(SjisToUtf8(sjis), true), sjis);
}

// A character is what glibc's CP932 makes of its code, and goes back to the
// code CP932 picks for it. A pair is one character, or (a duplicate code) two
// raw bytes, or (no character at all) a raw lead byte with the trail byte read
// on its own. Each survives alone and all of them in one text, where every
// kind of pair stands next to every other.
TEST(Codec, EveryPairDecodesAndSurvives) {
    const auto agreesWithIconv = [](const std::string& sjis) {
        const std::string utf8 = test::Iconv("UTF-8", "CP932", sjis);
        EXPECT_EQ(SjisToUtf8(sjis), utf8) << testing::PrintToString(sjis);
        EXPECT_EQ(Utf8ToSjis(utf8), test::Iconv("CP932", "UTF-8", utf8)) << testing::PrintToString(sjis);
    };
    std::string singles;
    for (int b = 0; b < 0xE0; ++b)
        if (b < 0x80 || b > 0xA0) singles += static_cast<char>(b);
    agreesWithIconv(singles);  // ASCII with backslash and tilde, NUL, half-width katakana
    int characters = 0;
    std::string all;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead >= 0xA0 && lead < 0xE0) continue;
        for (int trail = 0; trail < 256; ++trail) {
            const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
            const std::u16string text = SjisToUtf16(pair);
            if (text.size() == 1 && (text[0] & 0xFF00) != kRawBytePua) {
                ++characters;
                agreesWithIconv(pair);
            } else if (text != Raw(pair)) {
                EXPECT_EQ(text, Raw(pair.substr(0, 1)) + SjisToUtf16(pair.substr(1)));
            }
            ExpectLossless(pair);
            all += pair;
        }
    }
    EXPECT_GT(characters, 9000);  // JIS X 0208 alone has 6879
    ExpectLossless(all);
}

TEST(Codec, UnmappableCharactersBecomeQuestionMarks) {
    const struct { std::u16string text; bool raw; std::string sjis; std::size_t replaced; } cases[] = {
        {u"a😀b", true, "a?b", 1},           // beyond the BMP: one "?" per character
        {u"é\uF782", false, "??", 2},        // raw-byte code points are ordinary without rawBytes
        {u"\uF782\uF7A0", true, "\x82\xA0", 0},
        {u"\xD800" u"a\xDC00", true, "?a?", 2},  // lone surrogates
        {u"a\xDBFF", true, "a?", 1},
    };
    for (const auto& c : cases) {
        std::size_t replaced = 99;
        EXPECT_EQ(Utf16ToSjis(c.text, c.raw, &replaced), c.sjis);
        EXPECT_EQ(replaced, c.replaced);
    }
}

TEST(Codec, IllFormedUtf8CountsOncePerSequence) {
    const struct { std::string utf8; bool raw; std::string sjis; std::size_t replaced; } cases[] = {
        {"😀!", false, "?!", 1},
        {"\xC0\x80|\xE0\x80\xAF|\xF0\x80\x80\x80", false, "?|?|?", 3},  // overlong
        {"\xED\xA0\x80|\xED\xBF\xBF", false, "?|?", 2},                   // surrogates
        {"\xF4\x90\x80\x80|\xF8\x88\x80\x80\x80", false, "?|?", 2},       // above U+10FFFF
        {"\x80\xBF|\xFE|\xFF", false, "??|?|?", 4},                       // stray bytes
        {"\xE3\x81" "a\xE3", false, "?a?", 2},                            // truncated
        {"\xEF\x9E\x82\xEF\x9E\xA0", true, "\x82\xA0", 0},                // U+F782 U+F7A0
        {"\xEF\x9E\x82", false, "?", 1},
    };
    for (const auto& c : cases) {
        std::size_t replaced = 99;
        EXPECT_EQ(Utf8ToSjis(c.utf8, c.raw, &replaced), c.sjis) << testing::PrintToString(c.utf8);
        EXPECT_EQ(replaced, c.replaced) << testing::PrintToString(c.utf8);
    }
    EXPECT_EQ(Utf8ToSjis("\xE3\x81"), "?");  // no counter given
    // A view cut inside a sequence is truncated there, whatever follows in memory.
    EXPECT_EQ(Utf8ToSjis(std::string_view("\xE3\x81\x82", 2)), "?");
    EXPECT_FALSE(LooksLikeUtf8(std::string_view("\xE3\x81\x82", 2)));
}

}  // namespace
}  // namespace zvek
