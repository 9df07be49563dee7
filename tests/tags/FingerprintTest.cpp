#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "TestSupport.h"
#include "text/Sjis.h"
#include "tags/Crc32.h"
#include "tags/Fingerprint.h"

namespace zvek {
namespace {

using test::Sjis;

std::uint32_t Crc(std::string_view s) { return CalcCrc32(0, s.data(), s.size()); }

TEST(Crc32, IsTheStandardCrc) {
    EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc("abc"), 0x352441C2u);
    EXPECT_EQ(Crc(""), 0u);
    EXPECT_EQ(CalcCrc32(0x1234u, "x", 0), 0x1234u);
    // Hashed in pieces, a text gives the same value as in one call.
    const std::string text = Sjis("あいうえお and more");
    for (std::size_t cut = 0; cut <= text.size(); ++cut)
        EXPECT_EQ(CalcCrc32(CalcCrc32(0, text.data(), cut), text.data() + cut, text.size() - cut), Crc(text));
}

TEST(Crc32, PieceFromTwoPrefixRegisters) {
    // The register of text[a, b) is reg(text[0, b)) ^ shift_(b - a)(reg(text[0, a))), and
    // the CRC adds the shifted preset: what a search checks a candidate with.
    std::mt19937 rng(99);
    std::string text(3000, '\0');
    for (char& c : text) c = static_cast<char>(rng());
    for (int round = 0; round < 200; ++round) {
        const std::size_t a = rng() % text.size(), b = a + rng() % (text.size() - a + 1);
        Crc32Shift shift(b - a);
        if (round % 2) shift.Tabulate();
        const std::uint32_t piece = Crc32Register(0, text.data(), b) ^ shift(Crc32Register(0, text.data(), a));
        EXPECT_EQ(~(piece ^ shift(0xFFFFFFFFu)), Crc(std::string_view(text).substr(a, b - a))) << a << " " << b;
    }
}

TEST(FirstCharCode, CombinesTheBytesOfADoubleByteCharacter) {
    EXPECT_EQ(FirstCharCode(""), 0u);
    EXPECT_EQ(FirstCharCode("abc"), static_cast<std::uint32_t>('a'));
    EXPECT_EQ(FirstCharCode(Sjis("あい")), 0x82A0u);
    EXPECT_EQ(FirstCharCode("\xB1"), 0xB1u);  // half-width katakana
    EXPECT_EQ(FirstCharCode("\x82"), 0x82u);  // a lead byte alone
}

TEST(FindFragment, PrefersTheStoredPlaceThenTheEarliestMatch) {
    const std::string h = "xx abc yy abc zz";
    const std::uint32_t crc = Crc("abc");
    EXPECT_EQ(FindFragment(h, 4, 3, crc, "a"), "abc");    // at its place
    EXPECT_EQ(FindFragment(h, 11, 3, crc, "a"), "abc");   // the later copy is at its place too
    EXPECT_EQ(FindFragment(h, 1, 3, crc, "a"), "abc");    // stale: searched
    EXPECT_EQ(FindFragment(h, 999, 3, crc, "a"), "abc");  // past the end: searched
    EXPECT_EQ(FindFragment(h, -5, 3, crc, "a"), "abc");   // below 1 counts as 1
    EXPECT_EQ(FindFragment(h, 4, 3, crc + 1, "a"), "");
    EXPECT_EQ(FindFragment(h, 4, 3, crc, "b"), "");       // wrong first character
    EXPECT_EQ(FindFragment(h, 15, 5, Crc("zz"), "z"), "");  // cut at the end: too short
}

TEST(FindFragment, EmptyFirstCharacterTakesTheStoredPlaceUnchecked) {
    EXPECT_EQ(FindFragment("hello world", 7, 5, 0, ""), "world");
    EXPECT_EQ(FindFragment("hello world", 7, 99, 0, ""), "world");
    EXPECT_EQ(FindFragment("hello world", 12, 5, 0, ""), "");  // past the end: nothing
}

TEST(FindFragment, MatchesOnlyOnCharacterBoundaries) {
    // "ア" is 0x83 0x41: its trail byte is "A". The search must not take it.
    const std::string h = Sjis("ア") + "BC AB";
    const std::string fragment = "AB";
    EXPECT_EQ(FindFragment(h, 1, 2, Crc(fragment), "A"), "AB");
    EXPECT_EQ(FindAtBoundary(h, "AB"), 6);
    EXPECT_EQ(FindAtBoundary(h, "ABC"), 0);
    // The search stops when its cursor stands on a zero byte.
    const std::string withNul = std::string("\0abc", 4);
    EXPECT_EQ(FindFragment(withNul, 1, 3, Crc("abc"), "a"), "");
    EXPECT_EQ(FindFragment(withNul, 2, 3, Crc("abc"), "a"), "abc");  // the stored place still counts
    EXPECT_EQ(FindFragment(std::string("xa\0abc", 6), 1, 3, Crc("abc"), "a"), "");  // after "a" comes "\0"
    EXPECT_EQ(FindFragment(std::string("x\0abc", 6), 1, 3, Crc("abc"), "a"), "abc");
}

// Random texts over a small alphabet of single and double-byte characters,
// so that matches, near misses and trail bytes that look like ASCII abound.
std::string RandomText(std::mt19937& rng, std::size_t chars) {
    static const char* alphabet[] = {"a", "b", "A", "\x83\x41", "\x83\x42", "\x82\xa0", "\x82\x41", "\xB1", "\xDE",
                                     " ", "\x81\x40", "\x81"};
    std::string text;
    for (std::size_t i = 0; i < chars; ++i) text += alphabet[rng() % std::size(alphabet)];
    if (rng() % 8 == 0) text.insert(rng() % (text.size() + 1), 1, '\0');
    return text;
}

TEST(Haystack, FindsWhatThePlainSearchFinds) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 300; ++round) {
        const std::string text = RandomText(rng, 1 + rng() % 200);
        const Haystack haystack(text);
        for (int query = 0; query < 40; ++query) {
            // Entries taken from the text itself (so some match), or made up.
            const std::string source = rng() % 4 == 0 ? RandomText(rng, 8) : text;
            const std::size_t start = rng() % source.size();
            const std::size_t length = 1 + rng() % 6;
            const std::string fragment = source.substr(start, length);
            const std::int64_t position = static_cast<std::int64_t>(rng() % (text.size() + 3)) - 1;
            const std::string firstChar = rng() % 10 == 0 ? fragment.substr(0, 1)
                                                         : fragment.substr(0, CharSize(fragment, 0));
            const std::uint32_t crc = Crc(fragment);
            ASSERT_EQ(std::string(haystack.Find(position, static_cast<std::int64_t>(fragment.size()), crc, firstChar)),
                      FindFragment(text, position, static_cast<std::int64_t>(fragment.size()), crc, firstChar))
                << "round " << round << " query " << query;
        }
    }
}

