// LRC in and out: the stamp forms, what the reader does with real files
// (headers, offsets, repeated stamps, word times, code sets, line ends) and
// what the writer gives back.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
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
        // A line that is only some other tool's tag is no lyrics.
        {{"[t_time:(01:21)]", "[#:x]", "[:x]", "[00:01.00]a"}, {"[:x]", "00:01:000=a"}, 0},
        // Words that would lose their blanks are quoted; a trail byte like "]" is no bracket.
        {{Sjis("[00:01.00]　全角")}, {Sjis("00:01:000=\"　全角\"")}, 0},
        {{Sjis("[00:01.00]ゾ]")}, {Sjis("00:01:000=ゾ]")}, 0}};
    for (const auto& [lrc, body, unread] : cases) {
        LrcReadCounts counts{-1, -1};
        const Lines lines = LrcToZVEK(lrc, counts);
        EXPECT_EQ(Lines(lines.begin() + kTemplateLines, lines.end()), body) << lrc.front();
        EXPECT_EQ(counts.invalidStamps, unread) << lrc.front();
        EXPECT_EQ(counts.changedLines, 0) << lrc.front();
    }
    // A header without a value leaves the one before it; a byte-order mark
    // may still stand before the first line.
    LrcReadCounts counts;
    EXPECT_EQ(LrcToZVEK({"\xEF\xBB\xBF[ti:Song]", "[TI:]"}, counts)[1], "Title=Song");
}

// Every line comes back from the player format with the words it had: quoted
// where reading back would change them. Where the format would take text for
// its own syntax whatever the quoting (a list of quoted strings, a display
// directive, an untimed line that reads as timed), the sign that does it
// becomes its full-width twin, and the line is counted.
TEST(LrcTest, WordsThePlayerFormatWouldMisreadAreKept) {
    const std::tuple<std::string, std::string, int> cases[] = {
        {"[00:01.00]\"Quoted whole line\"", "00:01:000=\"\"\"Quoted whole line\"\"\"", 0},
        {"[00:01.00]\"", "00:01:000=\"\"\"\"", 0},
        {"[00:01.00]\"\"", "00:01:000=\"\"\"\"\"\"", 0},
        {"[00:01.00]say \"hi\"", "00:01:000=say \"hi\"", 0},
        {"[00:01.00]a \"Killer\", \"Bohemian\" Queen", Sjis("00:01:000=a \"Killer\"， \"Bohemian\" Queen"), 1},
        {"[00:01.00]\"a\",\"b\" , \"c\"", Sjis("00:01:000=\"\"\"a\"\"，\"\"b\"\" ， \"\"c\"\"\""), 1},
        {"[00:01.00]a, b", "00:01:000=a, b", 0},
        // Enclosed in quotes, the comma would stand between two.
        {Sjis("[00:01.00],\"x　"), Sjis("00:01:000=\"，\"\"x　\""), 1},
        {"[00:01.00]Color=red #FADE", Sjis("00:01:000=Color＝red ＃FADE"), 1},
        {"[00:01.00]backcolor=1", Sjis("00:01:000=backcolor＝1"), 1},
        {"[00:01.00]1 + 1 = 2 #1", "00:01:000=1 + 1 = 2 #1", 0},
        {"Note: a=b", Sjis("Note： a=b"), 1},
        {"12:30=half past", Sjis("12：30=half past"), 1},
        {"x:y color=z 1:2=3", Sjis("x：y color＝z 1：2=3"), 1},
        {"Time=12:30", "Time=12:30", 0},
        {";1:2=3", ";1:2=3", 0}};
    for (const auto& [lrc, written, changed] : cases) {
        LrcReadCounts counts;
        const Lines lines = LrcToZVEK({"[00:00.00]", lrc}, counts);
        ASSERT_EQ(lines.size(), kTemplateLines + 2) << lrc;
        EXPECT_EQ(lines.back(), written) << lrc;
        EXPECT_EQ(counts.changedLines, changed) << lrc;
    }
    EXPECT_EQ(LrcReadNote({1, 2}),
              "読めないタイムタグが1行にあります（時刻なしの行として残しました）／"
              "歌詞ファイルの書式と重なる記号（, = # :）を2行で全角にしました");
    EXPECT_EQ(LrcReadNote({}), "");
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
    // Shift-JIS has no no-break space: it is a blank, trimmed at the ends.
    std::size_t replaced = 99;
    EXPECT_EQ(LrcTextFromBytes("[ti:\xC2\xA0x\xC2\xA0y\xC2\xA0]\xE6\xAD\x8C", replaced), Sjis("[ti: x y ]歌"));
    EXPECT_EQ(LrcTextFromBytes(std::string("\xFF\xFE\xA0\0x\0\0\xA0", 8), replaced), " x?");  // U+A000 last
    EXPECT_EQ(LrcTextFromBytes(std::string("\xFE\xFF\0\xA0\0x", 6), replaced), " x");
    EXPECT_EQ(replaced, 0u);
    // Two kanji valid in both code sets: the reader says what it assumed.
    replaced = 0;
    std::string note;
    EXPECT_EQ(LrcTextFromBytes(SjisToEucString(Sjis("[00:42.42]手旅")), replaced, &note), Sjis("[00:42.42]手旅"));
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
    // Opened in the window, an LRC file is read in its own code set.
    ASSERT_TRUE(doc.OpenFile(ZVEKLC_TEST_DATA "/lyrics/field/night-euc.lrc"));
    EXPECT_EQ(doc.GetLine(0), Sjis("[ti:夜の街]"));
}

