// The window's rules against a fake window: its commands against what the
// core gives for the same document, the menus' enabling, the close query,
// dropped files, the command line run to its end, a command that waits for
// a download, and the desktop integration marks. Every question and file
// dialog is answered ahead of time through the host's script.
#include <gtest/gtest.h>

#include <chrono>
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
#include "window/CommandLine.h"
#include "window/WindowController.h"

using namespace zvek;
namespace fs = std::filesystem;

namespace {

// The window and its editor, the event loop as a queue of posted calls,
// and the window logic over them with the host's script.
struct FakeWindow : WindowView, EditorView {
    std::u16string text;
    std::size_t anchor = 0, caret = 0;
    bool modified = false, readOnly = false, clipboardHasText = true, stopShown = false, closed = false;
    bool undoable = false, saved = false;  // saved: the settings
    std::string caption, edits;            // edits: the editor's own commands, "*" where the user's undo stayed
    std::map<std::string, bool, std::less<>> enabled, checked;
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
    void ShowLine(int) override { anchor = caret = 0; }
    bool CanPaste() const override { return clipboardHasText; }
    // What the clipboard commands do to the text: the Qt window's test.
    void Undo() override { Log("undo"); }
    void Cut() override { Log("cut"); }
    void Copy() override { Log("copy"); }
    void Paste() override { Log("paste"); }
    void SelectAll() override { Log("all"); }
    void Log(const char* command) { edits += command + std::string(undoable ? "* " : " "); }

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
    void SaveSettings(WindowSettings) override { saved = true; }

