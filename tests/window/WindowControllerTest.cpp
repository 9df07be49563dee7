// The window's rules against a fake window: its commands against what the
// core gives for the same document, the menus' enabling, the close query,
// dropped files, the command line run to its end, a command that waits for
// a download, and the desktop integration marks. Every question and file
// dialog is answered ahead of time through the host's script.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "LoopbackServer.h"
#include "WindowSupport.h"
#include "lyrics/FindCommands.h"
#include "lyrics/Lrc.h"
#include "lyrics/OpenBrowserPage.h"
#include "platform/Files.h"
#include "platform/ShowInBrowser.h"
#include "tags/AutoConvert.h"
#include "text/Codec.h"
#include "text/Sjis.h"
#include "web/LyricsSites.h"
#include "window/WindowController.h"

using namespace zvek;
using test::kSamplePage;
using test::RunCore;

namespace {

// The window and its editor, the event loop as a queue of posted calls,
// and the window logic over them with the host's script.
struct FakeWindow : WindowView, EditorView {
    std::u16string text;
    std::size_t anchor = 0, caret = 0;
    bool modified = false, readOnly = false, clipboardHasText = true;
    bool undoable = false;  // the user can still undo an edit
    std::map<std::string, bool, std::less<>> enabled, checked;
    bool stopShown = false, closed = false;
    std::string caption;
    std::optional<WindowSettings> saved;
    std::mutex mutex;
    std::deque<std::function<void()>> posted;
    test::FakeHost host;
    WindowController logic;

    FakeWindow(std::vector<std::string> args, const std::string& program)
        : logic(*this, host, std::move(args), program) {}
    std::u16string Text() const override { return text; }
    std::pair<std::size_t, std::size_t> Selection() const override { return {anchor, caret}; }
    void Select(std::size_t a, std::size_t c) override { anchor = a, caret = c; }
    void SetText(std::u16string_view t, bool freshUndo) override { text = t, undoable = !freshUndo; }
    void ClearUndo() override { undoable = false; }
    bool Modified() const override { return modified; }
    void SetModified(bool m) override { modified = m; }
    void SetReadOnly(bool r) override { readOnly = r; }
    void ShowLine(int) override {}
    bool CanPaste() const override { return clipboardHasText; }
    // The clipboard commands are the editor's own (the Qt window's test).
    void Undo() override {}
    void Cut() override {}
    void Copy() override {}
    void Paste() override {}
    void SelectAll() override {}

    EditorView& Editor() override { return *this; }
    void EnableItem(std::string_view name, bool on) override { enabled[std::string(name)] = on; }
    void CheckItem(std::string_view name, bool on) override { checked[std::string(name)] = on; }
    void ShowStopControl(bool shown) override { stopShown = shown; }
    void SetCaption(const std::string& t) override { caption = t; }
    void Post(std::function<void()> call) override {
        const std::lock_guard lock(mutex);
        posted.push_back(std::move(call));
    }
    void Close() override { closed = closed || logic.CloseRequested(); }
    void SaveSettings(WindowSettings settings) override { saved = settings; }

    // Runs what was posted; false when nothing was.
    bool RunPosted() {
        std::function<void()> call;
        {
            const std::lock_guard lock(mutex);
            if (posted.empty()) return false;
            call = std::move(posted.front());
            posted.pop_front();
        }
        call();
        return true;
    }
};

// Editor text as the document would save it.
std::string Saved(const FakeWindow& edit) { return test::CrLf(SplitLines(Utf16ToSjis(edit.text))); }

class WindowLogicTest : public ::testing::Test {
protected:
    // Downloads keep their lock files, the window its settings and the
    // desktop its association in folders of the test's own; no browser
    // page and no player are found there.
    test::TempDir dir;
    test::ScopedEnv runtime{"XDG_RUNTIME_DIR", dir.path().string()}, home{"HOME", dir / "home"},
        data{"XDG_DATA_HOME", dir / "data"}, config{"XDG_CONFIG_HOME", dir / "cfg"}, wine{"WINEPREFIX", dir / "wine"};
    std::unique_ptr<FakeWindow> w;

