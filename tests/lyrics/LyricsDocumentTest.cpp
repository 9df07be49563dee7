#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "lyrics/Conversions.h"
#include "lyrics/LyricsDocument.h"
#include "platform/Files.h"
#include "platform/Waitcur.h"

namespace zvek {
namespace {

using test::CrLf;
using test::Sjis;
using Lines = std::vector<std::string>;

Lines WithTemplate(const Lines& text) {
    Lines lines = {"[Spec]",
                   "Title=",
                   "Artist=",
                   "Lyrics=",
                   "Music=",
                   "Presenter=",
                   "Comment=",
                   "",
                   "Size=246,38",
                   "Adjust=0",
                   Sjis("Font=\"ＭＳ Ｐゴシック\",-16,SHIFTJIS,Normal"),
                   "Alignment=Center",
                   "WordWrap=1",
                   "",
                   "[Text]"};
    lines.insert(lines.end(), text.begin(), text.end());
    return lines;
}

class DocumentTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::FakeHost host;
    LyricsDocument doc{host};
};

TEST_F(DocumentTest, PositionsCountLineBreaksAsTwoCharacters) {
    doc.SetLines({"abc", "", Sjis("あい")});
    const std::tuple<std::size_t, int, int> cases[] = {{3, 0, 3}, {5, 1, 0}, {7, 2, 0}, {9, 2, 2}};
    for (const auto& [pos, line, col] : cases) {
        EXPECT_EQ(std::pair(doc.PosToLineCol(pos).line, doc.PosToLineCol(pos).col), std::pair(line, col)) << pos;
        EXPECT_EQ(doc.LineColToPos(col, line), pos);
    }

    doc.SetLines({"abc", "de", "f"});
    // A selection of exactly the line break after "abc" (3, 2) still counts as line 0.
    const std::tuple<std::size_t, std::size_t, int> selections[] = {{4, 0, 0}, {5, 0, 1}, {3, 2, 0},
                                                                    {1, 2, 0}, {1, 5, 1}, {10, 0, 2}};
    for (const auto& [start, length, line] : selections) {
        doc.SetSelection(start, length);
        EXPECT_EQ(doc.CurrentLine(), line) << start << "+" << length;
    }
    EXPECT_EQ(doc.GetLine(-1), "f");  // -1: the caret's line
    doc.SetLine(-1, "g");
    EXPECT_EQ(doc.Lines(), (Lines{"abc", "de", "g"}));
}

TEST_F(DocumentTest, SaveAsProposesANameAndRemembersTheFolder) {
    // {the document's first line, its name, the name proposed, the filter, the extension}
    const std::tuple<const char*, const char*, const char*, int, const char*> cases[] = {
        {"title=My Song", "", "My Song.lyr", 1, "lyr"},
        {"no title", "", "", 1, "lyr"},
        {"x", "/x/a.TagLyr", "/x/a.TagLyr", 2, "TagLyr"}};
    for (const auto& [line, name, proposed, filterIndex, defaultExt] : cases) {
        doc.SetLines({line});
        doc.SetFileName(name);
        EXPECT_FALSE(doc.MenuSaveAsClick());  // cancelled
        const FileDialog& d = host.dialogs.back();
        EXPECT_EQ(std::tie(d.fileName, d.filterIndex, d.defaultExt, d.title, d.overwritePrompt),
                  std::tuple(proposed, filterIndex, defaultExt, "保存", true));
    }
    host.dialogFiles.push_back(dir / "chosen.lyr");
    EXPECT_TRUE(doc.MenuSaveAsClick());
    EXPECT_EQ(test::ReadBytes(dir / "chosen.lyr"), "x\r\n");
    EXPECT_EQ(doc.SaveDialog.initialDir, dir.path().string());
}

// Opening the file again over unsaved edits asks first.
TEST_F(DocumentTest, ReopenAsksOnlyAboutUnsavedEdits) {
    const std::string path = dir.Write("r.lyr", "orig\r\n");
    ASSERT_TRUE(doc.OpenFile(path));
    doc.MenuReopenClick();
    EXPECT_TRUE(host.messages.empty());
    doc.SetLines({"new orig"});
    doc.Modified = true;
    doc.MenuReopenClick();  // Cancel
    EXPECT_EQ(host.messages.back().text, "編集を破棄して" + path + "を開き直しますか？");
    EXPECT_EQ(doc.Lines(), Lines{"new orig"});
    host.answers.push_back(MsgResult::Yes);
    doc.MenuReopenClick();
    EXPECT_EQ(doc.Lines(), Lines{"orig"});
    EXPECT_FALSE(doc.Modified);
}

// The three conversions, end to end: a file is opened, converted and saved,
// and the saved bytes are compared as a whole.
TEST_F(DocumentTest, ConversionsSaveTheConvertedLines) {
    // {what, the conversion, the file's lines, the lines saved}
    const std::tuple<const char*, void (*)(LyricsDocument&), Lines, Lines> cases[] = {
        {"text",
         ConvertTextToZVEK,
         {"Hello", "",
          Sjis("　　前の空白　と後ろの空白　"),  // full-width spaces at the ends go, inner ones stay
          "  \t padded \t ",
          "01:02:003=Hello",         // an old time is replaced
          ";note",                   // text lines are never comments
          "a=b",                     // not a time tag: all of it is words
          "\"quoted alone\"",        // a single quoted string loses its quotes
          "\" a \" , \"b\",\"c \"",  // a quoted list stays a list, its strings cleaned
          "say \"hi\" ", "=start"},
         WithTemplate({"00:00:000=Hello", "00:00:000=", Sjis("00:00:000=前の空白　と後ろの空白"), "00:00:000=padded",
                       "00:00:000=Hello", "00:00:000=;note", "00:00:000=a=b", "00:00:000=quoted alone",
                       "00:00:000=\"a\",\"b\",\"c\"", "00:00:000=say \"hi\"", "00:00:000==start"})},
        {"WinAmp",
         ConvertWinAmpToZVEK,
         {"[[[Music Info]]]", "[ar:Someone]", "[00:12:34]Hello", "[00:12.34]Hello", "[00:12]Hello", "[00:12:34]",
          "[00:01:00][00:05:00]Hello", "  \t ", "[", "[1 no close", "Hello", "  [00:20:00] padded  ",
          "[00:30:00" + Sjis("ゾ]x")},  // "ゾ" is 0x83 0x5D: its trail byte is no "]"
         WithTemplate({"", ";[ar:Someone]", "00:12:340=Hello", "00:12.34=Hello", "00:12=Hello",
                       "00:12:340=", "00:01:000=[00:05:00]Hello", "  \t ", ";[", ";[1 no close", ";Hello",
                       "00:20:000= padded", "00:30:00" + Sjis("ゾ0=x")})},
        {"player lyrics to text",
         ConvertZVEKToText,
         {"[Spec]", "Title=x", "[TEXT]", "00:00:000=Hello", "00:00:000=", "", "00:00:000=World",
          "00:01:000=\"a\",\"b\"", "00:02:000=\"a\" , \"b\"", "00:03:000=" + Sjis("\"　lead\""), ";note",
          "\"plain quoted\"", "00:04:000=say \"\"hi\"\""},
         {"Hello", "", "", "World", "a", "b", "a", "b", Sjis("　lead"), ";note", "plain quoted", "say \"\"hi\"\""}},
        {"player lyrics without a text section", ConvertZVEKToText, {"[Spec]", " [Text]", "00:00:000=x"}, {}}};
    for (const auto& [what, convert, input, expected] : cases) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(doc.OpenFile(dir.Write("in.txt", CrLf(input))));
        doc.TakeUndoClearRequest();
        convert(doc);
        EXPECT_TRUE(doc.TakeUndoClearRequest());
        doc.SaveFile(dir / "out.bin");
        EXPECT_EQ(test::ReadBytes(dir / "out.bin"), CrLf(expected));
    }
    EXPECT_TRUE(doc.KeepQuotes);  // left set by the conversion back to text
}

}  // namespace
}  // namespace zvek
