#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "TestSupport.h"
#include "lyrics/LyricsDocument.h"
#include "platform/Files.h"
#include "platform/Waitcur.h"

namespace zvek {
namespace {

using test::Sjis;
using Lines = std::vector<std::string>;

class DocumentTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, std::string_view bytes) {
        test::WriteBytes(dir / name, bytes);
        return dir / name;
    }
    std::ptrdiff_t FilesInDir() const { return std::distance(std::filesystem::directory_iterator(dir.path()), {}); }
    // What a user sees of the document: its name, whether it is modified, its lines.
    std::tuple<std::string, bool, Lines> State() const { return {doc.FileName(), doc.Modified, doc.Lines()}; }

    test::TempDir dir;
    test::FakeHost host;
    LyricsDocument doc{host};
};

TEST_F(DocumentTest, FilesOpenByTheirKindAndCodeSetAndSaveWithCrLf) {
    Write("SONG.txtmp", "the user's own file");
    // NUL, bytes that are no Shift-JIS, a lone lead byte at the end of a line:
    // none of it is UTF-8, so it loads byte for byte.
    const std::string odd = std::string("a\0b", 3) + "\x80\xA0\xFD\xFE\xFF" + Sjis("あ") + "\x81";
    const struct {
        const char* name;
        std::string bytes;
        Lines lines;
        bool replaced;  // characters Shift-JIS cannot hold became "?" and the status line says how many
    } cases[] = {
        {"bom.txt", "\xEF\xBB\xBFTitle=A\r\n", {"Title=A"}, false},
        {"u8.txt", "あい\nう", {Sjis("あい"), Sjis("う")}, false},
        {"emoji.txt", "x\xF0\x9F\x8E\xB5y\xC3\xA9", {"x?y?"}, true},
        {"sjis.txt", Sjis("朝の窓をあけて"), {Sjis("朝の窓をあけて")}, false},
        {"SONG.HTML", "<html><body><p>Hello<br>World</p></body></html>", {"Hello", "World"}, false},
        {"u.htm", "<meta charset=\"utf-8\"><body>\xC3\xA9t\xC3\xA9 \xE3\x81\x82", {"?t? " + Sjis("あ")}, true},
        {"page.txt", "<p>x</p>", {"<p>x</p>"}, false},  // other extensions load as text, whatever they hold
        {"odd.txt", odd + "\n" + odd + "\r" + "last", {odd, odd, "last"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        host.status.clear();
        ASSERT_TRUE(doc.OpenFile(Write(c.name, c.bytes)));
        EXPECT_EQ(State(), std::tuple(dir / c.name, false, c.lines));
        ASSERT_EQ(host.status.size(), c.replaced ? 1u : 0u);
        if (c.replaced) {
            EXPECT_NE(host.status[0].find("2"), std::string::npos) << host.status[0];
        }
    }
    // Pages are read in memory: nothing beside them is made or touched.
    EXPECT_EQ(test::ReadBytes(dir / "SONG.txtmp"), "the user's own file");
    EXPECT_EQ(FilesInDir(), std::ssize(cases) + 1);
    // Saved as they were read, every line with CR LF.
    doc.Modified = true;
    const std::string saved = dir / "saved.lyr";
    doc.SaveFile(saved);
    EXPECT_EQ(State(), std::tuple(saved, false, Lines{odd, odd, "last"}));
    EXPECT_EQ(test::ReadBytes(saved), odd + "\r\n" + odd + "\r\nlast\r\n");
    doc.Clear();
    doc.SaveFile(saved);
    EXPECT_EQ(test::ReadBytes(saved), "");
}

TEST_F(DocumentTest, SavingKeepsTheReplacedFilesPermissionsAndLinks) {
    const std::string target = Write("target.lyr", "old"), link = dir / "link.lyr";
    std::filesystem::permissions(target, std::filesystem::perms(0640));
    std::filesystem::create_symlink(target, link);
    doc.SetText("new");
    doc.SaveFile(link);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::ReadBytes(target), "new\r\n");
    EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms(0640));
}

TEST_F(DocumentTest, AFailedSaveLeavesTheOldFileIntact) {
    const std::string path = Write("song.lyr", "old contents\r\n");
    doc.SetLines(Lines(1000, std::string(100, 'x')));
    doc.Modified = true;
    // Make the write itself fail part way: the file size limit stops it.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(doc.SaveFile(path), FileError);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(test::ReadBytes(path), "old contents\r\n");
    EXPECT_EQ(FilesInDir(), 1);  // no temporary left
    EXPECT_EQ(State(), std::tuple(path, true, Lines(1000, std::string(100, 'x'))));
    EXPECT_EQ(host.ScreenCursor(), crDefault);
    EXPECT_THROW(doc.SaveFile(dir / "no/such/folder.lyr"), FileError);
}