    WindowLogicTest() { Make(); }
    void Make(std::vector<std::string> args = {}) {
        w.reset();
        w = std::make_unique<FakeWindow>(std::move(args), dir / "bin/zveklc");
    }
    FakeWindow& Edit() { return *w; }
    LyricsDocument& Doc() { return w->logic.Document(); }
    void Run(const char* control) { w->logic.Run(CommandOf(control)); }
    void SetEditor(const std::string& sjis) {
        Edit().text = SjisToUtf16(sjis);
        std::erase(Edit().text, u'\r');
        Edit().modified = Edit().undoable = false;
    }
    void Type(const std::u16string& text, bool atEnd = true) {
        Edit().text = atEnd ? Edit().text + text : text + Edit().text;
        Edit().modified = Edit().undoable = true;
    }
};

}  // namespace

// Each command reached through its control leaves the editor with what the
// core gives for the same document, with the core's name and modified flag,
// and without the undo history the conversion cleared.
TEST_F(WindowLogicTest, CommandsLeaveWhatTheCoreGives) {
    // A control, its document (UTF-8, or the sample song as "sample",
    // "lyrics" or "tagfile") and name, and the core's conversion it must match.
    const struct {
        const char* control;
        std::string input;
        const char* fileName;
        void (*core)(LyricsDocument&);
    } cases[] = {
        {"MenuTextToZVEK", "sample", "/x/song.txt", ConvertTextToZVEK},
        {"ConvMenuTextToZVEK", "  Hello  \n\nWorld", "", ConvertTextToZVEK},
        {"MenuZVEKToText", "[Spec]\nTitle=Song\n[Text]\n00:01:000=\"a\",\"b\"\n00:02:000=Hello", "/x/song.lyr",
         ConvertZVEKToText},
        {"ConvMenuWinAmpToZVEK", "[00:12:34]Hello\n[ar:Someone]\n[00:01.5]x", "", ConvertWinAmpToZVEK},
        {"MenuConvertAuto", "sample", "song.txt", MenuConvertAutoClick},
        {"PopupConvert", "[00:01:00]Hi", "w.txt", MenuConvertAutoClick},
        {"BtnConvert", "Hello", "", MenuConvertAutoClick},
        {"MenuZVEKToTag", "lyrics", "/x/song.lyr", MenuZVEKToTagClick},
        {"ConvMenuTagToZVEK", "tagfile", "/x/song.TagLyr", MenuTagToZVEKClick},
        {"MenuLrcToZVEK", "[ti:歌]\n[00:02.00]b\n[00:01.00][00:03.00] <00:01.50>a", "/x/song.lrc", ConvertLrcToZVEK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.control);
        const std::string sjis = c.input == "sample"    ? test::SampleText()
                                 : c.input == "lyrics"  ? test::SampleLyrics()
                                 : c.input == "tagfile" ? test::SampleTagFile("song.lyr")
                                                        : Utf8ToSjis(c.input);
        const bool asksForPage = c.core == MenuZVEKToTagClick || c.core == MenuTagToZVEKClick;
        const test::CoreResult expected = RunCore(sjis, c.fileName, c.core, asksForPage ? kSamplePage : "");

        Make();
        SetEditor(sjis);
        Edit().undoable = true;  // an edit the conversion's cleared history must not keep
        Doc().SetFileName(c.fileName);
        if (asksForPage) w->host.dialogFiles.push_back(kSamplePage);
        Run(c.control);

        EXPECT_EQ(Saved(Edit()), expected.text);
        EXPECT_EQ(Doc().FileName(), expected.fileName);
        EXPECT_EQ(w->caption, ExtractFileName(expected.fileName));
        EXPECT_EQ(Edit().modified, expected.modified);
        EXPECT_FALSE(Edit().undoable || Edit().readOnly || w->stopShown);
        EXPECT_EQ(w->host.ScreenCursor(), crDefault);
        ASSERT_EQ(w->host.dialogs.size(), size_t(asksForPage ? 1 : 0));
        for (const FileDialog& d : w->host.dialogs) EXPECT_EQ(d.title + std::to_string(d.filterIndex), "歌詞テキスト4");
    }
}

