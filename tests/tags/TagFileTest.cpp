#include <gtest/gtest.h>

#include <map>
#include <random>

#include "TestSupport.h"
#include "tags/Crc32.h"
#include "tags/Fingerprint.h"
#include "tags/TagFile.h"

namespace zvek {
namespace {

using test::Sjis;
using Fields = std::vector<std::string>;

std::string Entry(std::int64_t position, std::string_view fragment, std::string_view firstChar) {
    return FormatTagEntry(position, fragment.size(), firstChar, CalcCrc32(0, fragment.data(), fragment.size()));
}

TEST(FormatTagEntry, WritesUpperCaseHex) {
    EXPECT_EQ(Entry(57, "abc", "a"), "<57,3,a,0x352441C2>");
    EXPECT_EQ(FormatTagEntry(1, 2, "x", 0xA), "<1,2,x,0xA>");
}

TEST(EncodeWords, ReplacesRunsFoundInThePage) {
    const std::string page = "Hello world, " + Sjis("さくら咲く。春の日に") + " ab<c>\r\n";
    const Haystack haystack(page);
    struct Case {
        std::string words, expected;
    } cases[] = {
        // literals stay between entries
        {"Hello, world!", Entry(1, "Hello", "H") + ", " + Entry(7, "world", "w") + "!"},
        // "<" is escaped, ">" is a literal
        {"<c>", "<>c>"},
        // a single character between literals stays literal
        {"(a)", "(a)"},
        // a run not in the page: its first character is literal, the rest tried afresh
        {"xworld", "x" + Entry(7, "world", "w")},
        // the longest prefix that occurs is taken
        {"worldwide", Entry(7, "world", "w") + "wi" /* "wi" is not in the page */ + "de"},
        // ASCII then kana: two runs of different width
        {"ab" + Sjis("さくら"), Entry(FindAtBoundary(page, "ab"), "ab", "a") + Entry(14, Sjis("さくら"), Sjis("さ"))},
        // a closing character ends its run and belongs to it
        {Sjis("咲く。春の"), Entry(20, Sjis("咲く。"), Sjis("咲")) + Entry(26, Sjis("春の"), Sjis("春"))},
        // control bytes are carried literally
        {std::string("\x01") + "Hello", "\x01" + Entry(1, "Hello", "H")},
        {Sjis("　０１"), Sjis("　０１")},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(EncodeWords(c.words, haystack), c.expected) << c.words;
}

TEST(EncodeWords, FindsOnlyWholeCharacters) {
    // "ア" is 0x83 0x41: the "A" of its trail byte is no place for a run "AB".
    const Haystack haystack(Sjis("ア") + "B");
    EXPECT_EQ(EncodeWords("AB", haystack), "AB");
}

TEST(ReadCommaText, SplitsLikeACommaSeparatedList) {
    struct Case {
        std::string text;
        Fields fields;
    } cases[] = {
        {"57,3,a,0x1", {"57", "3", "a", "0x1"}},
        {" 57 , 3 ,a", {"57", "3", "a"}},
        {"a b,c", {"a", "b", "c"}},  // a blank ends a field too
        {"\"a,b\",\"say \"\"hi\"\"\",c", {"a,b", "say \"hi\"", "c"}},
        {"a,", {"a", ""}},
        {"a,,b", {"a", "", "b"}},
        {",", {"", ""}},
        {"", {}},
        {"   ", {}},
        {"\"open", {"open"}},
        {std::string("a,b\0,c", 6), {"a", "b"}},
        {Sjis("あ,い"), {Sjis("あ"), Sjis("い")}},
    };
    Fields fields = {"stale", "values"};
    for (const auto& c : cases) {
        ReadCommaText(c.text, fields);
        EXPECT_EQ(fields, c.fields) << c.text;
    }
}

TEST(ReadTagEntry, ReadsNumbersSafely) {
    Fields fields;
    TagEntry e;
    EXPECT_TRUE(ReadTagEntry("57,3,a,0x352441C2", e, fields));
    EXPECT_EQ(e.position, 57);
    EXPECT_EQ(e.length, 3);
    EXPECT_EQ(e.firstChar, "a");
    EXPECT_EQ(e.crc, 0x352441C2u);
    EXPECT_TRUE(ReadTagEntry("1,2,x,4294967295", e, fields));
    EXPECT_EQ(e.crc, 0xFFFFFFFFu);
    EXPECT_TRUE(ReadTagEntry("1,2,x,0xffffffff", e, fields));
    EXPECT_EQ(e.crc, 0xFFFFFFFFu);
    for (const char* crc : {"0x100000000", "4294967296", "0x", "12z", "-1"}) {
        EXPECT_TRUE(ReadTagEntry(std::string("1,2,x,") + crc, e, fields));
        EXPECT_EQ(e.crc, 0u) << crc;
    }
    EXPECT_TRUE(ReadTagEntry("12,5", e, fields));  // no K: taken unchecked
    EXPECT_EQ(e.firstChar, "");
    EXPECT_TRUE(ReadTagEntry("-3,5,a,0x1", e, fields));
    EXPECT_EQ(e.position, -3);
    for (const char* notEntry : {"abc", "0,3,a,0x1", "5,0,a,0x1", "5,-1,a,0x1", "99999999999,3,a,0x1",
                                 "5,99999999999,a,0x1", "5", ",", "2147483648,1,a,0"})
        EXPECT_FALSE(ReadTagEntry(notEntry, e, fields)) << notEntry;
    EXPECT_TRUE(ReadTagEntry("2147483647,1,a,0", e, fields));
}

// Answers entries from a table keyed by position; unknown ones stay unresolved.
class TableSource : public FragmentSource {
public:
    std::map<std::int32_t, std::string> fragments;
    std::string_view Resolve(const TagEntry& e) override {
        const auto it = fragments.find(e.position);
        return it == fragments.end() ? std::string_view() : std::string_view(it->second);
    }
};

TEST(DecodeTagLine, ReadsGroupsAndCopiesEverythingElse) {
    TableSource source;
    source.fragments = {{10, "Hello"}, {20, Sjis("さくら")}};
    struct Case {
        std::string line, expected;
        bool resolved;
    } cases[] = {
        {"00:01:000=<10,5,H,0x1>, <20,6,x,0x2>!", "00:01:000=Hello, " + Sjis("さくら") + "!", true},
        {"a<>b>c", "a<b>c", true},
        {"<abc>", "abc", true},                 // not an entry: its inner text
        {"<0,5,H,0x1>", "0,5,H,0x1", true},
        {"x<10,5,H", "x<10,5,H", true},         // no ">": the rest as it is
        {"<99,5,H,0x1> and <10,5,H,0x1>", "<99,5,H,0x1> and Hello", false},
        {Sjis("ア") + "<10,5,H,0x1>", Sjis("ア") + "Hello", true},
        {"", "", true},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(DecodeTagLine(c.line, source, out), c.resolved) << c.line;
        EXPECT_EQ(out, c.expected) << c.line;
    }
}

TEST(DecodeTagLine, SurvivesHostileLines) {
    TableSource source;
    source.fragments = {{1, "x"}};
    std::mt19937 rng(99);
    const std::string pieces[] = {"<", ">", ",", "\"", "0x", "1", "99999999999999999999", " ", "\x81", "a", "\0", "-"};
    for (int round = 0; round < 2000; ++round) {
        std::string line;
        const int n = static_cast<int>(rng() % 40);
        for (int i = 0; i < n; ++i) line += pieces[rng() % std::size(pieces)];
        std::string out;
        DecodeTagLine(line, source, out);
    }
    // A 1 MB line of groups and one without any ">".
    std::string big;
    while (big.size() < (1 << 20)) big += "<1,1,x,0x8CDC1683>";
    std::string out;
    EXPECT_TRUE(DecodeTagLine(big, source, out));
    EXPECT_EQ(out.size(), big.size() / 18);
    out.clear();
    EXPECT_TRUE(DecodeTagLine(std::string(1 << 20, '<'), source, out));
}

}  // namespace
}  // namespace zvek
