#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "TestSupport.h"
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
    std::string Write(const std::string& name, std::string_view bytes) {
        test::WriteBytes(dir / name, bytes);
        return dir / name;
    }

    test::TempDir dir;
    test::FakeHost host;
    LyricsDocument doc{host};
};

TEST_F(DocumentTest, LoadingSplitsAtEveryKindOfLineBreak) {
    struct Case {
        std::string text;
        Lines lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\n\r\n", {"a", ""}},
        {"a\nb\rc\r\nd", {"a", "b", "c", "d"}},
        {"\n\r\n\r", {"", "", ""}},
        {"a\r\r\nb", {"a", "", "b"}},
    };
    for (const auto& c : cases) {
        doc.SetText(c.text);
        EXPECT_EQ(doc.Lines(), c.lines) << c.text;
    }
}

TEST_F(DocumentTest, OpenAndSaveKeepEveryByteApartFromLineEnds) {
    // NUL, bytes that are no Shift-JIS, a lone lead byte at the end of a line:
    // none of it is UTF-8, so it loads byte for byte.
    const std::string odd = std::string("a\0b", 3) + "\x80\xA0\xFD\xFE\xFF" + Sjis("あ") + "\x81";
    const std::string path = Write("odd.txt", odd + "\n" + odd + "\r" + "last");
    ASSERT_TRUE(doc.OpenFile(path));
    EXPECT_EQ(doc.Lines(), (Lines{odd, odd, "last"}));
    doc.SaveFile(path);
    EXPECT_EQ(test::ReadBytes(path), odd + "\r\n" + odd + "\r\nlast\r\n");
    EXPECT_TRUE(host.status.empty());
}

TEST_F(DocumentTest, Utf8FilesAreConvertedOnOpen) {
    ASSERT_TRUE(doc.OpenFile(Write("bom.txt", "\xEF\xBB\xBFTitle=A\r\n")));
    EXPECT_EQ(doc.Lines(), (Lines{"Title=A"}));

    ASSERT_TRUE(doc.OpenFile(Write("u8.txt", "あい\nう")));
    EXPECT_EQ(doc.Lines(), (Lines{Sjis("あい"), Sjis("う")}));
    EXPECT_TRUE(host.status.empty());

    // Characters Shift-JIS cannot hold become "?", and the status line says so.
    ASSERT_TRUE(doc.OpenFile(Write("emoji.txt", "x\xF0\x9F\x8E\xB5y\xC3\xA9")));
    EXPECT_EQ(doc.Lines(), (Lines{"x?y?"}));
    ASSERT_EQ(host.status.size(), 1u);
    EXPECT_NE(host.status[0].find("2"), std::string::npos) << host.status[0];

    // Shift-JIS text stays as it is.
    const std::string sjis = Sjis("朝の窓をあけて");
    ASSERT_TRUE(doc.OpenFile(Write("sjis.txt", sjis)));
    EXPECT_EQ(doc.Lines(), (Lines{sjis}));
}

TEST_F(DocumentTest, HtmlFilesOpenAsTheirPageText) {
    Write("SONG.txtmp", "the user's own file");
    const std::string page = Write("SONG.HTML", "<html><body><p>Hello<br>World</p></body></html>");
    ASSERT_TRUE(doc.OpenFile(page));
    EXPECT_EQ(doc.Lines(), (Lines{"Hello", "World"}));
    EXPECT_EQ(doc.FileName(), page);
    EXPECT_FALSE(doc.Modified);
    EXPECT_EQ(test::ReadBytes(dir / "SONG.txtmp"), "the user's own file");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);

    // A UTF-8 page with characters Shift-JIS lacks says so on the status line.
    ASSERT_TRUE(doc.OpenFile(Write("u.htm", "<meta charset=\"utf-8\"><body>\xC3\xA9t\xC3\xA9 \xE3\x81\x82")));
    EXPECT_EQ(doc.Lines(), (Lines{"?t? " + Sjis("あ")}));
    ASSERT_EQ(host.status.size(), 1u);
    // Other extensions load as text, whatever they hold.
    ASSERT_TRUE(doc.OpenFile(Write("page.txt", "<p>x</p>")));
    EXPECT_EQ(doc.Lines(), (Lines{"<p>x</p>"}));
}

