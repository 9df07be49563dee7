// The Qt window, offscreen: what needs the real widgets. Its controls
// against the command table, the editor as the window logic sees it,
// shortcuts while the editor has the focus, drops through Qt's events, real
// dialogs (one while a command waits in it) and the settings file. The rules
// themselves are tested in tests/window; the program run to its end, in the
// installation test.
#include <QtTest>
#include <QtWidgets>
#include <filesystem>
#include <memory>

#include "app/LyricsEdit.h"
#include "app/Main.h"
#include "app/Settings.h"
#include "window/WindowSupport.h"

using namespace zvek;

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TFormMain> form_;
    HostScript script_;

    std::string Path(const char* name) const { return dir_->filePath(name).toStdString(); }
    QString SettingsPath() const { return dir_->filePath("cfg/zveklc.ini"); }
    TFormMain& Make() {
        form_ = std::make_unique<TFormMain>(std::vector<std::string>{}, SettingsPath());
        script_ = HostScript();
        form_->Host().SetScript(&script_);
        return *form_;
    }
    QAction* Act(const char* name) const { return form_->findChild<QAction*>(name); }
    QToolButton* Button(const char* name) const { return form_->findChild<QToolButton*>(name); }
    LyricsEdit& Edit() const { return form_->Editor(); }