// Caret and selection travel into the document in its units (CR LF,
// Shift-JIS bytes) and the result's caret comes back; a conversion that
// changes nothing leaves the user's undo alone.
TEST_F(WindowLogicTest, CaretSelectionAndUndoMatchTheDocument) {
    SetEditor(Utf8ToSjis("ab\r\n歌詞=x\r\n\r\nlast"));
    Edit().Select(6, 11);  // line 1, after "歌詞=" (two characters of two bytes, then "="), to the end
    w->logic.CheckMenu();  // copies the editor into the document
    EXPECT_EQ(Doc().SelStart(), size_t(4 + 5));
    EXPECT_EQ(Doc().SelLength(), size_t(1 + 2 + 2 + 2));
    EXPECT_EQ(Doc().CurrentLine(), 3);

    Run("MenuTextToZVEK");  // the caret stands below the template
    std::size_t line15 = 0;
    for (int i = 0; i < 15; ++i) line15 = Edit().text.find(u'\n', line15) + 1;
    EXPECT_EQ(Edit().Selection(), std::make_pair(line15, line15));

    SetEditor("[Spec]\r\nTitle=x");
    Type(u"yz");
    Run("MenuWinAmpToZVEK");
    EXPECT_EQ(Edit().text, u"[Spec]\nTitle=xyz");
    EXPECT_TRUE(Edit().modified && Edit().undoable);

    // LRC export has its own dialog and leaves the editor as it is; bytes
    // that are not Shift-JIS survive the editor.
    const std::string lyrics = Utf8ToSjis("[Spec]\r\nTitle=歌\r\n[Text]\r\n00:01:005=a");
    SetEditor(lyrics);
    Doc().SetFileName(dir / "song.lyr");
    w->host.dialogFiles.push_back(dir / "song.lrc");
    Run("MenuSaveLrc");
    EXPECT_EQ(test::ReadBytes(dir / "song.lrc"), std::string("[ti:\xE6\xAD\x8C]\r\n[00:01.01]a\r\n"));
    EXPECT_EQ(Saved(Edit()), lyrics + "\r\n");
    EXPECT_EQ(Doc().FileName(), dir / "song.lyr");

    const std::string raw = std::string("ok\x85\x40\xFD", 5) + "\r\n" + Utf8ToSjis("歌");
    SetEditor(raw);
    w->host.dialogFiles.push_back(dir / "raw.txt");
    Run("MenuSaveAs");
    EXPECT_EQ(test::ReadBytes(dir / "raw.txt"), raw + "\r\n");
}

