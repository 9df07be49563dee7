// The desktop program's entry: one window, run until it closes.
#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "app/Main.h"
#include "app/Settings.h"
#include "text/Codec.h"

int main(int argc, char** argv) {
    // The editor needs the character tables for its first text; they are
    // built on the second core while the window is set up.
    std::thread codec(zvek::PrepareCodec);
    struct Join {
        std::thread& thread;
        ~Join() { thread.join(); }
    } join{codec};
    QApplication app(argc, argv);  // takes Qt's own options out of argv
    QApplication::setApplicationName(QStringLiteral("zveklc"));
    QApplication::setApplicationDisplayName(QStringLiteral("ZVEK Lyrics Converter"));
    QApplication::setDesktopFileName(QStringLiteral("zveklc"));
    try {
        zvek::TFormMain form(std::vector<std::string>(argv + 1, argv + argc),
                             zvek::SettingsFilePath(QApplication::applicationDirPath()));
        form.show();
        QApplication::exec();
        return form.ExitStatus();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), QString::fromUtf8(e.what()));
    }
    return 1;
}