TEST_F(DocumentTest, PositionsCountLineBreaksAsTwoCharacters) {
    doc.SetLines({"abc", "", Sjis("あい")});
    const std::tuple<std::size_t, int, int> cases[] = {{3, 0, 3}, {5, 1, 0}, {7, 2, 0}, {9, 2, 2}};
    for (const auto& [pos, line, col] : cases) {
        EXPECT_EQ(std::pair(doc.PosToLineCol(pos).line, doc.PosToLineCol(pos).col), std::pair(line, col)) << pos;
        EXPECT_EQ(doc.LineColToPos(col, line), pos);
    }
    EXPECT_EQ(doc.PosToLineCol(100).line, 3);  // past the end: the line count

    doc.SetLines({"abc", "de", "f"});
    // A selection of exactly the line break after "abc" (3, 2) still counts as line 0.
    const std::tuple<std::size_t, std::size_t, int> selections[] = {
        {4, 0, 0}, {5, 0, 1}, {3, 2, 0}, {1, 2, 0}, {1, 5, 1}};
    for (const auto& [start, length, line] : selections) {
        doc.SetSelection(start, length);
        EXPECT_EQ(doc.CurrentLine(), line) << start << "+" << length;
    }
    int first = -1, last = -1;
    doc.GetSelectedLines(first, last);
    EXPECT_EQ(std::pair(first, last), std::pair(0, 1));
    doc.SelectAll();
    doc.GetSelectedLines(first, last);
    EXPECT_EQ(std::pair(first, last), std::pair(0, 2));
    doc.MoveCaretTo(1, 2);
    EXPECT_EQ(doc.SelStart(), 10u);
    EXPECT_EQ(doc.GetLine(-1), "f");  // -1: the caret's line
    doc.SetLine(-1, "g");
    EXPECT_EQ(doc.Lines(), (Lines{"abc", "de", "g"}));
    doc.Clear();
    doc.GetSelectedLines(first, last);
    EXPECT_EQ(std::pair(first, last), std::pair(0, 0));
}

TEST_F(DocumentTest, SaveAsProposesANameAndRemembersTheFolder) {
    // {the document's first line, its name, the name proposed, the filter, the extension}
    const std::tuple<const char*, const char*, const char*, int, const char*> cases[] = {
        {"title=My Song", "", "My Song.lyr", 1, "lyr"}, {"no title", "", "", 1, "lyr"},
        {"x", "/x/a.TagLyr", "/x/a.TagLyr", 2, "TagLyr"}};
    for (const auto& [line, name, proposed, filterIndex, defaultExt] : cases) {
        doc.SetLines({line});
        doc.SetFileName(name);
        EXPECT_FALSE(doc.MenuSaveAsClick());  // cancelled
        const FileDialog& d = host.dialogs.back();
        EXPECT_EQ(std::tie(d.fileName, d.filterIndex, d.defaultExt, d.title, d.overwritePrompt),
                  std::tuple(proposed, filterIndex, defaultExt, "保存", true));
    }
    const std::string chosen = dir / "chosen.lyr";
    host.dialogFiles.push_back(chosen);
    doc.Modified = true;
    EXPECT_TRUE(doc.MenuSaveAsClick());
    EXPECT_EQ(test::ReadBytes(chosen), "x\r\n");
    EXPECT_EQ(State(), std::tuple(chosen, false, Lines{"x"}));
    EXPECT_EQ(doc.SaveDialog.initialDir, dir.path().string());
}

TEST_F(DocumentTest, OpenAndReopenAskBeforeDiscardingEdits) {
    const std::string a = Write("a.lyr", "A"), b = Write("b.lyr", "B");
    host.dialogFiles.push_back(a);
    doc.MenuOpenClick();
    EXPECT_EQ(doc.Lines(), Lines{"A"});
    const FileDialog& d = host.dialogs[0];
    EXPECT_EQ(std::tie(d.title, d.filterIndex, d.fileMustExist), std::tuple("開く", 2, true));
    EXPECT_EQ(doc.OpenDialog.initialDir, dir.path().string());
    // Unsaved edits: Cancel keeps them.
    doc.SetLines({"edited"});
    doc.Modified = true;
    host.dialogFiles.push_back(b);
    doc.MenuOpenClick();
    doc.MenuReopenClick();
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(std::tie(host.messages[0].text, host.messages[0].buttons),
              std::tuple("編集を破棄して" + b + "を開きますか？", MsgButtons::YesCancel));
    EXPECT_EQ(host.messages[1].text, "編集を破棄して" + a + "を開き直しますか？");
    EXPECT_EQ(doc.Lines(), Lines{"edited"});
    host.answers.push_back(MsgResult::Yes);
    doc.MenuReopenClick();
    EXPECT_EQ(doc.Lines(), Lines{"A"});
    // Without edits nobody is asked; a vanished file is silently skipped.
    doc.MenuReopenClick();
    std::filesystem::remove(a);
    doc.SetLines({"kept"});
    doc.MenuReopenClick();
    EXPECT_EQ(doc.Lines(), Lines{"kept"});
    EXPECT_EQ(host.messages.size(), 3u);
}

}  // namespace
}  // namespace zvek
