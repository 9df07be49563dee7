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
        const auto run = [](const char* program, const char* argument) {
            QProcess process;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("QT_QPA_PLATFORM", "none");
            process.setProcessEnvironment(env);
            process.start(program, {argument});
            return process.waitForFinished(10000) && process.exitCode() == 0 ? QString(process.readAllStandardOutput())
                                                                               : QString("failed");
        };
        const QString version = run(ZVEKLC_WINDOW_PATH, "--version");
        QVERIFY2(version.startsWith("zveklc "), qPrintable(version));
        QCOMPARE(run(ZVEKLC_CLI_PATH, "--version"), "zveklc-cli " + version.mid(7));
        const QString help = run(ZVEKLC_WINDOW_PATH, "--help");
        for (const char* part : {"zveklc [-convert] [文書 [参照ページ [出力先]]]", "-noopen", "-zvek", "13 一部だけ変換"})
            QVERIFY2(help.contains(QString::fromUtf8(part)), part);
    }
};

QTEST_MAIN(EntryTest)
#include "EntryTest.moc"