// "Yes" followed by a cancelled or failed Save As keeps the window; the
// settings are saved by a close that goes ahead, and only then.
TEST_F(WindowLogicTest, CloseQueryAnswers) {
    const struct {
        std::optional<MsgResult> answer;  // none: unmodified, no question expected
        const char* saveAs;               // "": the dialog is cancelled
        bool closes;
    } cases[] = {
        {{}, "", true},
        {MsgResult::Cancel, "", false},
        {MsgResult::No, "", true},
        {MsgResult::Yes, "", false},
        {MsgResult::Yes, "saved.lyr", true},
        {MsgResult::Yes, "no-such-folder/saved.lyr", false},
    };
    test::WriteBytes(dir / "song.lyr", "a\r\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.saveAs);
        Make();
        test::FakeHost& host = w->host;
        host.dialogFiles.push_back(dir / "song.lyr");
        Run("MenuOpen");
        const bool modified = c.answer.has_value();
        if (modified) {
            Type(u"edit", false);
            host.answers.push_back(*c.answer);
        }
        if (*c.saveAs) host.dialogFiles.push_back(dir / c.saveAs);

        EXPECT_EQ(w->logic.CloseRequested(), c.closes);
        const bool failedSave = c.answer == MsgResult::Yes && std::string(c.saveAs).find('/') != std::string::npos;
        ASSERT_EQ(host.messages.size(), size_t(modified ? (failedSave ? 2 : 1) : 0));
        if (modified) {
            EXPECT_EQ(host.messages[0].text, "song.lyrを保存しますか？");
            EXPECT_EQ(host.messages[0].buttons, MsgButtons::YesNoCancel);
        }
        EXPECT_EQ(Edit().text.starts_with(u"edit"), modified);
        EXPECT_EQ(w->saved.has_value(), c.closes);
        EXPECT_TRUE(std::string(c.saveAs) != "saved.lyr" || test::ReadBytes(dir / "saved.lyr").starts_with("edita"));
    }
}

// Opening over unsaved edits asks first (a drop: the Qt window's test).
TEST_F(WindowLogicTest, ReopenAsksOnlyAboutUnsavedEdits) {
    test::FakeHost& host = w->host;
    test::WriteBytes(dir / "r.lyr", "orig\r\n");
    host.dialogFiles.push_back(dir / "r.lyr");
    Run("MenuOpen");
    EXPECT_EQ(w->caption, "r.lyr");
    Run("MenuReopen");
    EXPECT_TRUE(host.messages.empty());
    Type(u"new ", false);
    Run("MenuReopen");  // Cancel
    EXPECT_EQ(host.messages.back().text, "編集を破棄して" + (dir / "r.lyr") + "を開き直しますか？");
    EXPECT_EQ(Edit().text, u"new orig");
    host.answers.push_back(MsgResult::Yes);
    Run("MenuReopen");
    EXPECT_EQ(Edit().text, u"orig");
    EXPECT_FALSE(Edit().modified);
}

