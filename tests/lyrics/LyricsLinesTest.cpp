#include <gtest/gtest.h>

#include "TestSupport.h"
#include "lyrics/LyricsLines.h"

namespace zvek {
namespace {

using test::Sjis;

TEST(ParseTimeTag, ReadsTheFormsPlayerFilesUse) {
    struct Case {
        const char* text;
        int expected;
    } cases[] = {
        {" \t01:02:003=Hello", 62003},
        {"1:2", 62000},
        {"00:75:000", 75000},            // fields are not limited to a range
        {"01:02:5", 62005},              // the last field counts milliseconds
        {"100:00:000", 6000000},
        {"00:12.34", 12340},             // WinAmp "mm:ss.xx"
        {"00:12.4", 12400},
        {"00:12.456", 12456},
        {"00:12.4567", 12456},           // further digits dropped
        {"01:02:1a", 62000},             // a field that is not an integer is 0
        {"01: 02:003", 62003},           // leading blanks of a field are allowed
        {"01:02 :003", 60003},           // a trailing blank is not
        {"01:02:12.34", 62000},          // three fields: no fraction reading
        {"00:12.", 0},
        {"5", kNoTime},
        {";01:00", kNoTime},
        {"", kNoTime},
        {"   ", kNoTime},
        {"-1:00", kNoTime},              // negative times are no time
        {"0:-5", kNoTime},
        {"abc:def", 0},
        {"99999999999:00", 0},           // a minutes field past 32 bits is "not an integer"
        {"35791:23:647", 2147483647},    // the largest time
        {"35791:23:648", kNoTime},       // one more does not fit
        {"2147483647:00", kNoTime},
        {"00:00:2147483648", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseTimeTag(c.text), c.expected) << c.text;
}

TEST(ParseTimeTag, IgnoresSeparatorsInsideDoubleByteCharacters) {
    // After a lead byte, ":" and "=" are trail bytes, not separators.
    EXPECT_EQ(ParseTimeTag(Sjis("01：02")), kNoTime);
    EXPECT_EQ(ParseTimeTag("\x83:5"), kNoTime);
    EXPECT_EQ(ParseTimeTag("01:02\x83=5"), 60000);  // seconds field "02\x83=5" is no integer
}

TEST(FormatTimeTag, WritesMinutesSecondsMilliseconds) {
    EXPECT_EQ(FormatTimeTag(0), "00:00:000");
    EXPECT_EQ(FormatTimeTag(62003), "01:02:003");
    EXPECT_EQ(FormatTimeTag(59999), "00:59:999");
    EXPECT_EQ(FormatTimeTag(3600000), "60:00:000");
    EXPECT_EQ(FormatTimeTag(6000000), "100:00:000");
    EXPECT_EQ(FormatTimeTag(2147483647), "35791:23:647");
    for (int t : {0, 1, 999, 1000, 61001, 5999999, 6000001, 123456789})
        EXPECT_EQ(ParseTimeTag(FormatTimeTag(t)), t);
}

TEST(SplitLyricsLine, SeparatesTimeAndWords) {
    std::string words;
    EXPECT_EQ(SplitLyricsLine("01:02:003=Hello", words, false), 62003);
    EXPECT_EQ(words, "Hello");
    EXPECT_EQ(SplitLyricsLine("00:00:000=", words, false), 0);
    EXPECT_EQ(words, "");
    EXPECT_EQ(SplitLyricsLine("01:02", words, false), kNoTime);  // no "=": not a timed line
    EXPECT_EQ(words, "01:02");
    EXPECT_EQ(SplitLyricsLine("; 00:10:000=x", words, false), kNoTime);
    EXPECT_EQ(words, "; 00:10:000=x");
    EXPECT_EQ(SplitLyricsLine("a=b", words, false), kNoTime);
    EXPECT_EQ(words, "a=b");
    EXPECT_EQ(SplitLyricsLine("00:01:000= a = b ", words, false), 1000);
    EXPECT_EQ(words, " a = b ");  // words are not trimmed
}

TEST(SplitLyricsLine, UnquotesUnlessQuotesAreKept) {
    const std::string line = "00:01:000=" + Sjis("\"　Hello\"");
    std::string words;
    EXPECT_EQ(SplitLyricsLine(line, words, false), 1000);
    EXPECT_EQ(words, Sjis("　Hello"));
    SplitLyricsLine(line, words, true);
    EXPECT_EQ(words, Sjis("\"　Hello\""));
    // A list is never unquoted as a whole.
    SplitLyricsLine("00:01:000=\"a\",\"b\"", words, false);
    EXPECT_EQ(words, "\"a\",\"b\"");
}

TEST(QuoteWords, QuotesOnlyWhereBlanksWouldBeLost) {
    struct Case {
        std::string words, expected;
    } cases[] = {
        {"Hello", "Hello"},
        {"", ""},
        {" Hello", "\" Hello\""},
        {"Hello ", "\"Hello \""},
        {"a\"b ", "\"a\"\"b \""},
        {"\"x ", "\"\"\"x \""},                          // quoted again as a whole
        {Sjis("　あ"), Sjis("\"　あ\"")},
        {Sjis("あ　"), Sjis("\"あ　\"")},
        {Sjis("あ　い"), Sjis("あ　い")},
        {"\x82\x81\x40", "\x82\x81\x40"},                  // "ａ@": its last bytes are not a full-width space
        {"\t", "\t"},                                      // only 0x20 counts at the ends
    };
    for (const auto& c : cases) EXPECT_EQ(QuoteWords(c.words), c.expected) << c.words;
}

TEST(UnquoteWords, UndoesQuoting) {
    EXPECT_EQ(UnquoteWords("\"a\"\"b\""), "a\"b");
    EXPECT_EQ(UnquoteWords("\"\"\"\"\"\""), "\"\"");
    EXPECT_EQ(UnquoteWords("\""), "");
    EXPECT_EQ(UnquoteWords("\"\""), "");
    EXPECT_EQ(UnquoteWords("abc"), "abc");
    EXPECT_EQ(UnquoteWords("\"abc"), "\"abc");
    EXPECT_EQ(UnquoteWords(""), "");
    for (const std::string& words : std::vector<std::string>{" a", "b ", "\" q ", Sjis("　あ\"い")})
        EXPECT_EQ(UnquoteWords(QuoteWords(words)), words) << words;
}

TEST(BreakQuotedList, SplitsOnlyBetweenQuotedStrings) {
    struct Case {
        const char* words;
        std::vector<std::string> strings;
    } cases[] = {
        {"\"a\",\"b\"", {"\"a\"", "\"b\""}},
        {"\"a\" ,\t \"b\",\"c\"", {"\"a\"", "\"b\"", "\"c\""}},  // blanks beside the comma go
        {"\"a\", b", {"\"a\", b"}},                               // b is not quoted
        {"a,b", {"a,b"}},
        {"\"\",\"\"", {"\"\"", "\"\""}},
        {"\"a,b\"", {"\"a,b\""}},
        {"\" a \" , \" b \"", {"\" a \"", "\" b \""}},
        {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitQuotedList(c.words), c.strings) << c.words;
    EXPECT_EQ(BreakQuotedList("\"a\" , \"b\""), "\"a\"\r\"b\"");
    EXPECT_EQ(UnquoteValue("\"a\" , \"b\""), "\"a\" , \"b\"");
    EXPECT_EQ(UnquoteValue("\"a, b\""), "a, b");
}

TEST(JoinLyricsLine, WritesOneStringPlainAndSeveralAsAList) {
    EXPECT_EQ(JoinLyricsLine(1000, {"a", "b"}), "00:01:000=\"a\",\"b\"");
    EXPECT_EQ(JoinLyricsLine(0, {"Hello"}), "00:00:000=Hello");
    EXPECT_EQ(JoinLyricsLine(0, {" Hi"}), "00:00:000=\" Hi\"");
    EXPECT_EQ(JoinLyricsLine(0, {"say \"x\"", "y"}), "00:00:000=\"say \"\"x\"\"\",\"y\"");
    EXPECT_EQ(JoinLyricsLine(0, {}), "00:00:000=");

    // What JoinLyricsLine writes, SplitLyricsLine and the list splitting read back.
    std::string words;
    ASSERT_EQ(SplitLyricsLine(JoinLyricsLine(1000, {"a", "say \"x\""}), words, false), 1000);
    std::vector<std::string> back;
    for (const auto& s : SplitQuotedList(words)) back.push_back(UnquoteValue(s));
    EXPECT_EQ(back, (std::vector<std::string>{"a", "say \"x\""}));
}

TEST(MakeLyricsLine, TagsOnlyTimedWords) {
    EXPECT_EQ(MakeLyricsLine(62003, "Hello"), "01:02:003=Hello");
    EXPECT_EQ(MakeLyricsLine(kNoTime, " x "), " x ");
    EXPECT_EQ(MakeLyricsLine(0, Sjis("　Hi")), "00:00:000=" + Sjis("\"　Hi\""));
}

TEST(CleanWords, RemovesBlanksAndFullWidthSpacesAtBothEnds) {
    struct Case {
        std::string string, expected;
    } cases[] = {
        {Sjis(" 　 a　b 　\t"), Sjis("a　b")},
        {Sjis("\"　 a \""), "a"},
        {Sjis("　"), ""},
        {"x", "x"},
        {" ", ""},
        {"\x82\x81\x40", "\x82\x81" "@"},  // "ａ@" keeps both characters
        {"\x81", "\x81"},                   // a lone lead byte stays
        {"\"a\",\"b\"", "\"a\",\"b\""},     // a list is not unquoted
    };
    for (const auto& c : cases) EXPECT_EQ(CleanWords(c.string), c.expected) << c.string;
}

TEST(CharSets, HoldTheTagWritersCharacters) {
    for (std::string c : {" ", ",", "\t", "\"", "0", "9", "(", "]", ">", "=", ":", ";"})
        EXPECT_TRUE(InCharSet(LiteralChars, c)) << c;
    for (const char* utf8 : {"　", "，", "”", "？", "０", "９", "（", "」", "【", "＜", "＞", "＝", "；"})
        EXPECT_TRUE(InCharSet(LiteralChars, Sjis(utf8))) << utf8;
    for (std::string c : {"<", "a", ".", "\x81"}) EXPECT_FALSE(InCharSet(LiteralChars, c)) << c;
    for (const std::string& c : std::vector<std::string>{".", ")", ">", "]", Sjis("、"), Sjis("，"), Sjis("。"), Sjis("．")})
        EXPECT_TRUE(InCharSet(ClosingChars, c)) << c;
    EXPECT_FALSE(InCharSet(ClosingChars, Sjis("「")));
    EXPECT_FALSE(InCharSet(ClosingChars, "\x41"));  // the trail byte of 0x81 0x41 alone is "A"
}

}  // namespace
}  // namespace zvek
