// The desktop window, offscreen: its controls, its commands against what the
// core gives for the same document, the close query, settings, the
// command line and dropped files. Every question and file dialog is
// answered ahead of time through the host's script.
#include <QtTest>
#include <QtWidgets>
#include <filesystem>
#include <memory>

#include "LoopbackServer.h"
#include "TestSupport.h"
#include "app/LyricsEdit.h"
#include "app/Main.h"
#include "app/Settings.h"
#include "lyrics/OpenBrowserPage.h"
#include "lyrics/Conversions.h"
#include "lyrics/Lrc.h"
#include "lyrics/FindCommands.h"
#include "platform/Files.h"
#include "tags/AutoConvert.h"
#include "tags/TagConversions.h"
#include "text/Codec.h"
#include "web/LyricsSites.h"

using namespace zvek;

namespace {

QString U(const std::string& utf8) { return QString::fromStdString(utf8); }

// The sample song as plain text, and a player lyrics file made from it.
std::string SampleText() { return test::ReadBytes(ZVEKLC_SAMPLES "/sample.txt"); }

// What the core makes of `sjis` (named `fileName`) through `convert`.
struct CoreResult {
    std::string text;  // Shift-JIS, CR LF
    std::string fileName;
    bool modified;
};
CoreResult RunCore(const std::string& sjis, const std::string& fileName,
                   const std::function<void(LyricsDocument&)>& convert, const std::string& dialogFile = {}) {
    test::FakeHost host;
    if (!dialogFile.empty()) host.dialogFiles.push_back(dialogFile);
    LyricsDocument doc(host);
    doc.SetText(sjis);
    doc.SetFileName(fileName);
    convert(doc);
    return {doc.Text(), doc.FileName(), doc.Modified};
}

constexpr const char* kSamplePage = ZVEKLC_SAMPLES "/sample.htm";

// The sample song as player lyrics, and as a tag file made from them
// against the sample page while the lyrics were named `name`.
std::string SampleLyrics() {
    return RunCore(SampleText(), "", [](LyricsDocument& d) { ConvertTextToZVEK(d); }).text;
}
std::string SampleTagFile(const std::string& name) {
    return RunCore(SampleLyrics(), name, [](LyricsDocument& d) { MakeTagFile(d, kSamplePage); }).text;
}

// Editor text as the document would save it.
std::string Saved(const QPlainTextEdit& edit) {
    const QString text = edit.toPlainText();
    return test::CrLf(
        SplitLines(Utf16ToSjis(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), text.size()))));
}

// A tag file that names its page: the URL= line goes into the header.
std::string WithUrl(const std::string& tagFile, const std::string& url) {
    const std::string first = "[TagLyr]\r\n";
    return first + "URL=" + url + "\r\n" + tagFile.substr(first.size());
}

// Rows of the data-driven tests.
// A command, its document (UTF-8, or the sample song as "sample", "lyrics" or
// "tagfile") and name, and the core's conversion it must match.
enum class Core { Text, Untext, WinAmp, Auto, Tag, Untag, Lrc };
struct CommandCase { const char* action; const char* input; const char* fileName; Core core; };
// The close query's answer (-1: no question expected) and the Save As
// dialog's file ("" = cancelled).
struct CloseCase { bool modified; int answer; const char* saveAs; bool closes; };
// The editor's text, what the clipboard holds ("" = an image, no text), and
// whether Cut/Copy and the URL items should be enabled.
struct MenuCase { const char* text; bool select; const char* clipboard; bool url; };
// The editor ("lyrics" = the sample as lyrics, or as a tag file when the
// document is one), the dropped file, the answer to the question (-1: none
// expected) and the editor afterwards: "open", "tag", "untag" or "none".
struct DropCase { const char* editor; const char* documentName; const char* dropped; int answer; const char* result; };
// A command line run to its end: the Save As dialog's answer ("" = no
// dialog expected), the file written ("" = none) and what it holds
// ("lyrics" or "tag"), and whether the window closes itself.
struct UnattendedCase { std::vector<std::string> args; const char* saveAs, *written, *kind; bool closes; };

}  // namespace

Q_DECLARE_METATYPE(CommandCase)
Q_DECLARE_METATYPE(CloseCase)
Q_DECLARE_METATYPE(MenuCase)
Q_DECLARE_METATYPE(DropCase)
Q_DECLARE_METATYPE(UnattendedCase)

class WindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir runtime_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TFormMain> form_;
    HostScript script_;

    std::string Path(const std::string& name) const { return dir_->filePath(U(name)).toStdString(); }
    QString SettingsPath() const { return dir_->filePath(QStringLiteral("cfg/zveklc.ini")); }

    TFormMain& Make(std::vector<std::string> args = {}) {
        form_ = std::make_unique<TFormMain>(std::move(args), SettingsPath());
        script_ = HostScript();
        form_->Host().SetScript(&script_);
        return *form_;
    }
    QAction* Act(const char* name) const { return form_->findChild<QAction*>(QString::fromLatin1(name)); }
    LyricsEdit& Edit() const { return form_->Editor(); }
    void Type(const QString& text) { QTest::keyClicks(&Edit(), text); }
    void SetEditor(const std::string& sjis) {
        Edit().setPlainText(U(SjisToUtf8(sjis)));
        Edit().document()->setModified(false);
    }
    // Drags files onto the window and drops them there; true when the
    // window took the drag.
    bool Drop(const std::vector<std::string>& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const auto& path : paths) urls << QUrl::fromLocalFile(U(path));
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form_.get(), &enter);
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form_.get(), &drop);
        QCoreApplication::processEvents();  // the drop is handled once the drag has ended
        return enter.isAccepted() && drop.isAccepted();
    }
    // Shows the window and lets it run until it closes itself (or not).
    bool RunsToClose(TFormMain& form, bool expected) {
        form.show();
        return QTest::qWaitFor([&] { return !form.isVisible(); }, expected ? 10000 : 300);
    }