TEST_F(WindowLogicTest, CheckMenuFollowsSelectionClipboardAndUrlLine) {
    const struct {
        const char* text;
        bool select, clipboardHasText, url;
    } cases[] = {
        {"Title=x", false, false, false},     {"Title=x", true, true, false},           {"a\nURL=", false, true, true},
        {"url=http://x/", true, false, true}, {"x URL=1\nURLS=2", false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Make();
        SetEditor(c.text);
        if (c.select) Edit().Select(0, Edit().text.size());
        Edit().clipboardHasText = c.clipboardHasText;
        w->logic.Run(FindMenuNamed("MenuEdit")->onOpen);
        auto& enabled = w->enabled;
        for (const char* name : {"MenuCut", "MenuCopy", "PopupCut", "PopupCopy"}) EXPECT_EQ(enabled[name], c.select);
        for (const char* name : {"MenuPaste", "PopupPaste"}) EXPECT_EQ(enabled[name], c.clipboardHasText);
        for (const char* name : {"MenuConvertFromURL", "ConvertMenuConvertFromURL", "PopupConvertURL"})
            EXPECT_EQ(enabled[name], c.url);
        // The tool-bar buttons and the other items are never disabled.
        EXPECT_EQ(enabled.size(), 9u);
    }
}

TEST_F(WindowLogicTest, DroppedFiles) {
    const struct {
        std::string editor;  // "lyrics": the sample as lyrics, or as a tag file when the document is one
        std::string documentName;
        const char* dropped;
        std::optional<MsgResult> answer;  // none: no question expected
        std::string result;               // "open", "tag", "untag" or "none"
    } cases[] = {
        {"text", "", "a.lyr", {}, "open"},
        {"", "", "a.txt", {}, "open"},
        {"lyrics", "s.lyr", "page.HTML", MsgResult::Yes, "tag"},
        {"lyrics", "s.TagLyr", "page.htm", MsgResult::Yes, "untag"},
        {"lyrics", "s.lyr", "page.htm", MsgResult::No, "open"},
        {"lyrics", "s.lyr", "a.txt", MsgResult::Cancel, "none"},
    };
    const std::string lyrics = test::SampleLyrics();
    const std::string tagFile = test::SampleTagFile("s.lyr");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dropped);
        const std::string path = dir / c.dropped;
        const bool page = LowerAscii(path).find(".htm") != std::string::npos;
        test::WriteBytes(path, page ? test::ReadBytes(kSamplePage) : "dropped\r\n");
        Make();
        SetEditor(c.editor == "lyrics" ? (c.documentName.ends_with("TagLyr") ? tagFile : lyrics) : c.editor);
        std::string expected = Saved(Edit());  // where nothing is opened or converted
        Doc().SetFileName(dir / c.documentName);
        if (c.answer) w->host.answers.push_back(*c.answer);

        w->logic.OnDropFiles(path);

        ASSERT_EQ(w->host.messages.size(), size_t(c.answer ? 1 : 0));
        if (c.answer) {
            EXPECT_EQ(w->host.messages[0].text, "タグファイル変換をしますか？");
            EXPECT_EQ(w->host.messages[0].buttons, MsgButtons::YesNoCancel);
        }
        if (c.result == "open") {
            expected = RunCore("", "", [&](LyricsDocument& d) { d.OpenFile(path); }).text;
            EXPECT_EQ(Doc().FileName(), path);
            EXPECT_EQ(Doc().OpenDialog.initialDir, dir.path().string());
        } else if (c.result == "tag") {
            expected = RunCore(lyrics, "s.lyr", [&](LyricsDocument& d) { MakeTagFile(d, path); }).text;
        } else if (c.result == "untag") {
            expected = RunCore(tagFile, "s.TagLyr", [&](LyricsDocument& d) { RestoreFromTagFile(d, path); }).text;
            EXPECT_EQ(expected, lyrics);
        }
        EXPECT_EQ(Saved(Edit()), expected);
    }
}

TEST(WindowSettingsTest, GeometryIsFittedToTheScreen) {
    using Geometry = std::vector<int>;  // left, top, width, height
    const std::pair<Geometry, Geometry> cases[] = {
        {{-1, -1, 480, 350}, {160, 125, 480, 350}},  // the defaults are centred
        {{0, 0, 800, 300}, {0, 0, 480, 300}},        // exactly the screen's width
        {{0, 0, 799, 300}, {0, 0, 799, 300}},
        {{100, 10, 700, 300}, {50, 10, 700, 300}},  // reaching the edge centres
        {{5, 5, 100, -2}, {5, 5, 100, 350}},
        {{5, 590, 100, 100}, {5, 250, 100, 100}},  // the top past the bottom
        {{-5, 0, 481, 601}, {159, 0, 481, 350}},   // an odd difference truncates
    };
    for (const auto& [stored, shown] : cases) {
        WindowSettings s;
        s.left = stored[0], s.top = stored[1], s.width = stored[2], s.height = stored[3];
        FitToScreen(s, 800, 600);
        EXPECT_EQ((Geometry{s.left, s.top, s.width, s.height}), shown);
    }
}