    // Runs what was posted; false when nothing was.
    bool RunPosted() {
        std::unique_lock lock(mutex);
        if (posted.empty()) return false;
        const std::function<void()> call = std::move(posted.front());
        posted.pop_front();
        lock.unlock();
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
    test::UserHome home{dir.path() / "home"};
    test::ScopedEnv runtime{"XDG_RUNTIME_DIR", dir.path().string()}, data{"XDG_DATA_HOME", dir / "data"},
        wine{"WINEPREFIX", dir / "wine"};
    std::unique_ptr<FakeWindow> w;

    WindowLogicTest() { Make(); }
    void Make(std::vector<std::string> args = {}) {
        w.reset();
        w = std::make_unique<FakeWindow>(std::move(args), dir / "bin/zveklc");
    }
    LyricsDocument& Doc() { return w->logic.Document(); }
    void Run(const char* control) { w->logic.Run(CommandOf(control)); }
    void SetEditor(const std::string& sjis) {
        w->text = SjisToUtf16(sjis);
        std::erase(w->text, u'\r');
        w->modified = w->undoable = false;
    }
    void Type(const std::u16string& text) {
        w->text += text;
        w->modified = w->undoable = true;
    }
};

}  // namespace

// Each command reached through its control leaves the editor with what the
// core gives for the same document, with the core's name and modified flag,
// its questions, dialogs and browser addresses, and without the undo history
// the core cleared.
TEST_F(WindowLogicTest, CommandsLeaveWhatTheCoreGives) {
    const auto find = [](SearchField field) { return [field](LyricsDocument& d) { FindLyrics(d, field); }; };
    // A control, its document (Shift-JIS) and name, and the core's command it must match.
    const std::tuple<const char*, std::string, const char*, std::function<void(LyricsDocument&)>> cases[] = {
        {"MenuTextToZVEK", test::SampleText(), "/x/song.txt", ConvertTextToZVEK},
        {"ConvMenuTextToZVEK", "  Hello  \r\n\r\nWorld", "", ConvertTextToZVEK},
        {"MenuZVEKToText", "[Spec]\r\nTitle=Song\r\n[Text]\r\n00:01:000=\"a\",\"b\"\r\n00:02:000=Hello", "/x/song.lyr",
         ConvertZVEKToText},
        {"ConvMenuWinAmpToZVEK", "[00:12:34]Hello\r\n[ar:Someone]\r\n[00:01.5]x", "", ConvertWinAmpToZVEK},
        {"MenuConvertAuto", test::SampleText(), "song.txt", MenuConvertAutoClick},
        {"PopupConvert", "[00:01:00]Hi", "w.txt", MenuConvertAutoClick},
        {"BtnConvert", "Hello", "", MenuConvertAutoClick},
        {"MenuZVEKToTag", test::SampleLyrics(), "/x/song.lyr", MenuZVEKToTagClick},
        {"ConvMenuTagToZVEK", test::SampleTagFile("song.lyr"), "/x/song.TagLyr", MenuTagToZVEKClick},
        {"MenuLrcToZVEK", test::Sjis("[ti:歌]\r\n[00:02.00]b\r\n[00:01.00][00:03.00] <00:01.50>a"), "/x/song.lrc",
         ConvertLrcToZVEK},
        {"PopupFindLyricsFromTitle", "title=\r\nArtist=A B", "", find(SearchField::Title)},
        {"MenuFindLyricsFromArtist", "title=\r\nArtist=A B", "", find(SearchField::Artist)},
        {"MenuOpenIE", "lyrics", "", MenuOpenIEClick},  // the browser shows no page
        {"PopupConvertIE", "lyrics", "", MenuConvertFromIEClick},
        {"MenuOpen", "kept", "", [](LyricsDocument& d) { d.MenuOpenClick(); }}};  // the dialog cancelled
    for (const auto& [control, sjis, fileName, core] : cases) {
        SCOPED_TRACE(control);
        const bool asksForPage = std::string(control).find("Tag") != std::string::npos;
        const test::CoreResult expected = test::RunCore(sjis, fileName, core, asksForPage ? test::kSamplePage : "");

        Make();
        SetEditor(sjis);
        w->undoable = true;  // an edit of the user's
        Doc().SetFileName(fileName);
        if (asksForPage) w->host.dialogFiles.push_back(test::kSamplePage);
        Run(control);

        EXPECT_EQ(std::tuple(Saved(*w), Doc().FileName(), w->caption, w->modified, w->undoable, test::Asked(w->host)),
                  std::tuple(expected.text, expected.fileName, ExtractFileName(expected.fileName), expected.modified,
                             !expected.newFile, expected.asked));
        EXPECT_TRUE(!w->readOnly && !w->stopShown && w->host.ScreenCursor() == crDefault);
    }
}

// Caret and selection travel into the document in its units (CR LF,
// Shift-JIS bytes) and the result's caret comes back; a conversion that
// changes nothing leaves the user's undo alone, while Cut and Paste start
// the history afresh so that Undo takes back just them.
TEST_F(WindowLogicTest, CaretSelectionAndUndoMatchTheDocument) {
    SetEditor(Utf8ToSjis("ab\r\n歌詞=x\r\n\r\nlast"));
    w->Select(6, 11);      // line 1, after "歌詞=" (two characters of two bytes, then "="), to the end
    w->logic.CheckMenu();  // copies the editor into the document
    EXPECT_EQ(std::tuple(Doc().SelStart(), Doc().SelLength(), Doc().CurrentLine()),
              std::tuple(size_t(4 + 5), size_t(1 + 2 + 2 + 2), 3));

    Run("MenuTextToZVEK");  // the caret stands below the template
    std::size_t line15 = 0;
    for (int i = 0; i < 15; ++i) line15 = w->text.find(u'\n', line15) + 1;
    EXPECT_EQ(w->Selection(), std::make_pair(line15, line15));

    SetEditor("[Spec]\r\nTitle=x");
    Type(u"yz");
    Run("MenuWinAmpToZVEK");
    EXPECT_EQ(std::tuple(w->text, w->modified, w->undoable), std::tuple(u"[Spec]\nTitle=xyz", true, true));
    for (const char* control : {"BtnUndo", "PopupCopy", "MenuAllSelect", "BtnCut", "PopupPaste"})
        Type(u"z"), Run(control);
    EXPECT_EQ(w->edits, "undo* copy* all* cut paste ");

    // LRC export has its own dialog and leaves the editor as it is; bytes
    // that are not Shift-JIS survive the editor.
    const std::string lyrics = Utf8ToSjis("[Spec]\r\nTitle=歌\r\n[Text]\r\n00:01:005=a");
    SetEditor(lyrics);
    Doc().SetFileName(dir / "song.lyr");
    w->host.dialogFiles.push_back(dir / "song.lrc");
    Run("MenuSaveLrc");
    EXPECT_EQ(w->host.dialogs.back().initialDir, dir.path().string());  // beside the document
    EXPECT_EQ(test::ReadBytes(dir / "song.lrc"), std::string("[ti:\xE6\xAD\x8C]\r\n[00:01.01]a\r\n"));
    EXPECT_EQ(std::tuple(Saved(*w), Doc().FileName()), std::tuple(lyrics + "\r\n", dir / "song.lyr"));

    const std::string raw = std::string("ok\x85\x40\xFD", 5) + "\r\n" + Utf8ToSjis("歌");
    SetEditor(raw);
    w->host.dialogFiles.push_back(dir / "raw.txt");
    Run("MenuSaveAs");
    EXPECT_EQ(test::ReadBytes(dir / "raw.txt"), raw + "\r\n");
}

// "Yes" followed by a cancelled or failed Save As keeps the window; the
// settings are saved by a close that goes ahead, and only then.
TEST_F(WindowLogicTest, CloseQueryAnswers) {
    // The answer (none: unmodified, no question expected), the Save As
    // dialog's ("": cancelled), and whether the window closes.
    const std::tuple<std::optional<MsgResult>, std::string, bool> cases[] = {
        {{}, "", true},
        {MsgResult::Cancel, "", false},
        {MsgResult::No, "", true},
        {MsgResult::Yes, "", false},
        {MsgResult::Yes, "saved.lyr", true},
        {MsgResult::Yes, "no-such-folder/saved.lyr", false}};
    test::WriteBytes(dir / "song.lyr", "a\r\n");
    for (const auto& [answer, saveAs, closes] : cases) {
        SCOPED_TRACE(saveAs);
        Make();
        test::FakeHost& host = w->host;
        host.dialogFiles.push_back(dir / "song.lyr");
        Run("MenuOpen");
        Run("MenuReopen");  // without edits: asks nothing (with them: the document's test)
        if (answer) Type(u"edit"), host.answers.push_back(*answer);
        if (!saveAs.empty()) host.dialogFiles.push_back(dir / saveAs);

        EXPECT_EQ(w->logic.CloseRequested(), closes);
        const bool failedSave = answer == MsgResult::Yes && saveAs.find('/') != std::string::npos;
        ASSERT_EQ(host.messages.size(), size_t(answer ? (failedSave ? 2 : 1) : 0));
        if (answer) {
            EXPECT_EQ(std::tie(host.messages[0].text, host.messages[0].buttons),
                      std::tuple("song.lyrを保存しますか？", MsgButtons::YesNoCancel));
        }
        EXPECT_EQ(std::tuple(w->text.ends_with(u"edit"), w->saved), std::tuple(answer.has_value(), closes));
        EXPECT_TRUE(saveAs != "saved.lyr" || test::ReadBytes(dir / "saved.lyr") == Saved(*w));
    }
}

// The Edit and Find menus, each when it opens, enable what the selection,
// the clipboard and the document's lines allow; the tool-bar buttons and
// the other items are never disabled.
TEST_F(WindowLogicTest, MenusFollowSelectionClipboardAndLines) {
    // The editor's text; whether it is selected, the clipboard holds text,
    // and the document has URL=, Title= and Artist= lines.
    const std::tuple<const char*, bool, bool, bool, bool, bool> cases[] = {
        {"Title=x", false, false, false, true, false},          {"Title=x", true, true, false, true, false},
        {"a\nURL=", false, true, true, false, false},           {"url=http://x/", true, false, true, false, false},
        {"x URL=1\nURLS=2", false, false, false, false, false}, {"title=\nArtist=A B", false, true, false, true, true}};
    for (const auto& [text, select, clipboardHasText, url, title, artist] : cases) {
        SCOPED_TRACE(text);
        Make();
        SetEditor(text);
        if (select) w->Select(0, w->text.size());
        w->clipboardHasText = clipboardHasText;
        auto& enabled = w->enabled;
        w->logic.Run(FindMenuNamed("MenuEdit")->onOpen);
        w->logic.Run(FindMenuNamed("MenuFind")->onOpen);
        // Nine items of the Edit menus, three of the Find menu; the pop-up's
        // have their own state until it opens.
        EXPECT_TRUE(enabled.size() == 12 && !enabled.contains("PopupOpenURL"));
        w->logic.Run(FindMenuNamed("FindMenu")->onOpen);
        EXPECT_EQ(enabled.size(), 15u);
        const std::pair<std::vector<const char*>, bool> groups[] = {
            {{"MenuCut", "MenuCopy", "PopupCut", "PopupCopy"}, select},
            {{"MenuPaste", "PopupPaste"}, clipboardHasText},
            {{"MenuConvertFromURL", "ConvertMenuConvertFromURL", "PopupConvertURL", "MenuOpenURL", "PopupOpenURL"},
             url},
            {{"MenuFindLyricsFromTitle", "PopupFindLyricsFromTitle"}, title},
            {{"MenuFindLyricsFromArtist", "PopupFindLyricsFromArtist"}, artist}};
        for (const auto& [names, on] : groups)
            for (const char* name : names) EXPECT_EQ(enabled[name], on) << name;
    }
}

// A page or text dropped on lyrics may make or undo a tag file; anything
// else is opened, over unsaved edits only when the user says so.
TEST_F(WindowLogicTest, DroppedFiles) {
    // The editor ("lyrics": the sample as lyrics, or as a tag file when the
    // document is one; "edited": with unsaved edits), the document's name,
    // the dropped file, the answer (none: no question expected) and what
    // comes of it: "open", "tag", "untag" or "none".
    const std::tuple<std::string, std::string, std::string, std::optional<MsgResult>, std::string> cases[] = {
        {"text", "", "a.lyr", {}, "open"},
        {"", "", "a.txt", {}, "open"},
        {"lyrics", "s.lyr", "page.HTML", MsgResult::Yes, "tag"},
        {"lyrics", "s.TagLyr", "page.htm", MsgResult::Yes, "untag"},
        {"lyrics", "s.lyr", "page.htm", MsgResult::No, "open"},
        {"lyrics", "s.lyr", "a.txt", MsgResult::Cancel, "none"},
        {"edited", "", "a.lyr", MsgResult::Cancel, "none"},
        {"edited", "", "a.lyr", MsgResult::Yes, "open"}};
    const std::string lyrics = test::SampleLyrics(), tagFile = test::SampleTagFile("s.lyr");
    for (const auto& [editor, document, dropped, answer, result] : cases) {
        SCOPED_TRACE(editor + " " + dropped);
        const std::string path = dir / dropped;
        const bool page = LowerAscii(path).find(".htm") != std::string::npos;
        test::WriteBytes(path, page ? test::ReadBytes(test::kSamplePage) : "dropped\r\n");
        Make();
        SetEditor(editor == "lyrics" ? (document.ends_with("TagLyr") ? tagFile : lyrics) : editor);
        if (editor == "edited") Type(u"!");
        const std::string before = Saved(*w);
        Doc().SetFileName(dir / document);
        if (answer) w->host.answers.push_back(*answer);

        w->logic.OnDropFiles(path);

        ASSERT_EQ(w->host.messages.size(), size_t(answer ? 1 : 0));
        const bool edited = editor == "edited";
        if (answer) {
            EXPECT_EQ(std::tie(w->host.messages[0].text, w->host.messages[0].buttons),
                      std::tuple(edited ? "編集を破棄して" + path + "を開きますか？" : "タグファイル変換をしますか？",
                                 edited ? MsgButtons::YesCancel : MsgButtons::YesNoCancel));
        }
        if (result == "open") {
            EXPECT_EQ(Saved(*w), test::RunCore("", "", [&](LyricsDocument& d) { d.OpenFile(path); }).text);
            EXPECT_EQ(std::tuple(Doc().FileName(), Doc().OpenDialog.initialDir), std::tuple(path, dir.path().string()));
        } else if (result == "tag") {
            EXPECT_EQ(Saved(*w), test::RunCore(lyrics, "s.lyr", [&](LyricsDocument& d) { MakeTagFile(d, path); }).text);
        } else {
            EXPECT_EQ(Saved(*w), result == "untag" ? lyrics : before);
        }
    }
}

// Only whole numbers are read, and only in the program's own section (its
// name in any case); anything else keeps the default.
TEST(WindowSettingsTest, ReadFromTheirOwnSection) {
    const WindowSettings s = SettingsFromIni(
        "Left=1\r\n[zveklc]\r\nLeft=12x\r\nTop=7\r\nWidth=wide\r\nHeight=\r\nOpenDir=/x\r\n[Other]\r\nTop=3\r\n");
    EXPECT_EQ(std::tuple(s.left, s.top, s.width, s.height, s.openDir), std::tuple(-1, 7, 480, 350, "/x"));
}

TEST(WindowSettingsTest, GeometryIsFittedToTheScreen) {
    // {left, top, width, height} as stored and as shown on an 800x600 screen:
    // the defaults are centred; the screen's whole width is too wide; a
    // window that reaches the edge is centred; a height below 0 is the
    // default; a top past the bottom goes up; an odd difference truncates.
    using Geometry = std::vector<int>;
    const std::pair<Geometry, Geometry> cases[] = {
        {{-1, -1, 480, 350}, {160, 125, 480, 350}}, {{0, 0, 800, 300}, {0, 0, 480, 300}},
        {{0, 0, 799, 300}, {0, 0, 799, 300}},       {{100, 10, 700, 300}, {50, 10, 700, 300}},
        {{5, 5, 100, -2}, {5, 5, 100, 350}},        {{5, 590, 100, 100}, {5, 250, 100, 100}},
        {{-5, 0, 481, 601}, {159, 0, 481, 350}}};
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
    // The command line, the Save As dialog's answer ("": no dialog
    // expected), the file written ("": none), and whether the window closes.
    const std::tuple<std::vector<std::string>, std::string, std::string, bool> cases[] = {
        // Options, empty words and a fourth file are passed over.
        {{"-zvek", "a.taglyr", "", "ref.htm", "/NoOpen", "out.lyr", "extra.txt"}, "", "out.lyr", true},
        {{"sub/a.taglyr", "ref.htm", "out.lyr"}, "", "sub/out.lyr", true},  // folders from the document
        // Not .taglyr: made into a tag file; a name that starts with "/" is a path.
        {{"a.lyr", test::kSamplePage}, "t.TagLyr", "t.TagLyr", true},
        {{"a.taglyr", "missing.htm", "out.lyr"}, "", "", true},  // a failed conversion writes nothing
        {{"missing.taglyr", "ref.htm"}, "", "", true},
        {{"missing.taglyr", "ref.htm", "out.lyr"}, "", "", true},
        {{"/CONVERT", "a.lyr"}, "", "", false},  // without URL= the window stays open
        {{"u.taglyr", "-Convert"}, "u.lyr", "u.lyr", true}};
    test::LoopbackServer server;
    const std::string page = test::ReadBytes(test::kSamplePage), lyrics = test::SampleLyrics();
    const std::string tagFile = test::SampleTagFile("a.lyr");
    server.Serve("/song.htm", 200, page);
    const std::pair<const char*, std::string> inputs[] = {
        {"a.taglyr", tagFile}, {"sub/a.taglyr", tagFile},
        {"ref.htm", page},     {"sub/ref.htm", page},
        {"a.lyr", lyrics},     {"u.taglyr", test::WithUrl(tagFile, server.Url("/song.htm"))}};
    const fs::path here = fs::current_path();
    for (const auto& [args, saveAs, written, closes] : cases) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        test::TempDir work;
        for (const auto& [name, bytes] : inputs) work.Write(name, bytes);
        const auto files = [&] { return std::distance(fs::recursive_directory_iterator(work.path()), {}); };
        const auto before = files();

        fs::current_path(work.path());
        Make(args);
        if (!saveAs.empty()) w->host.dialogFiles.push_back(work / saveAs);
        testing::internal::CaptureStderr();
        w->logic.FormShow();
        while (w->RunPosted()) {}
        const std::string errors = testing::internal::GetCapturedStderr();
        const fs::path after = fs::current_path();
        fs::current_path(here);
        // With its output named it is a script's: its errors go to standard
        // error, and nothing waits for a click.
        if (!ScanArguments(args).output.empty()) {
            EXPECT_EQ(std::tuple(w->host.messages.size(), errors.empty()), std::tuple(0u, !written.empty()));
        }

        // The working folder is put back after the conversion.
        EXPECT_EQ(std::tuple(w->closed, after, w->host.dialogs.size()),
                  std::tuple(closes, work.path(), size_t(saveAs.empty() ? 0 : 1)));
        if (written.empty()) {
            EXPECT_EQ(std::tuple(files(), w->logic.ExitStatus() != 0), std::tuple(before, closes));
            continue;
        }
        const std::string bytes = test::ReadBytes(work / written);
        if (written.ends_with("TagLyr")) EXPECT_TRUE(bytes.starts_with("[TagLyr]\r\n") && bytes != lyrics);
        else EXPECT_EQ(bytes, lyrics);
        EXPECT_EQ(w->logic.ExitStatus(), 0);
    }
}