TEST(LrcTest, StampsThatWouldMultiplyTheFileAreRefused) {
    // A chorus with a hundred stamps is read; 2 KB of stamps on long words
    // would come to some fifty times the file, and are refused before any copy.
    std::string chorus, many;
    for (int i = 0; i < 500; ++i) (i < 100 ? chorus : many) += "[0:0" + std::to_string(i % 10) + "]";
    LrcReadCounts counts;
    EXPECT_EQ(LrcToZVEK({chorus + std::string(100, 'x')}, counts).size(), kTemplateLines + 100);
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

// The stamped lines of an LRC text as (time, words), in time order: a
// reader of its own, only for the stamp and tag forms of the files below.
std::vector<std::pair<int, std::string>> StampedLines(const std::string& text) {
    static const std::regex stamp(R"(^\[(\d+:)?(\d+):(\d+)(?:\.(\d{1,3})\d*)?\])"),
        offset(R"(^\[offset:\s*([+-]?\d+)\])");
    static const std::regex spaced(R"( <\d+:\d+(?:\.\d+)?> )"), wordTime(R"(<\d+:\d+(?:\.\d+)?>)");
    std::vector<std::pair<int, std::string>> lines;
    int shift = 0;
    for (std::string line : SplitLines(text)) {
        line = TrimChars(line, " \t");
        std::smatch m;
        if (std::regex_search(line, m, offset)) shift = std::stoi(m[1]);
        std::vector<int> times;
        for (; std::regex_search(line, m, stamp); line = TrimChars(m.suffix().str(), " \t")) {
            const std::string fraction = (m[4].str() + "00").substr(0, 3);
            const int hours = m[1].matched ? std::stoi(m[1]) : 0;
            times.push_back(((hours * 60 + std::stoi(m[2])) * 60 + std::stoi(m[3])) * 1000 + std::stoi(fraction));
        }
        // A word time between blanks leaves one of them.
        for (std::string once; once != line;) line = std::regex_replace(once = line, spaced, " ");
        line = std::regex_replace(line, wordTime, "");
        for (const int time : times) lines.emplace_back(std::max(time - shift, 0), TrimChars(line, " \t"));
    }
    std::stable_sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return lines;
}

// Files in every form found in the test data of public LRC projects and on
// lyrics sites: read as player lyrics and written as LRC again, each stamped
// line keeps its time and words, except the lines counted for the signs the
// player format has its own meaning for.
TEST(LrcTest, FieldFilesComeBackWithTheirWords) {
    const std::pair<const char*, int> files[] = {{"transcribed.lrc", 0},
                                                 {"enhanced.lrc", 0},
                                                 {"site-sjis.lrc", 4},
                                                 {"quotes-utf16.lrc", 3},
                                                 {"night-euc.lrc", 0}};
    for (const auto& [name, changed] : files) {
        std::size_t replaced = 0;
        const std::string text =
            LrcTextFromBytes(test::ReadBytes(std::string(ZVEKLC_TEST_DATA "/lyrics/field/") + name), replaced);
        LrcReadCounts counts;
        int skipped = 0;
        const std::string lrc =
            ZVEKToLrc(LrcToZVEK(SplitLines(text), counts), {.milliseconds = true, .shiftJis = true}, skipped);
        auto before = StampedLines(text), after = StampedLines(lrc);
        ASSERT_EQ(after.size(), before.size()) << name;
        int differ = 0;
        for (std::size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(after[i].first, before[i].first) << name << ' ' << before[i].second;
            if (after[i].second == before[i].second) continue;
            ++differ;
            std::string folded = after[i].second;
            for (const auto& [full, ascii] : {std::pair(Sjis("，"), ","), {Sjis("＝"), "="}, {Sjis("＃"), "#"}})
                for (std::size_t p; (p = FindText(folded, full)) != std::string::npos;) folded.replace(p, 2, ascii);
            EXPECT_EQ(folded, before[i].second) << name;
        }
        EXPECT_LE(differ, changed) << name;
        EXPECT_EQ(counts.changedLines, changed) << name;
    }
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