// The command lines end to end, the window left to run until it closes
// itself (or not).
TEST_F(WindowLogicTest, UnattendedConversion) {
    const struct {
        std::vector<std::string> args;
        const char* saveAs;   // the Save As dialog's answer; "": no dialog expected
        const char* written;  // "": no file
        const char* kind;     // what it holds: "lyrics" or "tag"
        bool closes;
    } cases[] = {
        // Options, empty words and a fourth file are passed over.
        {{"-zvek", "a.taglyr", "", "ref.htm", "/NoOpen", "out.lyr", "extra.txt"}, "", "out.lyr", "lyrics", true},
        {{"sub/a.taglyr", "ref.htm", "out.lyr"}, "", "sub/out.lyr", "lyrics", true},  // folders from the document
        {{"a.lyr", "ref.htm"}, "t.TagLyr", "t.TagLyr", "tag", true},  // not .taglyr: made into a tag file
        {{"a.taglyr", "missing.htm", "out.lyr"}, "", "", "", true},   // a failed conversion writes nothing
        {{"missing.taglyr", "ref.htm"}, "", "", "", true},
        {{"/CONVERT", "a.lyr"}, "", "", "", false},  // without URL= the window stays open
        {{"u.taglyr", "-Convert"}, "u.lyr", "u.lyr", "lyrics", true},
    };
    test::LoopbackServer server;
    const std::string page = test::ReadBytes(kSamplePage);
    server.Serve("/song.htm", 200, page);
    const std::string lyrics = test::SampleLyrics();
    const std::string tagFile = test::SampleTagFile("a.lyr");
    const std::filesystem::path here = std::filesystem::current_path();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        test::TempDir work;
        for (const char* folder : {"", "sub/"}) {
            test::WriteBytes(work / (folder + std::string("a.taglyr")), tagFile);
            test::WriteBytes(work / (folder + std::string("ref.htm")), page);
        }
        test::WriteBytes(work / "a.lyr", lyrics);
        test::WriteBytes(work / "u.taglyr", test::WithUrl(tagFile, server.Url("/song.htm")));
        const auto files = [&] {
            return std::distance(std::filesystem::recursive_directory_iterator(work.path()), {});
        };
        const auto before = files();

        std::filesystem::current_path(work.path());
        Make(c.args);
        if (*c.saveAs) w->host.dialogFiles.push_back(work / c.saveAs);
        w->logic.FormShow();
        while (w->RunPosted()) {}
        const std::filesystem::path after = std::filesystem::current_path();
        std::filesystem::current_path(here);

        EXPECT_EQ(w->closed, c.closes);
        EXPECT_EQ(after, work.path());  // put back after the conversion
        EXPECT_EQ(w->host.dialogs.size(), size_t(*c.saveAs ? 1 : 0));
        if (!*c.written) {
            EXPECT_EQ(files(), before);
            EXPECT_EQ(w->logic.ExitStatus() != 0, c.closes);
            continue;
        }
        const std::string bytes = test::ReadBytes(work / c.written);
        if (c.kind == std::string("lyrics")) EXPECT_EQ(bytes, lyrics);
        else EXPECT_TRUE(bytes.starts_with("[TagLyr]\r\n") && bytes != lyrics);
        EXPECT_EQ(w->logic.ExitStatus(), 0);
    }
}

// While a conversion waits for its page, commands are not started a second
// time, and a close waits for the conversion to end; a download can be
// stopped, which ends it as a page not fetched, the document as it was and
// no error box.
TEST_F(WindowLogicTest, CommandsWaitForADownloadThatCanBeStopped) {
    test::LoopbackServer server;
    server.Hold("/slow.htm", "go", test::ReadBytes(kSamplePage));
    server.Hold("/never.htm", "never", "<html></html>");
    const std::string tagFile = test::SampleTagFile("a.lyr");
    test::FakeHost& host = w->host;
    SetEditor(test::WithUrl(tagFile, server.Url("/slow.htm")));
    bool tried = false;
    host.onEvents = [&] {
        if (tried || host.status.empty()) return;
        tried = true;
        EXPECT_TRUE(Edit().readOnly && w->stopShown);
        Run("MenuTextToZVEK");
        w->Close();
        EXPECT_FALSE(w->closed);
        server.OpenGate("go");
    };
    Run("MenuConvertFromURL");
    EXPECT_TRUE(tried);
    EXPECT_EQ(Saved(Edit()), test::SampleLyrics());
    EXPECT_EQ(host.browsed.size(), 1u);
    while (w->RunPosted()) {}
    EXPECT_TRUE(w->closed);  // the close came after the conversion
    EXPECT_TRUE(host.messages.empty());

    const std::string waiting = test::WithUrl(tagFile, server.Url("/never.htm"));
    Make();
    SetEditor(waiting);
    w->host.onEvents = [&] { Run("Stop"); };
    Run("MenuConvertFromURL");
    EXPECT_EQ(Doc().ResultCode, kResultPageNotFetched);
    EXPECT_EQ(Saved(Edit()), waiting);
    EXPECT_TRUE(w->host.messages.empty());
    EXPECT_FALSE(w->stopShown);
}