// While a conversion waits for its page, commands are not started a second
// time, and a close waits for the conversion to end; a download can be
// stopped, which ends it as a page not fetched, the document as it was and
// no error box. The rebuilt lyrics exist only in the editor: closing asks.
TEST_F(WindowLogicTest, CommandsWaitForADownloadThatCanBeStopped) {
    test::LoopbackServer server;
    server.Hold("/slow.htm", "go", test::ReadBytes(test::kSamplePage));
    server.Hold("/never.htm", "never", "<html></html>");
    const std::string tagFile = test::SampleTagFile("a.lyr");
    test::FakeHost& host = w->host;
    SetEditor(test::WithUrl(tagFile, server.Url("/slow.htm")));
    bool tried = false;
    host.onEvents = [&] {
        if (tried || host.status.empty()) return;
        tried = true;
        EXPECT_TRUE(w->readOnly && w->stopShown);
        Run("MenuTextToZVEK");
        w->Close();
        EXPECT_FALSE(w->closed);
        server.OpenGate("go");
    };
    Run("MenuConvertFromURL");
    EXPECT_EQ(std::tuple(tried, Saved(*w), host.browsed.size()), std::tuple(true, test::SampleLyrics(), 1u));
    host.answers = {MsgResult::No};
    while (w->RunPosted()) {}
    EXPECT_EQ(std::tuple(w->closed, test::Asked(host)),  // the close came after the conversion
              std::tuple(true, "a.lyrを保存しますか？\n" + server.Url("/slow.htm") + "\n"));

    const std::string waiting = test::WithUrl(tagFile, server.Url("/never.htm"));
    Make();
    SetEditor(waiting);
    w->host.onEvents = [&] { Run("Stop"); };
    const auto started = std::chrono::steady_clock::now();
    Run("MenuConvertFromURL");
    // Without the stop the server would hold it until the stall time-out (30 s).
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(std::tuple(Doc().ResultCode, Saved(*w), w->host.messages.size(), w->stopShown),
              std::tuple(kResultPageNotFetched, waiting, 0u, false));
}