private slots:
    void initTestCase() {
        // Downloads keep their lock files, the window its settings and the
        // desktop its association in folders of the test's own; no browser
        // page and no player are found there.
        QVERIFY(runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toUtf8());
        qputenv("HOME", runtime_.filePath(QStringLiteral("home")).toUtf8());
        qputenv("XDG_DATA_HOME", runtime_.filePath(QStringLiteral("data")).toUtf8());
        qputenv("WINEPREFIX", runtime_.filePath(QStringLiteral("wine")).toUtf8());
    }
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        qputenv("XDG_CONFIG_HOME", dir_->filePath(QStringLiteral("cfg")).toUtf8());
        Make();
    }
    void cleanup() {
        form_.reset();
        dir_.reset();
    }

    // Every menu in order, each item with its name, caption, hint and
    // shortcut, and the tool bar's buttons with their hints, cursors and
    // drop-down menus, against the description in the test data.
    void controlsMatchTheirDescription() {
        auto row = [](QStringList fields) {
            while (fields.back().isEmpty()) fields.removeLast();
            return "  " + fields.join(" | ");
        };
        QStringList lines;
        for (const QAction* a : form_->menuBar()->actions()) lines << a->menu()->objectName() + " " + a->text();
        for (const char* name : {"MenuFile", "MenuEdit", "MenuConvert", "MenuFind", "MenuHelp", "ConvertMenu",
                                 "HomePageMenu", "FindMenu", "PopupMenu"}) {
            lines << QString::fromLatin1(name);
            for (const QAction* a : form_->findChild<QMenu*>(QString::fromLatin1(name))->actions())
                lines << (a->isSeparator() ? "  -" : row({a->objectName(), a->text(), a->statusTip(), a->shortcut().toString()}));
        }
        lines << QStringLiteral("ToolBar1");
        auto* bar = form_->findChild<QToolBar*>(QStringLiteral("ToolBar1"));
        for (QAction* a : bar->actions()) {
            const auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(a));
            if (a->isSeparator()) {
                lines << "  -";
                continue;
            }
            QVERIFY(button && !button->icon().isNull());
            QCOMPARE(button->toolTip(), button->statusTip());
            const char* popup[] = {"delayed", "menu button", "instant"};
            lines << row({button->objectName(), button->statusTip(),
                          button->cursor().shape() == Qt::PointingHandCursor ? "hand" : "arrow",
                          button->menu() ? button->menu()->objectName() + " " + popup[button->popupMode()] : ""});
        }
        lines << QString();  // the file ends with a line break
        const QStringList expected =
            QString::fromUtf8(test::ReadBytes(ZVEKLC_TEST_DATA "/app/window-controls.txt")).split('\n');
        for (qsizetype i = 0; i < std::max(lines.size(), expected.size()); ++i) QCOMPARE(lines.value(i), expected.value(i));
        QCOMPARE(form_->windowTitle(), QStringLiteral("ZVEK Lyrics Converter Ver.6.310"));
        QCOMPARE(Edit().lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(Edit().font().pixelSize(), 16);
        QCOMPARE(Edit().font().families().front(), QStringLiteral("ＭＳ ゴシック"));
    }

    // Each command reached through its action (or tool button) leaves the
    // editor with what the core gives for the same document, with the core's
    // name and modified flag, and without the undo history the conversion cleared.
    void commandsLeaveWhatTheCoreGives_data() {
        QTest::addColumn<CommandCase>("c");
        const char* lyr = "[Spec]\nTitle=Song\n[Text]\n00:01:000=\"a\",\"b\"\n00:02:000=Hello";
        QTest::newRow("text") << CommandCase{"MenuTextToZVEK", "sample", "/x/song.txt", Core::Text};
        QTest::newRow("text drop-down") << CommandCase{"ConvMenuTextToZVEK", "  Hello  \n\nWorld", "", Core::Text};
        QTest::newRow("untext") << CommandCase{"MenuZVEKToText", lyr, "/x/song.lyr", Core::Untext};
        QTest::newRow("winamp") << CommandCase{"ConvMenuWinAmpToZVEK", "[00:12:34]Hello\n[ar:Someone]\n[00:01.5]x", "",
                                               Core::WinAmp};
        QTest::newRow("auto text") << CommandCase{"MenuConvertAuto", "sample", "song.txt", Core::Auto};
        QTest::newRow("auto popup winamp") << CommandCase{"PopupConvert", "[00:01:00]Hi", "w.txt", Core::Auto};
        QTest::newRow("auto tool button") << CommandCase{"BtnConvert", "Hello", "", Core::Auto};
        QTest::newRow("zvek to tag") << CommandCase{"MenuZVEKToTag", "lyrics", "/x/song.lyr", Core::Tag};
        QTest::newRow("tag to zvek") << CommandCase{"ConvMenuTagToZVEK", "tagfile", "/x/song.TagLyr", Core::Untag};
        QTest::newRow("lrc") << CommandCase{"MenuLrcToZVEK", "[ti:歌]\n[00:02.00]b\n[00:01.00][00:03.00] <00:01.50>a",
                                            "/x/song.lrc", Core::Lrc};
    }
    void commandsLeaveWhatTheCoreGives() {
        QFETCH(CommandCase, c);
        const std::string input = c.input;
        const std::string sjis = input == "sample" ? SampleText() : input == "lyrics" ? SampleLyrics()
                                 : input == "tagfile" ? SampleTagFile("song.lyr") : Utf8ToSjis(input);
        const bool asksForPage = c.core == Core::Tag || c.core == Core::Untag;
        const std::function<void(LyricsDocument&)> core[] = {
            [](LyricsDocument& d) { ConvertTextToZVEK(d); },   [](LyricsDocument& d) { ConvertZVEKToText(d); },
            [](LyricsDocument& d) { ConvertWinAmpToZVEK(d); }, [](LyricsDocument& d) { zvek::MenuConvertAutoClick(d); },
            [](LyricsDocument& d) { zvek::MenuZVEKToTagClick(d); },
            [](LyricsDocument& d) { zvek::MenuTagToZVEKClick(d); }, [](LyricsDocument& d) { ConvertLrcToZVEK(d); },
        };
        const CoreResult expected = RunCore(sjis, c.fileName, core[int(c.core)], asksForPage ? kSamplePage : "");

        SetEditor(sjis);
        Type(QStringLiteral("x"));  // an edit the conversion's cleared history must not keep
        Edit().undo();
        QVERIFY(Edit().document()->isRedoAvailable());
        form_->Document().SetFileName(c.fileName);
        if (asksForPage) script_.files.push_back(kSamplePage);
        if (auto* button = form_->findChild<QToolButton*>(QString::fromLatin1(c.action))) button->click();
        else Act(c.action)->trigger();

        QCOMPARE(Saved(Edit()), expected.text);
        QCOMPARE(form_->Document().FileName(), expected.fileName);
        QCOMPARE(form_->windowTitle(), U(ExtractFileName(expected.fileName)));
        QCOMPARE(Edit().document()->isModified(), expected.modified);
        QVERIFY(!Edit().document()->isUndoAvailable() && !Edit().document()->isRedoAvailable());
        QVERIFY(!Edit().isReadOnly());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(script_.dialogs.size(), size_t(asksForPage ? 1 : 0));
        if (asksForPage) {
            QCOMPARE(script_.dialogs[0].title, std::string("歌詞テキスト"));
            QCOMPARE(script_.dialogs[0].filterIndex, 4);
        }
    }

    // A WinAmp conversion of a document that is already player lyrics
    // changes nothing, the user's undo included.
    void unchangedDocumentKeepsTheUndoHistory() {
        SetEditor("[Spec]\r\nTitle=x");
        Edit().moveCursor(QTextCursor::End);
        Type(QStringLiteral("yz"));
        Act("MenuWinAmpToZVEK")->trigger();
        QCOMPARE(Edit().toPlainText(), QStringLiteral("[Spec]\nTitle=xyz"));
        QVERIFY(Edit().document()->isModified());
        Act("MenuUndo")->trigger();
        QCOMPARE(Edit().toPlainText(), QStringLiteral("[Spec]\nTitle=x"));
    }

    // Caret and selection travel into the document in its units (CR LF,
    // Shift-JIS bytes) and the result's caret comes back.
    void caretAndSelectionMatchTheDocument() {
        SetEditor(Utf8ToSjis("ab\r\n歌詞=x\r\n\r\nlast"));
        QTextCursor c(Edit().document());
        c.setPosition(6);  // line 1, after "歌詞=" (two characters of two bytes, then "=")
        c.setPosition(11, QTextCursor::KeepAnchor);
        Edit().setTextCursor(c);
        form_->CheckMenu();  // copies the editor into the document
        QCOMPARE(form_->Document().SelStart(), size_t(4 + 5));
        QCOMPARE(form_->Document().SelLength(), size_t(1 + 2 + 2 + 2));
        QCOMPARE(form_->Document().CurrentLine(), 3);

        Act("MenuTextToZVEK")->trigger();  // the caret stands below the template
        QCOMPARE(Edit().textCursor().blockNumber(), 15);
        QVERIFY(!Edit().textCursor().hasSelection());
    }

    // LRC export has its own dialog and leaves the editor as it is.
    void lrcExportKeepsTheEditor() {
        const std::string lyrics = Utf8ToSjis("[Spec]\r\nTitle=歌\r\n[Text]\r\n00:01:005=a");
        SetEditor(lyrics);
        form_->Document().SetFileName(Path("song.lyr"));
        script_.files.push_back(Path("song.lrc"));
        Act("MenuSaveLrc")->trigger();
        QCOMPARE(test::ReadBytes(Path("song.lrc")), std::string("[ti:\xE6\xAD\x8C]\r\n[00:01.01]a\r\n"));
        QCOMPARE(Saved(Edit()), lyrics + "\r\n");
        QCOMPARE(form_->Document().FileName(), Path("song.lyr"));
    }

    void bytesThatAreNotShiftJisSurviveTheEditor() {
        const std::string raw = std::string("ok\x85\x40\xFD", 5) + "\r\n" + Utf8ToSjis("歌");
        SetEditor(raw);
        form_->Document().SetFileName(Path("raw.txt"));
        script_.files.push_back(Path("raw.txt"));
        Act("MenuSaveAs")->trigger();
        QCOMPARE(test::ReadBytes(Path("raw.txt")), raw + "\r\n");
    }

    // 16: "Yes" followed by a cancelled or failed Save As keeps the window.
    void closeQueryAnswers_data() {
        QTest::addColumn<CloseCase>("c");
        QTest::newRow("unmodified") << CloseCase{false, -1, "", true};
        QTest::newRow("cancel") << CloseCase{true, int(MsgResult::Cancel), "", false};
        QTest::newRow("no") << CloseCase{true, int(MsgResult::No), "", true};
        QTest::newRow("yes, saved") << CloseCase{true, int(MsgResult::Yes), "saved.lyr", true};
        QTest::newRow("yes, dialog cancelled") << CloseCase{true, int(MsgResult::Yes), "", false};
        QTest::newRow("yes, save fails") << CloseCase{true, int(MsgResult::Yes), "no-such-folder/saved.lyr", false};
    }
    void closeQueryAnswers() {
        QFETCH(CloseCase, c);
        const std::string saveAs = c.saveAs;
        test::WriteBytes(Path("song.lyr"), "a\r\n");
        script_.files.push_back(Path("song.lyr"));
        Act("MenuOpen")->trigger();
        if (c.modified) Type(QStringLiteral("edit"));
        if (c.answer >= 0) script_.answers.push_back(static_cast<MsgResult>(c.answer));
        if (!saveAs.empty()) script_.files.push_back(Path(c.saveAs));

        QCloseEvent close;
        QApplication::sendEvent(form_.get(), &close);
        QCOMPARE(close.isAccepted(), c.closes);
        if (c.modified) {
            QCOMPARE(script_.asked.size(), size_t(c.answer == int(MsgResult::Yes) && saveAs.find('/') != std::string::npos ? 2 : 1));
            QCOMPARE(script_.asked[0].text, std::string("song.lyrを保存しますか？"));
            QCOMPARE(script_.asked[0].buttons, MsgButtons::YesNoCancel);
        } else {
            QVERIFY(script_.asked.empty());
        }
        QCOMPARE(Edit().toPlainText().startsWith(QLatin1String("edit")), c.modified);
        // Settings are written by a close that goes ahead, and only then.
        QCOMPARE(QFile::exists(SettingsPath()), c.closes);
        if (saveAs == "saved.lyr") QVERIFY(test::ReadBytes(Path("saved.lyr")).starts_with("edita"));
    }

    // Opening over unsaved edits asks first, for Reopen and a drop as for Open.
    void reopenAndDropAskOnlyAboutUnsavedEdits() {
        test::WriteBytes(Path("r.lyr"), "orig\r\n");
        script_.files.push_back(Path("r.lyr"));
        Act("MenuOpen")->trigger();
        QCOMPARE(form_->windowTitle(), QStringLiteral("r.lyr"));
        Act("MenuReopen")->trigger();
        QVERIFY(script_.asked.empty());
        Type(QStringLiteral("new "));
        Act("MenuReopen")->trigger();  // Cancel
        QCOMPARE(script_.asked.back().text, "編集を破棄して" + Path("r.lyr") + "を開き直しますか？");
        QCOMPARE(Edit().toPlainText(), QStringLiteral("new orig"));
        script_.answers.push_back(MsgResult::Yes);
        Act("MenuReopen")->trigger();
        QCOMPARE(Edit().toPlainText(), QStringLiteral("orig"));
        QVERIFY(!Edit().document()->isModified());
        // A file dropped over unsaved edits asks first too.
        Type(QStringLiteral("mine"));
        QVERIFY(Drop({Path("r.lyr")}));
        QCOMPARE(script_.asked.back().text, "編集を破棄して" + Path("r.lyr") + "を開きますか？");
        QCOMPARE(Edit().toPlainText(), QStringLiteral("mineorig"));
    }

    void checkMenuFollowsSelectionClipboardAndUrlLine_data() {
        QTest::addColumn<MenuCase>("c");
        QTest::newRow("nothing") << MenuCase{"Title=x", false, "", false};
        QTest::newRow("selection and text") << MenuCase{"Title=x", true, "t", false};
        QTest::newRow("URL= empty") << MenuCase{"a\nURL=", false, "t", true};
        QTest::newRow("lower case url") << MenuCase{"url=http://x/", true, "", true};
        QTest::newRow("not the name") << MenuCase{"x URL=1\nURLS=2", false, "", false};
    }
    void checkMenuFollowsSelectionClipboardAndUrlLine() {
        QFETCH(MenuCase, c);
        const bool select = c.select, url = c.url, paste = *c.clipboard;
        Edit().setPlainText(QString::fromUtf8(c.text));
        if (select) Edit().selectAll();
        auto* clipboard = new QMimeData;
        if (paste) clipboard->setText(QString::fromUtf8(c.clipboard));
        else clipboard->setData(QStringLiteral("image/png"), "png");
        QGuiApplication::clipboard()->setMimeData(clipboard);
        form_->findChild<QMenu*>(QStringLiteral("MenuEdit"))->aboutToShow();
        for (const char* name : {"MenuCut", "MenuCopy", "PopupCut", "PopupCopy"}) QCOMPARE(Act(name)->isEnabled(), select);
        QCOMPARE(Act("MenuPaste")->isEnabled(), paste);
        QCOMPARE(Act("PopupPaste")->isEnabled(), paste);
        for (const char* name : {"MenuConvertFromURL", "ConvertMenuConvertFromURL", "PopupConvertURL"})
            QCOMPARE(Act(name)->isEnabled(), url);
        // The tool-bar buttons and the other items are never disabled.
        QVERIFY(form_->findChild<QToolButton*>(QStringLiteral("BtnCut"))->isEnabled());
        QVERIFY(Act("MenuUndo")->isEnabled() && Act("MenuAllSelect")->isEnabled());
    }

    // Cut and Paste start the undo history afresh: Undo takes back just them.
    void undoAfterCutAndPaste() {
        form_->show();
        QApplication::setActiveWindow(form_.get());
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        Edit().setFocus();
        Type(QStringLiteral("abc"));
        QGuiApplication::clipboard()->setText(QStringLiteral("XY"));
        QTest::keyClick(&Edit(), Qt::Key_V, Qt::ControlModifier);  // the window's Paste
        QCOMPARE(Edit().toPlainText(), QStringLiteral("abcXY"));
        Act("MenuUndo")->trigger();
        Act("MenuUndo")->trigger();
        QCOMPARE(Edit().toPlainText(), QStringLiteral("abc"));

        Edit().selectAll();
        form_->findChild<QToolButton*>(QStringLiteral("BtnCut"))->click();
        QCOMPARE(Edit().toPlainText(), QString());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("abc"));
        Act("PopupUndo")->trigger();
        Act("PopupUndo")->trigger();
        QCOMPARE(Edit().toPlainText(), QStringLiteral("abc"));

        Act("MenuAllSelect")->trigger();
        Act("MenuCopy")->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("abc"));
    }

    void droppedFiles_data() {
        QTest::addColumn<DropCase>("c");
        const int yes = int(MsgResult::Yes), no = int(MsgResult::No), cancel = int(MsgResult::Cancel);
        QTest::newRow("lyr opens at once") << DropCase{"text", "", "a.lyr", -1, "open"};
        QTest::newRow("txt on an empty editor opens") << DropCase{"", "", "a.txt", -1, "open"};
        QTest::newRow("HTML page: yes makes a tag file") << DropCase{"lyrics", "s.lyr", "page.HTML", yes, "tag"};
        QTest::newRow("yes on a tag file restores") << DropCase{"lyrics", "s.TagLyr", "page.htm", yes, "untag"};
        QTest::newRow("no opens the page") << DropCase{"lyrics", "s.lyr", "page.htm", no, "open"};
        QTest::newRow("cancel does nothing") << DropCase{"lyrics", "s.lyr", "a.txt", cancel, "none"};
    }
    void droppedFiles() {
        QFETCH(DropCase, c);
        const std::string editor = c.editor, documentName = c.documentName, result = c.result;
        const int answer = c.answer;
        const std::string lyrics = SampleLyrics();
        const std::string tagFile = SampleTagFile("s.lyr");
        const std::string path = Path(c.dropped);
        const bool page = QString::fromUtf8(c.dropped).contains(".htm", Qt::CaseInsensitive);
        test::WriteBytes(path, page ? test::ReadBytes(kSamplePage) : "dropped\r\n");
        test::WriteBytes(Path("second.lyr"), "second\r\n");
        SetEditor(editor == "lyrics" ? (documentName.ends_with("TagLyr") ? tagFile : lyrics) : editor);
        std::string expected = Saved(Edit());  // where nothing is opened or converted
        form_->Document().SetFileName(Path(documentName));
        if (answer >= 0) script_.answers.push_back(static_cast<MsgResult>(answer));

        QVERIFY(Drop({path, Path("second.lyr")}));

        if (answer >= 0) {
            QCOMPARE(script_.asked.at(0).text, std::string("タグファイル変換をしますか？"));
            QCOMPARE(script_.asked.at(0).buttons, MsgButtons::YesNoCancel);
        } else {
            QVERIFY(script_.asked.empty());
        }
        if (result == "open") {
            expected = RunCore("", "", [&](LyricsDocument& d) { d.OpenFile(path); }).text;
            QCOMPARE(form_->Document().FileName(), path);
            QCOMPARE(form_->Document().OpenDialog.initialDir, dir_->path().toStdString());
        } else if (result == "tag") {
            expected = RunCore(lyrics, "s.lyr", [&](LyricsDocument& d) { MakeTagFile(d, path); }).text;
        } else if (result == "untag") {
            expected = RunCore(tagFile, "s.TagLyr", [&](LyricsDocument& d) { RestoreFromTagFile(d, path); }).text;
            QCOMPARE(expected, lyrics);
        }
        QCOMPARE(Saved(Edit()), expected);
    }

    void geometryRules_data() {
        QTest::addColumn<QList<int>>("stored");  // left, top, width, height
        QTest::addColumn<QList<int>>("shown");
        QTest::newRow("defaults centre") << QList<int>{-1, -1, 480, 350} << QList<int>{160, 125, 480, 350};
        QTest::newRow("exact width") << QList<int>{0, 0, 800, 300} << QList<int>{0, 0, 480, 300};
        QTest::newRow("width - 1 stays") << QList<int>{0, 0, 799, 300} << QList<int>{0, 0, 799, 300};
        QTest::newRow("reaching the edge centres") << QList<int>{100, 10, 700, 300} << QList<int>{50, 10, 700, 300};
        QTest::newRow("negative height") << QList<int>{5, 5, 100, -2} << QList<int>{5, 5, 100, 350};
        QTest::newRow("top past the bottom") << QList<int>{5, 590, 100, 100} << QList<int>{5, 250, 100, 100};
        QTest::newRow("odd difference truncates") << QList<int>{-5, 0, 481, 601} << QList<int>{159, 0, 481, 350};
    }
    void geometryRules() {
        QFETCH(QList<int>, stored);
        QFETCH(QList<int>, shown);
        WindowSettings s{stored[0], stored[1], stored[2], stored[3], {}, {}};
        FitToScreen(s, QSize(800, 600));
        QCOMPARE((QList<int>{s.left, s.top, s.width, s.height}), shown);
    }

    void settingsRoundTrip() {
        const QSize screen = QGuiApplication::primaryScreen()->size();
        QDir().mkpath(dir_->filePath(QStringLiteral("cfg")));
        {
            QSettings ini(SettingsPath(), QSettings::IniFormat);
            ini.beginGroup(QStringLiteral("ZVEKLC"));
            ini.setValue(QStringLiteral("Left"), 20);
            ini.setValue(QStringLiteral("Top"), QStringLiteral("high"));  // not a number: the default, then centred
            ini.setValue(QStringLiteral("Width"), 300);
            ini.setValue(QStringLiteral("OpenDir"), QStringLiteral("/歌/open"));
        }
        TFormMain& form = Make();
        QCOMPARE(form.pos(), QPoint(20, (screen.height() - 350) / 2));
        QCOMPARE(form.size(), QSize(300, 350));
        QCOMPARE(form.Document().OpenDialog.initialDir, std::string("/歌/open"));
        QCOMPARE(form.Document().SaveDialog.initialDir, QDir::currentPath().toStdString());

        form.Document().SaveDialog.initialDir = "/save here";
        form.move(30, 40);
        form.resize(310, 200);
        form.close();
        const WindowSettings back = ReadSettings(SettingsPath());
        QCOMPARE((QList<int>{back.left, back.top, back.width, back.height}), (QList<int>{30, 40, 310, 200}));
        QCOMPARE(back.openDir, std::string("/歌/open"));
        QCOMPARE(back.saveDir, std::string("/save here"));
        QCOMPARE(QSettings(SettingsPath(), QSettings::IniFormat).childGroups(), QStringList{QStringLiteral("ZVEKLC")});

        // Under the settings file's name, something that is no file: a pipe
        // holds neither the start nor the close. (A device, even behind a
        // link, takes the same way: FilesTest.)
        QFile::remove(SettingsPath());
        const std::string fifo = test::MakeFifo(SettingsPath().toStdString());
        WindowSettings fromPipe;
        QVERIFY(test::ReturnsWithoutWaitingOn({fifo}, [&] {
            fromPipe = ReadSettings(SettingsPath());
            WriteSettings(SettingsPath(), back);
        }));
        QCOMPARE(fromPipe.width, WindowSettings().width);
        QVERIFY(std::filesystem::is_fifo(fifo));
        QFile::remove(SettingsPath());

        // A settings file that cannot be written is ignored without a word.
        test::WriteBytes(Path("file"), "");
        TFormMain unwritable({}, dir_->filePath(QStringLiteral("file/zveklc.ini")));
        unwritable.Host().SetScript(&script_);
        QVERIFY(unwritable.close());
        QVERIFY(script_.asked.empty());

        // The file lies beside the program only where it exists and can be written there.
        const QString program = dir_->filePath(QStringLiteral("bin"));
        QDir().mkpath(program);
        QCOMPARE(SettingsFilePath(program), dir_->filePath(QStringLiteral("cfg/zveklc/zveklc.ini")));
        test::WriteBytes(Path("bin/zveklc.ini"), "");
        QCOMPARE(SettingsFilePath(program), program + QStringLiteral("/zveklc.ini"));
    }

    // The command lines end to end, with the window shown and left to run.
    void unattendedConversion_data() {
        QTest::addColumn<UnattendedCase>("c");
        // Options, empty words and a fourth file are passed over.
        QTest::newRow("document reference output") << UnattendedCase{
            {"-zvek", "a.taglyr", "", "ref.htm", "/NoOpen", "out.lyr", "extra.txt"}, "", "out.lyr", "lyrics", true};
        QTest::newRow("folders come from the document")
            << UnattendedCase{{"sub/a.taglyr", "ref.htm", "out.lyr"}, "", "sub/out.lyr", "lyrics", true};
        QTest::newRow("not .taglyr: made into a tag file")
            << UnattendedCase{{"a.lyr", "ref.htm"}, "t.TagLyr", "t.TagLyr", "tag", true};
        QTest::newRow("failed conversion writes nothing")
            << UnattendedCase{{"a.taglyr", "missing.htm", "out.lyr"}, "", "", "", true};
        QTest::newRow("missing document") << UnattendedCase{{"missing.taglyr", "ref.htm"}, "", "", "", true};
        QTest::newRow("/CONVERT without URL= stays open") << UnattendedCase{{"/CONVERT", "a.lyr"}, "", "", "", false};
        QTest::newRow("-convert with URL=")
            << UnattendedCase{{"u.taglyr", "-Convert"}, "u.lyr", "u.lyr", "lyrics", true};
    }
    void unattendedConversion() {
        QFETCH(UnattendedCase, c);
        const std::string saveAs = c.saveAs, written = c.written;
        test::LoopbackServer server;
        const std::string page = test::ReadBytes(kSamplePage);
        server.Serve("/song.htm", 200, page);
        const std::string lyrics = SampleLyrics();
        const std::string tagFile = SampleTagFile("a.lyr");
        QDir(dir_->path()).mkdir(QStringLiteral("sub"));
        for (const char* folder : {"", "sub/"}) {
            test::WriteBytes(Path(folder + std::string("a.taglyr")), tagFile);
            test::WriteBytes(Path(folder + std::string("ref.htm")), page);
        }
        test::WriteBytes(Path("a.lyr"), lyrics);
        test::WriteBytes(Path("u.taglyr"), WithUrl(tagFile, server.Url("/song.htm")));
        auto listing = [&] {
            return QDir(dir_->path()).entryList(QDir::Files) + QDir(dir_->filePath("sub")).entryList(QDir::Files);
        };
        const QStringList before = listing();

        const QString here = QDir::currentPath();
        QDir::setCurrent(dir_->path());
        TFormMain& form = Make(c.args);
        if (!saveAs.empty()) script_.files.push_back(Path(saveAs));
        const bool closed = RunsToClose(form, c.closes);
        const QString after = QDir::currentPath();
        QDir::setCurrent(here);

        QCOMPARE(closed, c.closes);
        QCOMPARE(after, dir_->path());  // put back after the conversion
        QCOMPARE(script_.dialogs.size(), size_t(saveAs.empty() ? 0 : 1));
        if (written.empty()) {
            QCOMPARE(listing(), before);
            QCOMPARE(form.ExitStatus() != 0, c.closes);
            return;
        }
        const std::string bytes = test::ReadBytes(Path(written));
        if (c.kind == std::string("lyrics")) QCOMPARE(bytes, lyrics);
        else QVERIFY(bytes.starts_with("[TagLyr]\r\n") && bytes != lyrics);
        QCOMPARE(form.ExitStatus(), 0);
    }

    // The program itself: converts, saves without any dialog and exits 0.
    void programConvertsUnattendedAndExits() {
        const std::string lyrics = SampleLyrics();
        test::WriteBytes(Path("s.lyr"), lyrics);
        QProcess program;
        program.setWorkingDirectory(dir_->path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_->filePath(QStringLiteral("cfg")));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(ZVEKLC_APP_PATH), {QStringLiteral("s.lyr"), QString::fromUtf8(kSamplePage),
                                                         QStringLiteral("s.TagLyr")});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const std::string tag = SampleTagFile("s.lyr");
        QCOMPARE(test::ReadBytes(Path("s.TagLyr")), tag);
        QVERIFY(QFile::exists(dir_->filePath(QStringLiteral("cfg/zveklc/zveklc.ini"))));
    }

    // 8: while a conversion waits for its page, commands are not started a
    // second time, the status line keeps the progress, and a close waits for
    // the conversion to end.
    void commandsWaitWhileADownloadRuns() {
        test::LoopbackServer server;
        server.Hold("/slow.htm", "go", test::ReadBytes(kSamplePage));
        const std::string lyrics = SampleLyrics();
        const std::string tagFile = SampleTagFile("a.lyr");
        SetEditor(WithUrl(tagFile, server.Url("/slow.htm")));
        form_->show();
        bool tried = false;
        QTimer::singleShot(50, form_.get(), [&] {
            tried = true;
            QVERIFY(Edit().isReadOnly());
            Act("MenuTextToZVEK")->trigger();
            const QString progress = form_->statusBar()->currentMessage();
            QVERIFY(!progress.isEmpty());
            QStatusTipEvent hint(QStringLiteral("a hint"));
            QApplication::sendEvent(form_.get(), &hint);
            QCOMPARE(form_->statusBar()->currentMessage(), progress);
            form_->close();
            QVERIFY(form_->isVisible());
            server.OpenGate("go");
        });
        Act("MenuConvertFromURL")->trigger();
        QVERIFY(tried);
        QCOMPARE(Saved(Edit()), lyrics);
        QCOMPARE(script_.browsed.size(), size_t(1));
        QTRY_VERIFY(!form_->isVisible());  // the close came after the conversion
        QVERIFY(script_.asked.empty());
    }

    // The Find menus enable what the document's lines allow, and each item
    // opens the core's addresses in the browser.
    void findMenusAndTheBrowser() {
        SetEditor("title=\r\nArtist=A B");
        form_->findChild<QMenu*>(QStringLiteral("MenuFind"))->aboutToShow();
        QVERIFY(!Act("MenuOpenURL")->isEnabled());
        QVERIFY(Act("MenuFindLyricsFromTitle")->isEnabled() && Act("MenuFindLyricsFromArtist")->isEnabled());
        QVERIFY(Act("PopupOpenURL")->isEnabled());  // each menu has its own state until it opens
        form_->findChild<QMenu*>(QStringLiteral("FindMenu"))->aboutToShow();
        QVERIFY(!Act("PopupOpenURL")->isEnabled());

        test::FakeHost host;
        LyricsDocument doc(host);
        doc.SetText("title=\r\nArtist=A B");
        Act("PopupFindLyricsFromTitle")->trigger();
        Act("MenuFindLyricsFromArtist")->trigger();
        std::vector<std::string> expected = FindLyricsAddresses(doc, SearchField::Title);
        for (const auto& a : FindLyricsAddresses(doc, SearchField::Artist)) expected.push_back(a);
        Act("HPMenuUtaNet")->trigger();
        expected.push_back(SiteAddress(UtaNetHost(), "/"));
        Act("MenuHelpHelp")->trigger();
        QCOMPARE(script_.browsed.size(), expected.size() + 1);
        const QUrl help(U(script_.browsed.back()));  // the help page of the build tree
        QVERIFY(help.isLocalFile() && QFile::exists(help.toLocalFile()));
        script_.browsed.pop_back();
        QCOMPARE(script_.browsed, expected);
    }

    void browserPageCommandsSayWhenNoPageIsShown() {
        SetEditor("lyrics");
        Act("MenuOpenIE")->trigger();
        Act("PopupConvertIE")->trigger();
        QCOMPARE(script_.asked.size(), size_t(2));
        for (const auto& q : script_.asked) QCOMPARE(q.text, std::string(kNoBrowserPageText));
        QCOMPARE(Edit().toPlainText(), QStringLiteral("lyrics"));
    }

    // The association is made silently at the first start and the item
    // shows it; without a player the tool item is clear until chosen.
    void desktopIntegrationMarks() {
        form_->show();
        QTRY_VERIFY(Act("MenuAssocTagLyr")->isChecked());
        QVERIFY(QFile::exists(runtime_.filePath(QStringLiteral("data/applications/zveklc.desktop"))));
        QVERIFY(!Act("MenuSetZVEKTool")->isChecked());
        Act("MenuSetZVEKTool")->trigger();
        QVERIFY(Act("MenuSetZVEKTool")->isChecked());

        // A file of the user's under our name is replaced only when the user says so.
        const std::string entry = runtime_.filePath(QStringLiteral("data/applications/zveklc.desktop")).toStdString();
        test::WriteBytes(entry, "mine");
        for (const MsgResult answer : {MsgResult::Cancel, MsgResult::Yes}) {
            script_.answers = {answer};
            Act("MenuAssocTagLyr")->trigger();
            QCOMPARE(test::ReadBytes(entry) == "mine", answer == MsgResult::Cancel);
        }
        QCOMPARE(script_.asked.size(), size_t(2));
        QCOMPARE(script_.asked[0].text, entry + "\r\nはZVEKLCのファイルではありません。置き換えますか？");
    }

    // A download can be stopped: Esc or the status line's button ends it as
    // a page not fetched, the document as it was and no error box.
    void stoppingADownload() {
        test::LoopbackServer server;
        server.Hold("/slow.htm", "never", "<html></html>");
        const std::string tagFile = WithUrl(SampleTagFile("a.lyr"), server.Url("/slow.htm"));
        SetEditor(tagFile);
        form_->show();
        QTimer::singleShot(50, form_.get(), [&] {
            QVERIFY(form_->findChild<QToolButton*>(QStringLiteral("BtnStop"))->isVisible());
            form_->findChild<QToolButton*>(QStringLiteral("BtnStop"))->click();
        });
        Act("MenuConvertFromURL")->trigger();
        QCOMPARE(form_->Document().ResultCode, kResultPageNotFetched);
        QCOMPARE(Saved(Edit()), tagFile);
        QVERIFY(script_.asked.empty());
        QVERIFY(!form_->findChild<QToolButton*>(QStringLiteral("BtnStop"))->isVisible());
    }

    // Without a script the host asks through real dialogs: buttons with their
    // Japanese captions that map back to the core's answers, and a file dialog
    // that finds names whatever their case and hands back file and filter.
    void realDialogsAnswerTheCore() {
        form_->Host().SetScript(nullptr);
        // {buttons, the captions shown (in alphabetical order), the one clicked, the answer}
        const std::tuple<MsgButtons, QString, QString, MsgResult> asks[] = {
            {MsgButtons::YesNoCancel, "いいえ(&N)|はい(&Y)|キャンセル", "いいえ(&N)", MsgResult::No},
            {MsgButtons::YesNoCancel, "いいえ(&N)|はい(&Y)|キャンセル", "はい(&Y)", MsgResult::Yes},
            {MsgButtons::YesCancel, "はい(&Y)|キャンセル", "キャンセル", MsgResult::Cancel},
            {MsgButtons::Ok, "OK", "OK", MsgResult::Ok}};
        for (int i = 0; i < 4; ++i) {
            const auto& [buttons, captions, clicked, answer] = asks[i];
            QStringList shown;
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                for (QAbstractButton* button : box->buttons()) shown << button->text();
                for (QAbstractButton* button : box->buttons())
                    if (button->text() == clicked) return button->click();
                box->reject();
            });
            QCOMPARE(form_->Host().MessageBox("a\r\nb", MsgKind(i), buttons), answer);
            shown.sort();
            QCOMPARE(shown.join('|'), captions);
        }

        test::WriteBytes(Path("Song.TagLyr"), "x");
        FileDialog dialog{FileDialog::Kind::Open, "開く", {{"歌詞", "*.lyr"}, {"タグ", "*.taglyr"}}, 1, "lyr",
                          dir_->path().toStdString(), "", true, false};
        QTimer::singleShot(0, [] {
            auto* box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            box->selectNameFilter(box->nameFilters().value(1));
            box->selectFile(QStringLiteral("Song.TagLyr"));
            static_cast<QDialog*>(box)->accept();
        });
        QVERIFY(form_->Host().ExecuteDialog(dialog));
        QCOMPARE(dialog.fileName, Path("Song.TagLyr"));
        QCOMPARE(dialog.filterIndex, 2);
        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
        dialog.kind = FileDialog::Kind::Save;
        dialog.fileName = "sub/new.lyr";
        QVERIFY(!form_->Host().ExecuteDialog(dialog));
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
