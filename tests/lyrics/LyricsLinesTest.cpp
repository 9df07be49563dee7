#include <gtest/gtest.h>

#include "TestSupport.h"
#include "lyrics/Conversions.h"
#include "lyrics/LyricsLines.h"
#include "text/Sjis.h"

namespace zvek {
namespace {

using test::Sjis;
using Strings = std::vector<std::string>;

TEST(ParseTimeTag, ReadsTheFormsPlayerFilesUse) {
    // Fields are not limited to a range; the last field counts milliseconds;
    // "mm:ss.xx" is WinAmp's, its further digits dropped, and three fields
    // have no fraction. A field that is no integer (past 32 bits too) is 0;
    // leading blanks of a field are allowed, a trailing one is not.
    const std::pair<std::string, int> fields[] = {{"1:2", 62000},
                                                  {"100:00:000", 6000000},
                                                  {"00:75:000", 75000},
                                                  {"01:02:5", 62005},
                                                  {"01:02:1a", 62000},
                                                  {"abc:def", 0},
                                                  {"01: 02:003", 62003},
                                                  {"01:02 :003", 60003},
                                                  {"99999999999:00", 0},
                                                  {"00:00:2147483648", 0},
                                                  {"35791:23:647", 2147483647},
                                                  {"01:02\x83=5", 60000},
                                                  {" \t01:02:003=Hello", 62003}};
    const std::pair<std::string, int> fractions[] = {
        {"00:12.34", 12340},    {"00:12.4", 12400}, {"00:12.456", 12456}, {"00:12.4567", 12456},
        {"01:02:12.34", 62000}, {"00:12.", 0},      {"00:.5", 0}};
    for (const auto& [text, ms] : fields) EXPECT_EQ(ParseTimeTag(text), ms) << text;
    for (const auto& [text, ms] : fractions) EXPECT_EQ(ParseTimeTag(text), ms) << text;
    // Negative times and those past 32 bits are none; after a lead byte,
    // ":" and "=" are trail bytes, not separators.
    const std::string none[] = {"5",      ";01:00",      "", "   ", "-1:00", "0:-5", "35791:23:648", "2147483647:00",
                                "\x83:5", Sjis("01：02")};
    for (const std::string& text : none) EXPECT_EQ(ParseTimeTag(text), kNoTime) << text;
}

TEST(QuoteWords, QuotesOnlyWhereBlanksWouldBeLostAndUnquotesBack) {
    // Quoted again as a whole; "ａ@" (0x82 0x81 0x40) does not end in a
    // full-width space; only 0x20 counts at the ends.
    const std::pair<std::string, std::string> cases[] = {{"Hello", "Hello"},
                                                         {"", ""},
                                                         {" Hello", "\" Hello\""},
                                                         {"Hello ", "\"Hello \""},
                                                         {"a\"b ", "\"a\"\"b \""},
                                                         {"\"x ", "\"\"\"x \""},
                                                         {Sjis("　あ"), Sjis("\"　あ\"")},
                                                         {Sjis("あ　"), Sjis("\"あ　\"")},
                                                         {Sjis("あ　い"), Sjis("あ　い")},
                                                         {"\x82\x81\x40", "\x82\x81\x40"},
                                                         {"\t", "\t"}};
    for (const auto& [words, quoted] : cases) {
        EXPECT_EQ(QuoteWords(words), quoted) << words;
        EXPECT_EQ(UnquoteWords(quoted), words) << quoted;
    }
    const std::pair<const char*, const char*> unquoted[] = {
        {"\"\"\"\"\"\"", "\"\""}, {"\"", ""}, {"\"\"", ""}, {"\"abc", "\"abc"}};
    for (const auto& [words, expected] : unquoted) EXPECT_EQ(UnquoteWords(words), expected) << words;
}

TEST(BreakQuotedList, SplitsOnlyBetweenQuotedStrings) {
    // Blanks beside the comma go; "b" alone is not quoted.
    const std::pair<const char*, Strings> cases[] = {{"\"a\",\"b\"", {"\"a\"", "\"b\""}},
                                                     {"\"a\" ,\t \"b\",\"c\"", {"\"a\"", "\"b\"", "\"c\""}},
                                                     {"\"a\", b", {"\"a\", b"}},
                                                     {"a,b", {"a,b"}},
                                                     {"\"\",\"\"", {"\"\"", "\"\""}},
                                                     {"\"a,b\"", {"\"a,b\""}},
                                                     {"\" a \" , \" b \"", {"\" a \"", "\" b \""}},
                                                     {"", {}}};
    for (const auto& [words, strings] : cases) EXPECT_EQ(SplitQuotedList(words), strings) << words;
    EXPECT_EQ(BreakQuotedList("\"a\" , \"b\""), "\"a\"\r\"b\"");
    EXPECT_EQ(std::tuple(UnquoteValue("\"a\" , \"b\""), UnquoteValue("\"a, b\"")), std::tuple("\"a\" , \"b\"", "a, b"));
}

// The text conversion's shortcut against its plain steps, and the helpers that
// step back from a line's end against a walk from its start, on every line
// of up to 5 bytes from: blanks, quotes, "=", a lead byte (also as the last
// byte), and bytes that are trails after it (a full-width space is 0x81 0x40).
TEST(TextLineToZVEK, MatchesThePlainStepsOnEveryShortLine) {
    const std::string_view bytes = " \"=,0:a\x81\x40";
    std::vector<std::string> lines{""};
    for (std::size_t i = 0; i < lines.size() && lines[i].size() < 5; ++i)
        for (const char b : bytes) lines.push_back(lines[i] + b);
    for (const std::string& line : lines) {
        std::string steps = RetimeLine(Trim(line));
        NormalizeLine(steps);
        ASSERT_EQ(TextLineToZVEK(line), steps) << line;
        std::size_t last = std::string::npos, begin = line.size(), end = 0;
        for (std::size_t i = 0; i < line.size(); i = NextChar(line, i)) {
            last = i;
            const std::string_view c = std::string_view(line).substr(i, CharSize(line, i));
            if (c != " " && c != kFullWidthSpace) begin = std::min(begin, i), end = i + c.size();
        }
        ASSERT_EQ(LastCharStart(line), last) << line;
        ASSERT_EQ(TrimBlankChars(line), begin < end ? line.substr(begin, end - begin) : "") << line;
    }
}

}  // namespace
}  // namespace zvek