// The Find menus enable what the document's lines allow, and each item
// opens the core's addresses in the browser; so do the home pages and the
// help page installed beside the program.
TEST_F(WindowLogicTest, FindMenusAndTheBrowser) {
    SetEditor("title=\r\nArtist=A B");
    auto& enabled = w->enabled;
    w->logic.Run(FindMenuNamed("MenuFind")->onOpen);
    EXPECT_FALSE(enabled["MenuOpenURL"]);
    EXPECT_TRUE(enabled["MenuFindLyricsFromTitle"] && enabled["MenuFindLyricsFromArtist"]);
    EXPECT_FALSE(enabled.contains("PopupOpenURL"));  // each menu has its own state until it opens
    w->logic.Run(FindMenuNamed("FindMenu")->onOpen);
    EXPECT_FALSE(enabled["PopupOpenURL"]);

    std::vector<std::string> expected = FindLyricsAddresses(Doc(), SearchField::Title);
    for (const auto& a : FindLyricsAddresses(Doc(), SearchField::Artist)) expected.push_back(a);
    for (const char* control : {"PopupFindLyricsFromTitle", "MenuFindLyricsFromArtist", "HPMenuUtaNet"}) Run(control);
    expected.push_back(SiteAddress(UtaNetHost(), "/"));
    Run("MenuHelpHelp");  // not installed
    std::filesystem::create_directories(dir / "bin");
    expected.push_back(*LocalPageAddress(dir.Write("share/zveklc/help/index.html", "<html></html>")));
    Run("BtnHelp");
    EXPECT_EQ(w->host.browsed, expected);

    // The browser's current page: none is shown.
    SetEditor("lyrics");
    for (const char* control : {"MenuOpenIE", "PopupConvertIE"}) Run(control);
    ASSERT_EQ(w->host.messages.size(), 2u);
    for (const auto& m : w->host.messages) EXPECT_EQ(m.text, kNoBrowserPageText);
    EXPECT_EQ(Edit().text, u"lyrics");
}

// The association is made silently at the first start and the item shows
// it; without a player the tool item is clear until chosen.
TEST_F(WindowLogicTest, DesktopIntegrationMarks) {
    auto& checked = w->checked;
    w->logic.Start();
    for (int i = 0; i < 1000 && checked.empty(); ++i)
        if (!w->RunPosted()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(checked["MenuAssocTagLyr"]);
    const std::string entry = dir / "data/applications/zveklc.desktop";
    EXPECT_TRUE(std::filesystem::exists(entry));
    EXPECT_FALSE(checked["MenuSetZVEKTool"]);
    Run("MenuSetZVEKTool");
    EXPECT_TRUE(checked["MenuSetZVEKTool"]);

    // A file of the user's under our name is replaced only when the user says so.
    test::WriteBytes(entry, "mine");
    for (const MsgResult answer : {MsgResult::Cancel, MsgResult::Yes}) {
        w->host.answers = {answer};
        Run("MenuAssocTagLyr");
        EXPECT_EQ(test::ReadBytes(entry) == "mine", answer == MsgResult::Cancel);
    }
    ASSERT_EQ(w->host.messages.size(), 2u);
    EXPECT_EQ(w->host.messages[0].text, entry + "\r\nはZVEKLCのファイルではありません。置き換えますか？");
}
