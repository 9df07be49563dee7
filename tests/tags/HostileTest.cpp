// Tag files and pages made to cost as much as possible: one byte repeated,
// long first-character fields, entries as long as half the page. The fast
// searches must give what the plain ones give (compared directly where the
// plain ones finish quickly, against answers known by construction on
// 1 MiB pages), and a long tag file must not be recounted for its progress.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "TestSupport.h"
#include "lyrics/LyricsDocument.h"
#include "tags/Crc32.h"
#include "tags/Fingerprint.h"
#include "tags/TagConversions.h"

namespace zvek {
namespace {

using test::Sjis;

std::uint32_t Crc(std::string_view s) { return CalcCrc32(0, s.data(), s.size()); }

std::string Repeat(std::string_view piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    while (times-- > 0) out += piece;
    return out;
}

constexpr std::size_t kMiB = 1024 * 1024;

// A fragment that stands only at the end of a page of one repeated
// character: every earlier place starts alike and must be checked in full
// by a search that hashes each candidate.
struct Shape {
    const char* name;
    std::string unit;  // the repeated character
    std::string tail;  // what makes the fragment stand only at the end
};

const Shape kShapes[] = {
    {"single-byte", "a", "b"},
    {"double-byte", Sjis("あ"), Sjis("い")},
    {"trail byte like ASCII", Sjis("ア"), "A"},  // 0x83 0x41: "A" inside every character
};

TEST(Hostile, FragmentOfHalfARepeatedPage) {
    for (const Shape& shape : kShapes) {
        for (const std::size_t bytes : {std::size_t{3000}, kMiB}) {
            const std::size_t units = bytes / shape.unit.size();
            const std::string page = Repeat(shape.unit, units) + shape.tail;
            const std::string fragment = Repeat(shape.unit, units / 2) + shape.tail;
            const std::int64_t length = static_cast<std::int64_t>(fragment.size());
            const std::size_t at = page.size() - fragment.size();
            const Haystack haystack(page);
            struct Query {
                std::uint32_t crc;
                std::string firstChar;
                std::string_view expected;
            } queries[] = {
                {Crc(fragment), shape.unit, std::string_view(page).substr(at)},
                {0x1, shape.unit, {}},  // no such fragment: every place is tried
                // A first-character field as long as a line: it is followed, not compared anew at every place.
                {Crc(fragment), Repeat(shape.unit, 200), std::string_view(page).substr(at)},
            };
            for (const Query& q : queries) {
                const std::string_view found = haystack.Find(1, length, q.crc, q.firstChar);
                if (!q.expected.empty()) {
                    EXPECT_EQ(found.data() - haystack.text().data(), q.expected.data() - page.data())
                        << shape.name << " " << bytes;
                }
                EXPECT_EQ(found.size(), q.expected.size()) << shape.name << " " << bytes;
                if (bytes < kMiB) {
                    EXPECT_EQ(std::string(found), FindFragment(page, 1, length, q.crc, q.firstChar))
                        << shape.name << " " << bytes;
                }
            }
        }
    }
}

TEST(Hostile, LongestPrefixOfARunAgainstARepeatedPage) {
    for (const Shape& shape : kShapes) {
        for (const std::size_t bytes : {std::size_t{3000}, kMiB}) {
            const std::string page = Repeat(shape.unit, bytes / shape.unit.size());
            // The whole run but its last character stands everywhere; the
            // run itself nowhere.
            const std::string run = Repeat(shape.unit, 1000 / shape.unit.size()) + shape.tail;
            const Haystack haystack(page);
            const Haystack::Prefix found = haystack.FindLongestPrefix(run);
            EXPECT_EQ(found.position, 1) << shape.name << " " << bytes;
            EXPECT_EQ(found.length, run.size() - shape.tail.size()) << shape.name << " " << bytes;
        }
    }
    // Periodic with a longer period: "ab" repeated, the run breaking off late.
    const std::string page = Repeat("ab", kMiB / 2);
    const Haystack::Prefix found = Haystack(page).FindLongestPrefix(Repeat("ab", 500) + "b");
    EXPECT_EQ(found.position, 1);
    EXPECT_EQ(found.length, 1000u);
}

// Pages of few distinct characters and entries as long as the page, with
// first-character fields of any length: where the searches' shortcuts
// (block starts, long fields, prefixes from the index or from one pass)
// meet the plain searches.
TEST(Hostile, RepetitivePagesFindWhatThePlainSearchesFind) {
    std::mt19937 rng(2024);
    static const char* units[] = {"a", "a", "a", "b", "\x83\x41", "A", "\x82"};
    for (int round = 0; round < 60; ++round) {
        std::string page;
        for (std::size_t n = 200 + rng() % 900; page.size() < n;) {
            const std::string unit = units[rng() % std::size(units)];
            page += Repeat(unit, 1 + rng() % 40);
        }
        const Haystack haystack(page);
        for (int query = 0; query < 20; ++query) {
            const std::size_t start = rng() % page.size();
            const std::string fragment = page.substr(start, 1 + rng() % std::min<std::size_t>(page.size() - start, 300));
            const std::string firstChar = fragment.substr(0, 1 + rng() % std::min<std::size_t>(fragment.size(), 40));
            const std::uint32_t crc = rng() % 4 == 0 ? Crc(fragment) + 1 : Crc(fragment);
            const std::int64_t length = static_cast<std::int64_t>(fragment.size());
            ASSERT_EQ(std::string(haystack.Find(0, length, crc, firstChar)),
                      FindFragment(page, 0, length, crc, firstChar))
                << "round " << round << " query " << query;

            const std::string run = fragment + (rng() % 2 ? "b" : "");
            Haystack::Prefix expected;
            std::vector<std::size_t> ends;
            for (std::size_t end = NextChar(run, 0); end < run.size();) ends.push_back(end = NextChar(run, end));
            for (auto it = ends.rbegin(); it != ends.rend() && expected.position == 0; ++it)
                if (const auto at = FindAtBoundary(page, run.substr(0, *it))) expected = {at, *it};
            const Haystack::Prefix found = haystack.FindLongestPrefix(run);
            ASSERT_EQ(found.position, expected.position) << "round " << round << " query " << query;
            ASSERT_EQ(found.length, expected.length);
        }
    }
}

TEST(Hostile, ProgressCaretMovesAsMoveCaretToDoes) {
    test::FakeHost host;
    LyricsDocument walked(host), moved(host);
    std::vector<std::string> lines;
    for (int i = 0; i < 100; ++i) lines.push_back(std::string(static_cast<std::size_t>(i % 7), 'x'));
    walked.SetLines(lines);
    moved.SetLines(lines);
    LyricsDocument::CaretWalk caret(walked);
    for (int line : {0, 1, 16, 32, 33, 99, 100, 150, 40, -3, 5}) {  // past the end, then back
        caret.MoveTo(line);
        moved.MoveCaretTo(0, line);
        EXPECT_EQ(walked.SelStart(), moved.SelStart()) << line;
        EXPECT_EQ(walked.SelLength(), 0u);
    }
    // Lines changed behind its back: it counts afresh.
    walked.InsertLine(0, "a longer first line");
    moved.InsertLine(0, "a longer first line");
    caret.MoveTo(50);
    moved.MoveCaretTo(0, 50);
    EXPECT_EQ(walked.SelStart(), moved.SelStart());
}

// The whole reader on a hostile tag file: an entry as long as half a 1 MiB
// page of one byte, stale position, and one that matches nowhere.
TEST(Hostile, TagFileAgainstARepeatedPage) {
    test::TempDir dir;
    const std::string page = Repeat("a", kMiB) + "b";
    const std::string fragment = Repeat("a", kMiB / 2) + "b";
    test::WriteBytes(dir / "page.txt", page);
    char entry[64];
    std::snprintf(entry, sizeof entry, "<1,%zu,a,0x%X>", fragment.size(), static_cast<unsigned>(Crc(fragment)));
    test::FakeHost host;
    LyricsDocument doc(host);
    doc.SetFileName(dir / "song.TagLyr");
    doc.SetLines({"[TagLyr]", "TagVer=1000", "LyrFile=song.lyr", "Reference=page.txt", "", "[Spec]", "[Text]",
                  std::string("00:01:000=") + entry, std::string("00:02:000=x<1,") + std::to_string(kMiB / 2) +
                  ",a,0x1>"});
    EXPECT_FALSE(RestoreFromTagFile(doc, dir / "page.txt"));
    EXPECT_EQ(doc.ResultCode, kResultPartial);
    ASSERT_EQ(doc.LineCount(), 4);
    EXPECT_EQ(doc.GetLine(2), "00:01:000=" + fragment);
    EXPECT_EQ(doc.GetLine(3), "00:02:000=x<1," + std::to_string(kMiB / 2) + ",a,0x1>");
}

}  // namespace
}  // namespace zvek
