// The desktop program's entry: one window, run until it closes.
#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <string>
#include <vector>

#include "app/Main.h"
#include "app/Settings.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);  // takes Qt's own options out of argv
    QApplication::setApplicationName(QStringLiteral("zveklc"));
    QApplication::setApplicationDisplayName(QStringLiteral("ZVEK Lyrics Converter"));
    QApplication::setDesktopFileName(QStringLiteral("zveklc"));
    try {
        zvek::TFormMain form(std::vector<std::string>(argv + 1, argv + argc), zvek::SettingsFilePath(QApplication::applicationDirPath()));
        form.show();
        QApplication::exec();
        return form.ExitStatus();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), QString::fromUtf8(e.what()));
    }
    return 1;
}
