// The desktop program's entry: one window, run until it closes.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/Main.h"
#include "app/Settings.h"
#include "platform/Version.h"
#include "text/Codec.h"
#include "window/Usage.h"

namespace {

// --help and --version are answered before any window exists, so they work
// without a display. Every other argument starting with "-" is ignored, as
// the program has always done.
int AnswerWithoutWindow(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::string text;
        if (arg == "--help") text = zvek::kWindowUsage;
        else if (arg == "--version") text = std::string("zveklc ") + zvek::kVersionText + "\n";
        else continue;
        return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0 ? 0 : 1;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = AnswerWithoutWindow(argc, argv); status >= 0) return status;
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
