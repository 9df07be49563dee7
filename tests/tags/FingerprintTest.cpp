// The CRC and the fragment searches: fixed cases, the fast searches against
// the plain ones on random and repetitive pages, and pages made to cost as
// much as possible (one byte repeated, entries as long as half the page,
// long first-character fields), checked on 1 MiB pages against answers
// known by construction.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "TestSupport.h"
#include "lyrics/LyricsDocument.h"
#include "tags/Crc32.h"
#include "tags/Fingerprint.h"
#include "tags/TagConversions.h"
#include "tags/TagFile.h"
#include "text/Sjis.h"

namespace zvek {
namespace {

using test::Sjis;

constexpr std::size_t kMiB = 1024 * 1024;

std::uint32_t Crc(std::string_view s) { return CalcCrc32(0, s.data(), s.size()); }

// The plain way to the longest prefix: shorten the run one character at a time.
std::pair<std::int64_t, std::size_t> PlainLongestPrefix(std::string_view text, std::string_view run) {
    std::vector<std::size_t> ends;
    for (std::size_t end = NextChar(run, 0); end < run.size();) ends.push_back(end = NextChar(run, end));
    for (auto it = ends.rbegin(); it != ends.rend(); ++it)
        if (const auto at = FindAtBoundary(text, run.substr(0, *it))) return {at, *it};
    return {0, 0};
}

TEST(Crc32, IsTheStandardCrcInOnePieceOrMany) {
    EXPECT_EQ(std::tuple(Crc("123456789"), Crc("")), std::tuple(0xCBF43926u, 0u));
    const std::string text = Sjis("あいうえお and more");
    for (std::size_t cut = 0; cut <= text.size(); ++cut)
        EXPECT_EQ(CalcCrc32(CalcCrc32(0, text.data(), cut), text.data() + cut, text.size() - cut), Crc(text));
}

TEST(FindFragment, PrefersTheStoredPlaceThenTheEarliestMatchAtACharacterBoundary) {
    const std::string h = "xx abc yy abc zz";
    const std::uint32_t abc = Crc("abc");
    // "ア" is 0x83 0x41: its trail byte is "A". The search must not take it.
    const std::string kana = Sjis("ア") + "BC AB";
    // {page text, stored position, length, CRC, first character, the fragment found}
    const std::tuple<std::string, std::int64_t, std::int64_t, std::uint32_t, const char*, const char*> cases[] = {
        {h, 4, 3, abc, "a", "abc"},
        {h, 11, 3, abc, "a", "abc"},  // at its place, the later copy too
        {h, 1, 3, abc, "a", "abc"},
        {h, 999, 3, abc, "a", "abc"},  // stale or past the end: searched
        {h, -5, 3, abc, "a", "abc"},   // below 1 counts as 1
        {h, 4, 3, abc + 1, "a", ""},
        {h, 4, 3, abc, "b", ""},                                                  // wrong CRC, wrong first character
        {h, 15, 5, Crc("zz"), "z", ""},                                           // cut at the end: too short
        {h, 1, 1, Crc("y"), "z", ""},                                             // the last candidate fails too
        {std::string(Haystack::kBlock - 3, 'x') + "abc", 1, 3, abc, "a", "abc"},  // the text fills whole blocks
        // No first character: the stored place is taken unchecked.
        {"hello world", 7, 5, 0, "", "world"},
        {"hello world", 7, 99, 0, "", "world"},
        {"hello world", 12, 5, 0, "", ""},
        {kana, 1, 2, Crc("AB"), "A", "AB"},
        // The search stops when its cursor stands on a zero byte; the stored place still counts.
        {std::string("\0abc", 4), 1, 3, abc, "a", ""},
        {std::string("\0abc", 4), 2, 3, abc, "a", "abc"},
        {std::string("xa\0abc", 6), 1, 3, abc, "a", ""},
        {std::string("x\0abc", 6), 1, 3, abc, "a", "abc"}};
    for (const auto& [text, position, length, crc, firstChar, expected] : cases) {
        EXPECT_EQ(FindFragment(text, position, length, crc, firstChar), expected) << text << " @" << position;
        EXPECT_EQ(Haystack(text).Find(position, length, crc, firstChar), expected) << text << " @" << position;
    }
    EXPECT_EQ(std::tuple(FindAtBoundary(kana, "AB"), FindAtBoundary(kana, "ABC")), std::tuple(6, 0));
}

// Random texts over a small alphabet of single and double-byte characters,
// so that matches, near misses and trail bytes that look like ASCII abound.
std::string RandomText(std::mt19937& rng, std::size_t chars) {
    static const char* alphabet[] = {"a",        "b",    "A",    "\x83\x41", "\x83\x42", "\x82\xa0",
                                     "\x82\x41", "\xB1", "\xDE", " ",        "\x81\x40", "\x81"};
    std::string text;
    for (std::size_t i = 0; i < chars; ++i) text += alphabet[rng() % std::size(alphabet)];
    if (rng() % 8 == 0) text.insert(rng() % (text.size() + 1), 1, '\0');
    return text;
}

// Pages of few distinct characters in long runs: where the searches'
// shortcuts (block starts, long fields, prefixes from the index or from one
// pass) meet the plain searches.
std::string RepetitiveText(std::mt19937& rng) {
    static const char* units[] = {"a", "a", "a", "b", "\x83\x41", "A", "\x82"};
    std::string text;
    for (std::size_t n = 200 + rng() % 900; text.size() < n;)
        for (std::size_t times = 1 + rng() % 40, unit = rng() % std::size(units); times-- > 0;) text += units[unit];
    return text;
}

TEST(Haystack, FindsWhatThePlainSearchesFind) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 360; ++round) {
        const bool repetitive = round % 6 == 0;
        const std::string text = repetitive ? RepetitiveText(rng) : RandomText(rng, 1 + rng() % 300);
        const Haystack haystack(text);
        for (int query = 0; query < 40; ++query) {
            // Entries taken from the text itself (so some match), or made up; on repetitive pages
            // as long as a line, with a first-character field of any length.
            const std::string source = !repetitive && rng() % 4 == 0 ? RandomText(rng, 8) : text;
            const std::size_t start = rng() % source.size();
            const std::string fragment = source.substr(start, 1 + rng() % (repetitive ? 300 : 6));
            std::string firstChar = fragment.substr(0, CharSize(fragment, 0));
            if (repetitive) firstChar = fragment.substr(0, 1 + rng() % std::min<std::size_t>(fragment.size(), 40));
            else if (rng() % 10 == 0) firstChar = fragment.substr(0, 1);
            const std::uint32_t crc = Crc(fragment) + (rng() % 4 == 0 && repetitive);
            const std::int64_t position = static_cast<std::int64_t>(rng() % (text.size() + 3)) - 1;
            ASSERT_EQ(std::string(haystack.Find(position, std::ssize(fragment), crc, firstChar)),
                      FindFragment(text, position, std::ssize(fragment), crc, firstChar))
                << "round " << round << " query " << query;

            // Runs: a piece of the text, perhaps with a different tail, or made up.
            std::string run =
                repetitive || rng() % 2 ? fragment + (rng() % 2 ? "b" : "") : RandomText(rng, 2 + rng() % 6);
            run.erase(std::remove(run.begin(), run.end(), '\0'), run.end());
            if (run.empty()) continue;
            const Haystack::Prefix found = haystack.FindLongestPrefix(run);
            ASSERT_EQ(std::pair(found.position, found.length), PlainLongestPrefix(text, run))
                << "round " << round << " query " << query;
        }
    }
}

// The whole reader on a hostile tag file: an entry as long as half a 1 MiB
// page of one byte, stale position, and one that matches nowhere.
TEST(Hostile, TagFileAgainstARepeatedPage) {
    test::TempDir dir;
    const std::string fragment = std::string(kMiB / 2, 'a') + "b";
    test::WriteBytes(dir / "page.txt", std::string(kMiB, 'a') + "b");
    const std::string unmatched = "00:02:000=x<1," + std::to_string(kMiB / 2) + ",a,0x1>";
    test::FakeHost host;
    LyricsDocument doc(host);
    doc.SetLines({"[TagLyr]", "TagVer=1000", "LyrFile=song.lyr", "Reference=page.txt", "", "[Spec]", "[Text]",
                  "00:01:000=" + FormatTagEntry(1, fragment.size(), "a", Crc(fragment)), unmatched});
    EXPECT_FALSE(RestoreFromTagFile(doc, dir / "page.txt"));
    EXPECT_EQ(doc.ResultCode, kResultPartial);
    EXPECT_EQ(doc.Lines(), (std::vector<std::string>{"[Spec]", "[Text]", "00:01:000=" + fragment, unmatched}));
}

}  // namespace
}  // namespace zvek
