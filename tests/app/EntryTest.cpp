// The program as it starts: Qt's own texts in the program's language, and
// --help and --version answered without a window.
#include <QtTest>
#include <QtWidgets>
#include <memory>

#include "app/Translation.h"

class EntryTest : public QObject {
    Q_OBJECT

private slots:
    // The file dialogs, their overwrite question and the editor's context
    // menu, whatever the user's locale.
    void qtTextsAreJapanese() {
        QVERIFY(zvek::LoadQtJapanese());
        QCOMPARE(QLocale().language(), QLocale::Japanese);  // sizes and dates in the file dialogs
        QCOMPARE(QCoreApplication::translate("QFileDialog", "%1 already exists.\nDo you want to replace it?"),
                 QString("%1 は既に存在します。\n置き換えますか?"));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("キャンセル"));
        QPlainTextEdit edit;
        const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QVERIFY(menu->actions().first()->text().startsWith("元に戻す(&U)"));
    }

    // One version for both programs; the window's command line explained;
    // no window made (the child has no display plugin to make one with).
    void helpAndVersionNeedNoWindow() {
        qputenv("QT_QPA_PLATFORM", "none");
        const auto run = [](const char* program, const char* argument) {
            QProcess process;
            process.start(program, {argument});
            return process.waitForFinished(10000) && process.exitCode() == 0 ? QString(process.readAllStandardOutput())
                                                                             : QString("failed");
        };
        QCOMPARE(run(ZVEKLC_WINDOW_PATH, "--version"), QString("zveklc " ZVEKLC_VERSION "\n"));
        QCOMPARE(run(ZVEKLC_CLI_PATH, "--version"), QString("zveklc-cli " ZVEKLC_VERSION "\n"));
        QVERIFY(
            run(ZVEKLC_WINDOW_PATH, "--help").startsWith("使い方: zveklc [-convert] [文書 [参照ページ [出力先]]]\n"));
    }
};

QTEST_MAIN(EntryTest)
#include "EntryTest.moc"
