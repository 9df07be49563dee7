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
    // The lines a command on the selection works on: from the one the
    // selection starts in to the one holding its last character.
    const std::tuple<std::size_t, std::size_t, int, int> ranges[] = {{5, 0, 1, 1}, {1, 5, 0, 1}, {6, 4, 1, 2}};
    for (const auto& [start, length, first, last] : ranges) {
        doc.SetSelection(start, length);
        int from = -1, to = -1;
        doc.GetSelectedLines(from, to);
        EXPECT_EQ(std::pair(from, to), std::pair(first, last)) << start << "+" << length;
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
// and the saved bytes are compared with the expected file as a whole
// (tests/data/lyrics/NAME-in and NAME-out). Text: full-width spaces at the
// ends of words go, inner ones stay; an old time is replaced; text lines are
// never comments and "a=b" is all words; a single quoted string loses its
// quotes, a quoted list stays a list with its strings cleaned. WinAmp: "ゾ"
// is 0x83 0x5D, its trail byte no "]". Player lyrics without a [Text]
// section give no text.
TEST_F(DocumentTest, ConversionsSaveTheConvertedLines) {
    const std::pair<const char*, void (*)(LyricsDocument&)> cases[] = {{"text", ConvertTextToZVEK},
                                                                       {"winamp", ConvertWinAmpToZVEK},
                                                                       {"untext", ConvertZVEKToText},
                                                                       {"untext-none", ConvertZVEKToText}};
    for (const auto& [name, convert] : cases) {
        SCOPED_TRACE(name);
        const std::string data = ZVEKLC_TEST_DATA "/lyrics/" + std::string(name);
        ASSERT_TRUE(doc.OpenFile(data + (convert == ConvertZVEKToText ? "-in.lyr" : "-in.txt")));
        EXPECT_EQ(doc.TakeUndoRequest(), LyricsDocument::UndoRequest::NewFile);
        convert(doc);
        EXPECT_EQ(doc.TakeUndoRequest(), LyricsDocument::UndoRequest::Conversion);
        doc.SaveFile(dir / "out.bin");
        EXPECT_EQ(test::ReadBytes(dir / "out.bin"),
                  test::ReadBytes(data + (convert == ConvertZVEKToText ? "-out.txt" : "-out.lyr")));
    }
    EXPECT_TRUE(doc.KeepQuotes);  // left set by the conversion back to text
}

}  // namespace
}  // namespace zvek