TEST_F(DocumentTest, OpeningAMissingFileReportsItAndKeepsTheName) {
    doc.SetFileName("/keep/me.lyr");
    doc.SetText("old");
    const std::string missing = dir / "missing.txt";
    EXPECT_FALSE(doc.OpenFile(missing));
    EXPECT_EQ(doc.ResultCode, kResultFileNotFound);
    EXPECT_EQ(doc.LineCount(), 0);
    EXPECT_EQ(doc.FileName(), "/keep/me.lyr");
    EXPECT_EQ(doc.OpenedFile(), "");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, missing + "：ファイルが見つかりません");
    EXPECT_EQ(host.messages[0].kind, MsgKind::Error);
    EXPECT_EQ(host.messages[0].buttons, MsgButtons::Ok);

    // A folder is not a file either; a later success resets the result code.
    EXPECT_FALSE(doc.OpenFile(dir.path().string()));
    EXPECT_TRUE(doc.OpenFile(Write("x.lyr", "x")));
    EXPECT_EQ(doc.ResultCode, kResultOk);
    EXPECT_EQ(doc.FileName(), dir / "x.lyr");
    EXPECT_EQ(doc.OpenedFile(), dir / "x.lyr");
    EXPECT_EQ(doc.Caption(), "x.lyr");
    EXPECT_FALSE(doc.Modified);
}

TEST_F(DocumentTest, SavingWritesEveryLineWithCrLf) {
    const std::string path = dir / "out.lyr";
    doc.SaveFile(path);
    EXPECT_EQ(test::ReadBytes(path), "");
    doc.SetLines({"a", "", "b"});
    doc.Modified = true;
    doc.SaveFile(path);
    EXPECT_EQ(test::ReadBytes(path), "a\r\n\r\nb\r\n");
    EXPECT_FALSE(doc.Modified);
    EXPECT_EQ(doc.FileName(), path);
}

TEST_F(DocumentTest, SavingKeepsTheReplacedFilesPermissionsAndLinks) {
    const std::string target = Write("target.lyr", "old");
    ::chmod(target.c_str(), 0640);
    const std::string link = dir / "link.lyr";
    std::filesystem::create_symlink(target, link);
    doc.SetText("new");
    doc.SaveFile(link);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::ReadBytes(target), "new\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
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
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temporary left
    EXPECT_EQ(doc.FileName(), path);
    EXPECT_TRUE(doc.Modified);
    EXPECT_EQ(host.ScreenCursor(), crDefault);

    EXPECT_THROW(doc.SaveFile(dir / "no/such/folder.lyr"), FileError);
}

TEST_F(DocumentTest, WaitCursorsNestAndSurviveExceptions) {
    const std::string path = Write("a.txt", "a");
    {
        hlWaitCursor outer(host);
        doc.OpenFile(path);  // holds one of its own
        EXPECT_EQ(host.ScreenCursor(), crHourGlass);
    }
    EXPECT_EQ(host.ScreenCursor(), crDefault);
    host.SetScreenCursor(7);
    try {
        hlWaitCursor wait(host);
        throw std::runtime_error("boom");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(host.ScreenCursor(), 7);
}

TEST_F(DocumentTest, PositionsCountLineBreaksAsTwoCharacters) {
    doc.SetLines({"abc", "", Sjis("あい")});
    EXPECT_EQ(doc.PosToLineCol(3).col, 3);
    EXPECT_EQ(doc.PosToLineCol(3).line, 0);
    EXPECT_EQ(doc.PosToLineCol(5).col, 0);
    EXPECT_EQ(doc.PosToLineCol(5).line, 1);
    EXPECT_EQ(doc.PosToLineCol(7).line, 2);
    EXPECT_EQ(doc.PosToLineCol(100).line, 3);  // past the end: the line count
    EXPECT_EQ(doc.LineColToPos(2, 2), 9u);
    for (std::size_t pos = 0; pos < doc.TextLength(); ++pos) {
        const LineCol lc = doc.PosToLineCol(pos);
        EXPECT_EQ(doc.LineColToPos(lc.col, lc.line), pos);
    }
}

TEST_F(DocumentTest, CaretLineAndSelectedLines) {
    doc.SetLines({"abc", "de", "f"});
    int first = -1, last = -1;
    doc.SetSelection(4, 0);
    EXPECT_EQ(doc.CurrentLine(), 0);
    doc.SetSelection(5, 0);
    EXPECT_EQ(doc.CurrentLine(), 1);
    doc.SetSelection(3, 2);  // exactly the line break after "abc"
    EXPECT_EQ(doc.CurrentLine(), 0);
    doc.SetSelection(1, 2);  // two letters: the caret is on its line
    EXPECT_EQ(doc.CurrentLine(), 0);
    doc.SetSelection(1, 5);
    EXPECT_EQ(doc.CurrentLine(), 1);
    doc.GetSelectedLines(first, last);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 1);
    doc.SelectAll();
    doc.GetSelectedLines(first, last);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 2);
    doc.MoveCaretTo(1, 2);
    EXPECT_EQ(doc.SelStart(), 10u);
    EXPECT_EQ(doc.GetLine(-1), "f");
    doc.SetLine(-1, "g");
    EXPECT_EQ(doc.GetLine(2), "g");
    doc.Clear();
    doc.GetSelectedLines(first, last);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 0);
}