// The home pages open in the browser, and so does the help page once it is
// installed beside the program; a browser that cannot be started is
// reported with the address.
TEST_F(WindowLogicTest, HomeAndHelpPagesOpenInTheBrowser) {
    Run("HPMenuUtaNet");
    Run("MenuHALDESOFT");
    Run("MenuHelpHelp");  // not installed
    fs::create_directories(dir / "bin");
    const std::string help = dir.Write("share/zveklc/help/index.html", "<html></html>");
    Run("BtnHelp");
    w->host.noBrowser = true;
    Run("HPMenuUtaMap");
    const std::string utaMap = SiteAddress(UtaMapHost(), "/");
    EXPECT_EQ(test::Asked(w->host),
              "ヘルプが見つかりません：" + (dir.path() / "share/zveklc/help/index.html").make_preferred().string() +
                  "\nブラウザを起動できませんでした\r\n次のアドレスをブラウザで開いてください：\r\n" + utaMap + "\n" +
                  SiteAddress(UtaNetHost(), "/") + "\n" + SiteAddress(HomeHost(), "/") + "\n" +
                  *LocalPageAddress(help) + "\n" + utaMap + "\n");
}

// The reference dialog proposes the page a tag file names beside it, never
// the document, which it refuses; Tag→ZVEK on lyrics says so and asks
// nothing; a stop ends a conversion and leaves the document as it was.
TEST_F(WindowLogicTest, ReferenceDialogAndStop) {
    const std::string page = dir.Write("sample.htm", test::ReadBytes(test::kSamplePage));
    const std::string tagFile = dir.Write("s.TagLyr", test::SampleTagFile("s.lyr")), lyrics = test::SampleLyrics();
    test::FakeHost& host = w->host;
    SetEditor(test::ReadBytes(tagFile));
    Doc().SetFileName(tagFile);
    host.dialogFiles = {tagFile};
    Run("MenuTagToZVEK");
    EXPECT_EQ(std::tuple(Saved(*w), host.dialogs.back().fileName), std::tuple(test::ReadBytes(tagFile), page));

    SetEditor(lyrics);
    Doc().SetFileName(dir / "s.lyr");
    Doc().OpenDialog.fileName = dir / "s.lyr";
    host.dialogFiles = {page};
    // The progress moves the caret to the line it counts.
    std::pair<std::string, int> progress;
    host.onEvents = [&] {
        progress = {host.status.empty() ? "" : host.status.back(), Doc().CurrentLine()};
        Run("Stop");
    };
    Run("ConvMenuTagToZVEK");
    w->Select(3, 5);
    Run("MenuZVEKToTag");
    EXPECT_NE(progress.first.find(" " + std::to_string(progress.second) + "/"), std::string::npos) << progress.second;
    EXPECT_EQ(std::tuple(Saved(*w), w->Selection(), host.dialogs.back().fileName, host.status.back()),
              std::tuple(lyrics, std::pair<size_t, size_t>(3, 5), "", "中止しました"));
    EXPECT_EQ(test::Asked(host),
              "s.TagLyrは変換する文書そのものです\r\n参照する歌詞ページか歌詞テキストを選んでください\n"
              "タグファイルではありません（[TagLyr]がありません）\n参照する歌詞テキスト 4\n参照する歌詞テキスト 4\n");
}

