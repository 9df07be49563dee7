#include <gtest/gtest.h>

#include <map>

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

TEST(EncodeWords, ReplacesRunsFoundInThePage) {
    const std::string page = "Hello world, " + Sjis("さくら咲く。春の日に") + " ab<c>\r\n";
    const Haystack haystack(page);
    const std::pair<std::string, std::string> cases[] = {
        // literals stay between entries
        {"Hello, world!", Entry(1, "Hello", "H") + ", " + Entry(7, "world", "w") + "!"},
        // "<" is escaped, ">" is a literal
        {"<c>", "<>c>"},
        // a run not in the page: its first character is literal, the rest tried afresh
        {"xworld", "x" + Entry(7, "world", "w")},
        // the longest prefix that occurs is taken
        {"worldwide", Entry(7, "world", "w") + "wi" /* "wi" is not in the page */ + "de"},
        // ASCII then kana: two runs of different width
        {"ab" + Sjis("さくら"), Entry(FindAtBoundary(page, "ab"), "ab", "a") + Entry(14, Sjis("さくら"), Sjis("さ"))},
        // a closing character ends its run and belongs to it
        {Sjis("咲く。春の"), Entry(20, Sjis("咲く。"), Sjis("咲")) + Entry(26, Sjis("春の"), Sjis("春"))},
        {Sjis("　０１"), Sjis("　０１")},
        {"", ""}};
    for (const auto& [words, expected] : cases) EXPECT_EQ(EncodeWords(words, haystack), expected) << words;
}

TEST(ReadCommaText, SplitsLikeACommaSeparatedList) {
    const std::pair<std::string, Fields> cases[] = {{"57,3,a,0x1", {"57", "3", "a", "0x1"}},
                                                    {" 57 , 3 ,a", {"57", "3", "a"}},
                                                    {"a b,c", {"a", "b", "c"}},  // a blank ends a field too
                                                    {"\"a,b\",\"say \"\"hi\"\"\",c", {"a,b", "say \"hi\"", "c"}},
                                                    {"\"open", {"open"}},
                                                    {"x,\"y\"", {"x", "y"}},
                                                    {"a,", {"a", ""}},
                                                    {"a,,b", {"a", "", "b"}},
                                                    {",", {"", ""}},
                                                    {"", {}},
                                                    {"   ", {}},
                                                    {std::string("a,b\0,c", 6), {"a", "b"}},
                                                    {Sjis("あ,い"), {Sjis("あ"), Sjis("い")}}};
    Fields fields = {"stale", "values"};
    for (const auto& [text, expected] : cases) {
        ReadCommaText(text, fields);
        EXPECT_EQ(fields, expected) << text;
    }
}

TEST(TagEntry, WrittenInUpperCaseHexAndReadSafely) {
    EXPECT_EQ(Entry(57, "abc", "a"), "<57,3,a,0x352441C2>");
    EXPECT_EQ(FormatTagEntry(1, 2, "x", 0xA), "<1,2,x,0xA>");
    // {the text between "<" and ">", position, length, first character, CRC}
    const std::tuple<const char*, std::int32_t, std::int32_t, const char*, std::uint32_t> entries[] = {
        {"57,3,a,0x352441C2", 57, 3, "a", 0x352441C2u},
        {"1,2,x,4294967295", 1, 2, "x", 0xFFFFFFFFu},
        {"1,2,x,0xffffffff", 1, 2, "x", 0xFFFFFFFFu},
        {"12,5", 12, 5, "", 0},  // no K: taken unchecked
        {"-3,5,a,0x1", -3, 5, "a", 1},
        {"+7,3,a,0x1", 7, 3, "a", 1},
        {"2147483647,1,a,0", 2147483647, 1, "a", 0},
        // A CRC that does not fit or is no number counts as 0.
        {"1,2,x,0x100000000", 1, 2, "x", 0},
        {"1,2,x,4294967296", 1, 2, "x", 0},
        {"1,2,x,0x", 1, 2, "x", 0},
        {"1,2,x,-1", 1, 2, "x", 0},
        {"1,2,x,0x1g", 1, 2, "x", 0},
        {"1,2,x,0x1!", 1, 2, "x", 0}};
    Fields fields;
    TagEntry e;
    for (const auto& [inner, position, length, firstChar, crc] : entries) {
        ASSERT_TRUE(ReadTagEntry(inner, e, fields)) << inner;
        EXPECT_EQ(std::tie(e.position, e.length, e.firstChar, e.crc), std::tuple(position, length, firstChar, crc))
            << inner;
    }
    for (const char* notEntry : {"abc", "0,3,a,0x1", "5,0,a,0x1", "5,-1,a,0x1", "99999999999,3,a,0x1",
                                 "5,99999999999,a,0x1", "5", ",", "2147483648,1,a,0", "1-2,3,a,0x1"})
        EXPECT_FALSE(ReadTagEntry(notEntry, e, fields)) << notEntry;
}

// Answers entries at positions 10 and 20; others stay unresolved.
class TableSource : public FragmentSource {
public:
    std::map<std::int32_t, std::string> fragments = {{10, "Hello"}, {20, Sjis("さくら")}};
    std::string_view Resolve(const TagEntry& e) override {
        const auto it = fragments.find(e.position);
        return it == fragments.end() ? std::string_view() : std::string_view(it->second);
    }
};

TEST(DecodeTagLine, ReadsGroupsAndCopiesEverythingElse) {
    TableSource source;
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"00:01:000=<10,5,H,0x1>, <20,6,x,0x2>!", "00:01:000=Hello, " + Sjis("さくら") + "!", true},
        {"a<>b>c", "a<b>c", true},
        {"<abc>", "abc", true},
        {"<0,5,H,0x1>", "0,5,H,0x1", true},  // not an entry: its inner text
        {"x<10,5,H", "x<10,5,H", true},      // no ">": the rest as it is
        {"<99,5,H,0x1> and <10,5,H,0x1>", "<99,5,H,0x1> and Hello", false},
        {Sjis("ア") + "<10,5,H,0x1>", Sjis("ア") + "Hello", true},
        {"", "", true}};
    for (const auto& [line, expected, resolved] : cases) {
        std::string out;
        EXPECT_EQ(DecodeTagLine(line, source, out), resolved) << line;
        EXPECT_EQ(out, expected) << line;
    }
    // Random hostile lines are the tag-line fuzz target's work; here, lines of a megabyte: one of
    // groups, and one without any ">".
    std::string big, out;
    while (big.size() < (1 << 20)) big += "<10,5,H,0x1>";
    EXPECT_TRUE(DecodeTagLine(big, source, out));
    EXPECT_EQ(out.size(), big.size() / 12 * 5);
    EXPECT_TRUE(DecodeTagLine(std::string(1 << 20, '<'), source, out));
}

}  // namespace
}  // namespace zvek