private slots:
    void init() {
        form_.reset();
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        // Downloads keep their lock files, the window its settings and the
        // desktop its association in folders of the test's own; no browser
        // page and no player are found there.
        qputenv("XDG_RUNTIME_DIR", dir_->path().toUtf8());
        qputenv("XDG_CONFIG_HOME", dir_->filePath("cfg").toUtf8());
        for (const char* name : {"HOME", "XDG_DATA_HOME", "WINEPREFIX"}) qputenv(name, dir_->filePath(name).toUtf8());
        Make();
    }

    // Every menu, item and button is the command table's, in its order, and
    // runs its command; the desktop integration's marks arrive once the
    // window is shown.
    void widgetsMatchTheCommandTable() {
        QString lines;
        auto row = [&](QStringList fields) {
            while (fields.back().isEmpty()) fields.removeLast();
            lines += "  " + fields.join(" | ") + "\n";
        };
        for (const QAction* a : form_->menuBar()->actions()) lines += a->menu()->objectName() + " " + a->text() + "\n";
        for (const Menu& m : Menus()) {
            lines += QString::fromLatin1(m.name) + "\n";
            for (const QAction* a : form_->findChild<QMenu*>(m.name)->actions())
                a->isSeparator() ? void(lines += "  -\n")
                                 : row({a->objectName(), a->text(), a->statusTip(), a->shortcut().toString()});
        }
        auto* bar = form_->findChild<QToolBar*>(kToolBarName);
        const char* popup[] = {"delayed", "menu button", "instant"};
        lines += bar->objectName() + "\n";
        for (QAction* a : bar->actions()) {
            const auto* b = qobject_cast<QToolButton*>(bar->widgetForAction(a));
            QVERIFY(!b || (!b->icon().isNull() && b->toolTip() == b->statusTip()));
            b ? row({b->objectName(), b->statusTip(), b->cursor().shape() == Qt::PointingHandCursor ? "hand" : "arrow",
                     b->menu() ? b->menu()->objectName() + " " + popup[b->popupMode()] : ""})
              : void(lines += a->isSeparator() ? "  -\n" : "  ?\n");
        }
        QCOMPARE(lines, QString::fromStdString(test::TableListing()));
        QCOMPARE(form_->windowTitle(), QString("ZVEK Lyrics Converter Ver.6.310[*]"));
        QVERIFY(Edit().lineWrapMode() == QPlainTextEdit::NoWrap && Edit().font().pixelSize() == 16 &&
                Edit().font().families().front() == "ＭＳ ゴシック");

        Act("HPMenuUtaMap")->trigger();
        Button("BtnConvertFromIE")->click();
        QVERIFY(script_.browsed.size() == 1 && script_.messages.size() == 1);  // each reached its command
        form_->show();
        QTRY_VERIFY(Act("MenuAssocTagLyr")->isChecked());
    }

    // The editor as the window logic sees it: positions in UTF-16 units with
    // every line break one "\n", a new text with or without an undo step,
    // the conversion's caret, and whether the clipboard holds text. The
    // shortcut keys reach the window's commands while the editor has the
    // focus: Cut and Paste start the undo history afresh, Undo takes back
    // just them.
    void editorServesTheWindowLogic() {
        EditorView& edit = Edit();
        edit.SetText(u"ab\n\u6B4C\u8A5E\u2028x\n", true);
        QVERIFY(!Edit().document()->isUndoAvailable());
        const std::u16string text = u"ab\n\u6B4C\u8A5E\nx\n";
        QCOMPARE(edit.Text(), text);
        edit.Select(7, 3);
        QCOMPARE(Edit().textCursor().selectedText(), QString("\u6B4C\u8A5E\u2028x"));
        QCOMPARE(edit.Selection(), std::make_pair(size_t(7), size_t(3)));
        edit.SetText(u"new", false);
        edit.Undo();
        QCOMPARE(edit.Text(), text);
        edit.ShowLine(1);
        QCOMPARE(Edit().textCursor().blockNumber(), 1);
        auto* image = new QMimeData;
        image->setData("image/png", "png");
        QClipboard& clipboard = *QGuiApplication::clipboard();
        clipboard.setMimeData(image);
        QVERIFY(!edit.CanPaste());

        form_->show();
        QApplication::setActiveWindow(form_.get());
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        Edit().setFocus();
        edit.SetText(u"", true);
        QTest::keyClicks(&Edit(), "abc");
        clipboard.setText("XY");
        QVERIFY(edit.CanPaste());
        // Ctrl and the letters given: Paste, Undo, Select all, Cut, Copy.
        const auto keys = [&](const char* letters) {
            for (; *letters; ++letters) QTest::keyClick(&Edit(), *letters, Qt::ControlModifier);
            return Edit().toPlainText();
        };
        QCOMPARE(keys("v"), QString("abcXY"));
        QCOMPARE(keys("zz"), QString("abc"));
        clipboard.setText("XY");
        keys("ac");
        QCOMPARE(clipboard.text(), QString("abc"));
        QCOMPARE(keys("x"), QString());
    }

    // A conversion is one step the user can take back, its name with it;
    // until then the title marks the unsaved result.
    void conversionsCanBeTakenBack() {
        test::WriteBytes(Path("s.TagLyr"), test::SampleTagFile("s.lyr"));
        script_.dialogFiles = {Path("s.TagLyr"), test::kSamplePage};
        Act("MenuOpen")->trigger();
        const QString before = Edit().toPlainText();
        Edit().SetText(before.toStdU16String(), false);  // an edit the conversion's history leaves out
        Edit().SetModified(false);
        Act("MenuConvertAuto")->trigger();
        QVERIFY(form_->isWindowModified() && form_->windowTitle() == "s.lyr[*]" && Edit().toPlainText() != before);
        Act("MenuUndo")->trigger();
        QVERIFY(!form_->isWindowModified() && form_->windowTitle() == "s.TagLyr[*]" && Edit().toPlainText() == before);
        QVERIFY(!Edit().document()->isUndoAvailable());
    }

    // Only the first of the dropped files counts; the question over unsaved
    // edits comes once the drag has ended.
    void dropsArriveThroughQtsEvents() {
        test::WriteBytes(Path("a.lyr"), "dropped\r\n");
        QTest::keyClicks(&Edit(), "mine");
        script_.answers.push_back(MsgResult::Yes);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(dir_->filePath("a.lyr")), QUrl::fromLocalFile(dir_->filePath("second.lyr"))});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form_.get(), &enter);
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form_.get(), &drop);
        QVERIFY(enter.isAccepted() && drop.isAccepted() && script_.messages.empty());
        QCoreApplication::processEvents();
        QCOMPARE(script_.messages.size(), size_t(1));  // the question over the edits (tests/window), after the drag
        QVERIFY(Edit().toPlainText() == "dropped" && form_->Document().FileName() == Path("a.lyr"));
    }

    void settingsRoundTrip() {
        // "Top" is not a number: the default, then centred.
        test::WriteBytes(SettingsPath().toStdString(), "[ZVEKLC]\nLeft=20\nTop=high\nWidth=300\nOpenDir=/歌/open\n");
        TFormMain& form = Make();
        QCOMPARE(form.pos(), QPoint(20, (QGuiApplication::primaryScreen()->size().height() - 350) / 2));
        QCOMPARE(form.size(), QSize(300, 350));
        QVERIFY(form.Document().OpenDialog.initialDir == "/歌/open" &&
                form.Document().SaveDialog.initialDir == QDir::currentPath().toStdString());

        form.Document().SaveDialog.initialDir = "/save here";
        form.setGeometry(30, 40, 310, 200);
        form.close();
        const WindowSettings back = ReadSettings(SettingsPath());
        QCOMPARE((QList<int>{back.left, back.top, back.width, back.height}), (QList<int>{30, 40, 310, 200}));
        QVERIFY(back.openDir == "/歌/open" && back.saveDir == "/save here");
        QCOMPARE(QSettings(SettingsPath(), QSettings::IniFormat).childGroups(), QStringList{"ZVEKLC"});

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
        QVERIFY(fromPipe.width == WindowSettings().width && std::filesystem::is_fifo(fifo));

        // A settings file that cannot be written is ignored without a word.
        test::WriteBytes(Path("file"), "");
        TFormMain unwritable({}, dir_->filePath("file/zveklc.ini"));
        unwritable.Host().SetScript(&script_);
        QVERIFY(unwritable.close() && script_.messages.empty());

        // The file lies beside the program only where it exists and can be written there.
        const QString program = dir_->filePath("bin");
        QCOMPARE(SettingsFilePath(program), dir_->filePath("cfg/zveklc/zveklc.ini"));
        test::WriteBytes(Path("bin/zveklc.ini"), "");
        QCOMPARE(SettingsFilePath(program), program + "/zveklc.ini");
    }

    // Without a script the host asks through real dialogs: buttons with their
    // Japanese captions that map back to the core's answers, and file dialogs
    // in Japanese that find names whatever their case and hand back file and
    // filter.
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

        // The Open command waits in a real file dialog: meanwhile the editor
        // is read-only, the stop button shows, the status line keeps what
        // the command wrote, and a close waits for the command to end.
        test::WriteBytes(Path("Song.TagLyr"), "x");
        form_->Document().OpenDialog.initialDir = dir_->path().toStdString();
        form_->show();
        bool readOnly = false, stopShown = false, stillOpen = false;
        QString status;
        QTimer::singleShot(0, [&] {
            readOnly = Edit().isReadOnly();
            stopShown = Button("BtnStop")->isVisible();
            form_->Host().SetStatusText("progress");
            QStatusTipEvent hint("a hint");
            QApplication::sendEvent(form_.get(), &hint);
            status = form_->statusBar()->currentMessage();
            form_->close();
            stillOpen = form_->isVisible();
            auto* box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            box->selectNameFilter(box->nameFilters().value(2));
            box->selectFile("Song.TagLyr");
            static_cast<QDialog*>(box)->accept();
        });
        Act("MenuOpen")->trigger();
        QVERIFY(readOnly && stopShown && stillOpen && !Edit().isReadOnly() && !Button("BtnStop")->isVisible());
        QCOMPARE(status, QString("progress"));
        QVERIFY(form_->Document().FileName() == Path("Song.TagLyr") && form_->Document().OpenDialog.filterIndex == 3);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("キャンセル"));  // Qt's own texts
        QTRY_VERIFY(!form_->isVisible());  // the close came after the command
        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
        FileDialog save = form_->Document().SaveDialog;
        save.fileName = "sub/new.lyr";
        QVERIFY(!form_->Host().ExecuteDialog(save));
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