TEST_F(DocumentTest, NameValueLookup) {
    doc.SetLines({"[Spec]", "no equals", "title=First", "TITLE=Second", "URL=", "url=http://x/?a=b", "=v"});
    EXPECT_EQ(doc.IndexOfName("Title"), 2);
    EXPECT_EQ(doc.Value("Title"), "First");
    EXPECT_EQ(doc.Value("url"), "");        // the first line wins, even when empty
    EXPECT_EQ(doc.IndexOfName("Artist"), -1);
    EXPECT_EQ(doc.Value("Artist"), "");
    EXPECT_EQ(doc.IndexOfName(""), 6);
    doc.SetLines({" Title=x", "Title =y", Sjis("ゼ") + "=z"});
    EXPECT_EQ(doc.IndexOfName("Title"), -1);  // no trimming
    EXPECT_EQ(doc.Value(Sjis("ゼ")), "z");
}

TEST_F(DocumentTest, SaveAsProposesANameAndRemembersTheFolder) {
    doc.SetLines({"title=My Song"});
    EXPECT_EQ(host.dialogs.size(), 0u);
    doc.MenuSaveAsClick();  // cancelled
    ASSERT_EQ(host.dialogs.size(), 1u);
    EXPECT_EQ(host.dialogs[0].fileName, "My Song.lyr");
    EXPECT_EQ(host.dialogs[0].title, "保存");
    EXPECT_EQ(host.dialogs[0].filterIndex, 1);
    EXPECT_EQ(host.dialogs[0].defaultExt, "lyr");
    EXPECT_TRUE(host.dialogs[0].overwritePrompt);

    doc.SetLines({"no title"});
    doc.MenuSaveAsClick();
    EXPECT_EQ(host.dialogs[1].fileName, "");

    doc.SetFileName("/x/a.TagLyr");
    doc.MenuSaveAsClick();
    EXPECT_EQ(host.dialogs[2].fileName, "/x/a.TagLyr");
    EXPECT_EQ(host.dialogs[2].filterIndex, 2);
    EXPECT_EQ(host.dialogs[2].defaultExt, "TagLyr");

    const std::string chosen = dir / "chosen.lyr";
    host.dialogFiles.push_back(chosen);
    doc.Modified = true;
    doc.MenuSaveAsClick();
    EXPECT_EQ(test::ReadBytes(chosen), "no title\r\n");
    EXPECT_EQ(doc.FileName(), chosen);
    EXPECT_FALSE(doc.Modified);
    EXPECT_EQ(doc.SaveDialog.initialDir, dir.path().string());
}

TEST_F(DocumentTest, OpenAndReopenAskBeforeDiscardingEdits) {
    const std::string a = Write("a.lyr", "A"), b = Write("b.lyr", "B");
    host.dialogFiles.push_back(a);
    doc.MenuOpenClick();
    EXPECT_EQ(doc.Lines(), Lines{"A"});
    EXPECT_EQ(host.dialogs[0].title, "開く");
    EXPECT_EQ(host.dialogs[0].filterIndex, 2);
    EXPECT_TRUE(host.dialogs[0].fileMustExist);
    EXPECT_EQ(doc.OpenDialog.initialDir, dir.path().string());
    EXPECT_TRUE(host.messages.empty());

    // Unsaved edits: Cancel keeps them.
    doc.SetLines({"edited"});
    doc.Modified = true;
    host.dialogFiles.push_back(b);
    doc.MenuOpenClick();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "編集を破棄して" + b + "を開きますか？");
    EXPECT_EQ(host.messages[0].buttons, MsgButtons::YesCancel);
    EXPECT_EQ(doc.Lines(), Lines{"edited"});

    doc.MenuReopenClick();
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].text, "編集を破棄して" + a + "を開き直しますか？");
    EXPECT_EQ(doc.Lines(), Lines{"edited"});

    host.answers.push_back(MsgResult::Yes);
    doc.MenuReopenClick();
    EXPECT_EQ(doc.Lines(), Lines{"A"});

    // Without edits nobody is asked; a vanished file is silently skipped.
    doc.MenuReopenClick();
    EXPECT_EQ(host.messages.size(), 3u);
    std::filesystem::remove(a);
    doc.SetLines({"kept"});
    doc.MenuReopenClick();
    EXPECT_EQ(doc.Lines(), Lines{"kept"});
    EXPECT_EQ(host.messages.size(), 3u);
}

}  // namespace
}  // namespace zvek
