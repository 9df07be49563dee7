// LRC in and out: the stamp forms, what the reader does with real files
// (headers, offsets, repeated stamps, word times, code sets, line ends) and
// what the writer gives back.
#include <gtest/gtest.h>

#include <tuple>

#include "TestSupport.h"
#include "lyrics/Lrc.h"
#include "lyrics/LyricsDocument.h"
#include "lyrics/LyricsLines.h"
#include "text/Sjis.h"
#include "web/Code.h"

namespace zvek {
namespace {

using test::CrLf;
using test::Sjis;
using Lines = std::vector<std::string>;

constexpr std::size_t kTemplateLines = 15;

TEST(LrcTest, StampForms) {
    const std::pair<const char*, int> times[] = {
        {"00:12.34", 12340},  {"00:12.345", 12345},      {"00:12", 12000},       {"1:02.50", 62500},
        {"00:12:34", 12340},  {"00:01.5", 1500},         {"00:01.05", 1050},     {"00:01.005", 1005},
        {"00:01.0059", 1005}, {" 00 : 12 . 34 ", 12340}, {"125:00.00", 7500000}, {"01:02:03.456", 3723456}};
    for (const auto& [text, ms] : times) EXPECT_EQ(ParseLrcTime(text), ms) << '"' << text << '"';
    // The last: one past 2^31-1 ms.
    for (const char* text :
         {"", "12", "ab:cd", "00:", "00:12.", "1:2:3:4", "+1:00", "ti:Song", "99999999999:00", "35791:23.648"})
        EXPECT_EQ(ParseLrcTime(text), kNoTime) << '"' << text << '"';
}

TEST(LrcTest, LinesBecomeTimedLyrics) {
    // {the LRC lines, the lyrics after the template, the stamps not read}
    const std::tuple<Lines, Lines, int> cases[] = {
        // One line per stamp, sorted; equal times keep their order; untimed
        // lines stay after the timed line before them.
        {{"[123:00.00][00:01.00]Chorus", "[00:10.00]Verse"},
         {"00:01:000=Chorus", "00:10:000=Verse", "123:00:000=Chorus"},
         0},
        {{"[00:02.00]b", "[00:01.00]a", "[00:02.00]c"}, {"00:01:000=a", "00:02:000=b", "00:02:000=c"}, 0},
        {{"intro", "[00:05.00]b", "note", "", "[00:01.00]a"}, {"intro", "00:01:000=a", "00:05:000=b", "note"}, 0},
        // Word times go, blanks around the words too; one between blanks
        // leaves one; a bracket that is no word time stays.
        {{"[00:01.00] <00:01.00>Hel<00:01.50>lo <00:02.00>\t"}, {"00:01:000=Hello"}, 0},
        {{"[00:04.28] chu <00:04.44> chu <00:04.63>  yeah"}, {"00:04:280=chu chu  yeah"}, 0},
        {{"[00:01.00]a <b> c"}, {"00:01:000=a <b> c"}, 0},
        {{"[00:03.00]", "[00:04.00]   "}, {"00:03:000=", "00:04:000="}, 0},  // an empty line clears the display
        {{"[00:01.00]a", "[00:1x.00]broken", "[Chorus]"}, {"00:01:000=a", "[00:1x.00]broken", "[Chorus]"}, 1},
        // Words that would lose their blanks are quoted; a trail byte like "]" is no bracket.
        {{Sjis("[00:01.00]　全角")}, {Sjis("00:01:000=\"　全角\"")}, 0},
        {{Sjis("[00:01.00]ゾ]")}, {Sjis("00:01:000=ゾ]")}, 0}};
    for (const auto& [lrc, body, unread] : cases) {
        int invalid = -1;
        const Lines lines = LrcToZVEK(lrc, invalid);
        EXPECT_EQ(Lines(lines.begin() + kTemplateLines, lines.end()), body) << lrc.front();
        EXPECT_EQ(invalid, unread) << lrc.front();
    }
}

TEST(LrcTest, CodeSetsAreRecognised) {
    // EUC-JP can only be told apart where its bytes are no Shift-JIS, as
    // here: the last byte of "詞" before the CR.
    const std::string sjis = Sjis("[ti:歌詞\r\n");
    const std::pair<const char*, std::string> cases[] = {
        {"UTF-8 with BOM", "\xEF\xBB\xBF[ti:歌詞\r\n"},
        {"UTF-8", "[ti:歌詞\r\n"},
        {"UTF-16LE", std::string("\xFF\xFE[\0t\0i\0:\0\x4C\x6B\x5E\x8A\r\0\n\0", 18)},  // 歌 U+6B4C, 詞 U+8A5E
        {"UTF-16BE", std::string("\xFE\xFF\0[\0t\0i\0:\x6B\x4C\x8A\x5E\0\r\0\n", 18)},
        {"Shift-JIS", sjis},
        {"EUC-JP", SjisToEucString(sjis)}};
    for (const auto& [what, bytes] : cases) {
        std::size_t replaced = 99;
        std::string note = "old";
        EXPECT_EQ(LrcTextFromBytes(bytes, replaced, &note), sjis) << what;
        EXPECT_EQ(std::tuple(replaced, note), std::tuple(0u, "")) << what;
    }
    // Two kanji valid in both code sets: the reader says what it assumed.
    std::size_t replaced = 0;
    std::string note;
    EXPECT_EQ(LrcTextFromBytes(test::Iconv("EUC-JP", "UTF-8", "[00:42.42]手旅"), replaced, &note),
              Sjis("[00:42.42]手旅"));
    EXPECT_EQ(note, "文字コードをEUC-JPと判断しました（どちらとも読めるファイルです）");
}

// What a lyrics site hands out (tests/data/lyrics/morning.lrc): UTF-8 with
// a BOM, old Mac line ends, headers in any case, an offset, a repeated
// chorus, word times and a typo.
TEST(LrcTest, RealWorldFile) {
    test::FakeHost host;
    LyricsDocument doc(host);
    std::size_t replaced = 0;
    doc.SetText(LrcTextFromBytes(test::ReadBytes(ZVEKLC_TEST_DATA "/lyrics/morning.lrc"), replaced));
    doc.SetFileName("/songs/morning.lrc");
    ConvertLrcToZVEK(doc);
    EXPECT_EQ(doc.Text(), test::ReadBytes(ZVEKLC_TEST_DATA "/lyrics/morning.lyr"));
    EXPECT_EQ(doc.FileName(), "/songs/morning.lyr");
    // The broken stamp is counted on the status line.
    EXPECT_EQ(host.status,
              std::vector<std::string>{"読めないタイムタグが1行にあります（時刻なしの行として残しました）"});
    // Converting again: a document without a name keeps none.
    doc.SetFileName("");
    ConvertLrcToZVEK(doc);
    EXPECT_EQ(doc.FileName(), "");
}

TEST(LrcTest, StampsThatWouldMultiplyTheFileAreRefused) {
    // A chorus with a hundred stamps is read; 2 KB of stamps on long words
    // would come to some fifty times the file, and are refused before any copy.
    std::string chorus, many;
    for (int i = 0; i < 500; ++i) (i < 100 ? chorus : many) += "[0:0" + std::to_string(i % 10) + "]";
    int invalid = 0;
    EXPECT_EQ(LrcToZVEK({chorus + std::string(100, 'x')}, invalid).size(), kTemplateLines + 100);
    const std::vector<std::string> lrc = {"[ti:Song]", "", many + std::string(300, 'x'), "[00:01.00]a"};
    // LrcToZVEK's refusal and its message: in the command-line tests.
    test::FakeHost host;
    LyricsDocument doc(host);
    doc.SetLines(lrc);
    doc.SetFileName("many.lrc");
    EXPECT_THROW(ConvertLrcToZVEK(doc), LrcError);
    EXPECT_TRUE(doc.Lines() == lrc);  // no dump of the whole result on failure
    EXPECT_EQ(doc.FileName(), "many.lrc");
    EXPECT_FALSE(doc.Modified || doc.TakeUndoRequest() != LyricsDocument::UndoRequest::None);
}

// Comments, untimed lines and the effect "#fade" are skipped; quoted words
// lose their quotes, a list becomes a stamp each; hundredths are rounded,
// carrying into the minutes; "[00:05.00]" inside the words is no stamp.
TEST(LrcTest, Writing) {
    const Lines lyrics = SplitLines(test::ReadBytes(ZVEKLC_TEST_DATA "/lyrics/writing.lyr"));
    int skipped = -1;
    EXPECT_EQ(ZVEKToLrc(lyrics, {}, skipped), test::ReadBytes(ZVEKLC_TEST_DATA "/lyrics/writing.lrc"));
    EXPECT_EQ(skipped, 3);
    EXPECT_EQ(ZVEKToLrc({"00:59:995=x", "00:01:005=y"}, {.milliseconds = true}, skipped),
              CrLf({"[00:59.995]x", "[00:01.005]y"}));
}

}  // namespace
}  // namespace zvek