// After each command the status line says what it did, or nothing.
TEST_F(WindowLogicTest, StatusLineSaysWhatACommandDid) {
    auto& status = w->host.status;
    status.push_back("開く...");  // a hint left behind
    Run("MenuOpen");              // cancelled
    std::vector<std::string> shown{status.back()};
    SetEditor(test::SampleLyrics());
    w->host.dialogFiles = {test::kSamplePage};
    Run("BtnConvert");
    shown.push_back(status.back());
    w->host.dialogFiles = {dir / "w.TagLyr"};
    Run("MenuSaveAs");
    shown.push_back(status.back());
    EXPECT_EQ(shown, (std::vector<std::string>{"", "Convert Auto: ZVEK→Tag", "保存しました：" + dir / "w.TagLyr"}));
}

// The association is made silently at the first start and the item shows
// it; without a player the tool item stays clear and says why.
TEST_F(WindowLogicTest, DesktopIntegrationMarks) {
    auto& checked = w->checked;
    w->logic.Start();
    for (int i = 0; i < 1000 && checked.empty(); ++i)
        if (!w->RunPosted()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(checked["MenuAssocTagLyr"] && !checked["MenuSetZVEKTool"]);
    Run("MenuSetZVEKTool");
    EXPECT_EQ(std::tuple(checked["MenuSetZVEKTool"], test::Asked(w->host)),
              std::tuple(false, "ZVEKが見つからないため、ツール登録できませんでした\n"));
    w->host.messages.clear();

    // A file of the user's under our name is replaced only when the user says
    // so (another program's class in the registry: the Windows shell test).
    if (!test::kLinuxDesktop) return;
    const std::string entry = dir / "data/applications/zveklc.desktop";
    ASSERT_TRUE(fs::exists(entry));
    test::WriteBytes(entry, "mine");
    for (const MsgResult answer : {MsgResult::Cancel, MsgResult::Yes}) {
        w->host.answers = {answer};
        Run("MenuAssocTagLyr");
        EXPECT_EQ(test::ReadBytes(entry) == "mine", answer == MsgResult::Cancel);
    }
    ASSERT_EQ(w->host.messages.size(), 2u);
    EXPECT_EQ(w->host.messages[0].text, entry + "\r\nはZVEKLCのファイルではありません。置き換えますか？");
}