TEST(Haystack, LongestPrefixIsWhatShorteningAndSearchingFinds) {
    std::mt19937 rng(777);
    for (int round = 0; round < 300; ++round) {
        const std::string text = RandomText(rng, 1 + rng() % 300);
        const Haystack haystack(text);
        for (int query = 0; query < 40; ++query) {
            std::string run = RandomText(rng, 2 + rng() % 6);
            if (rng() % 3 == 0) {  // one width throughout, as the writer's runs are
                const char* chars = rng() % 2 ? "abA " : "\x83\x41\x82\xa0\x83\x42";
                const std::size_t size = chars[0] == 'a' ? 1 : 2, count = std::strlen(chars) / size;
                run.clear();
                for (std::size_t n = 2 + rng() % 8; n > 0; --n) run.append(chars + size * (rng() % count), size);
            } else if (rng() % 2) {  // often a piece of the text, perhaps with a different tail
                const std::size_t start = rng() % text.size();
                run = text.substr(start, 2 + rng() % 10) + (rng() % 2 ? "b" : "");
            }
            run.erase(std::remove(run.begin(), run.end(), '\0'), run.end());
            if (run.empty()) continue;
            // The plain way: shorten the run one character at a time.
            std::vector<std::size_t> ends;
            for (std::size_t end = NextChar(run, 0); end < run.size();) ends.push_back(end = NextChar(run, end));
            Haystack::Prefix expected;
            for (auto it = ends.rbegin(); it != ends.rend(); ++it) {
                if (const auto at = FindAtBoundary(text, run.substr(0, *it))) {
                    expected = {at, *it};
                    break;
                }
            }
            const Haystack::Prefix found = haystack.FindLongestPrefix(run);
            ASSERT_EQ(found.position, expected.position) << "round " << round << " query " << query;
            ASSERT_EQ(found.length, expected.length);
        }
    }
}

}  // namespace
}  // namespace zvek
