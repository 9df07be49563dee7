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

}  // namespace
}  // namespace zvek
