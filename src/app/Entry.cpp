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
#include "app/Translation.h"
#include "platform/Version.h"
#include "text/Codec.h"

namespace {

constexpr std::string_view kUsage =
    "使い方: zveklc [-convert] [文書 [参照ページ [出力先]]]\n"
    "ZVEK Lyrics Converter のウィンドウを開き、文書を開きます。\n"
    "\n"
    "  文書        開くファイル（歌詞ファイル、タグファイル、テキストなど）\n"
    "  参照ページ  文書をこのページ（ファイル、または http:// か https:// の\n"
    "              アドレス）で変換します。文書の名前が .TagLyr で終わるときは\n"
    "              歌詞ファイルに、それ以外はタグファイルに変換し、保存先を\n"
    "              尋ねてから終了します\n"
    "  出力先      変換した結果をここに保存して終了します（何も尋ねません）\n"
    "              参照ページと出力先の相対パスは文書のフォルダーから見たものです\n"
    "\n"
    "  -convert    参照ページがなければ、文書の URL= のページで変換します\n"
    "  -noopen     受け付けますが、何もしません\n"
    "  -zvek       ZVEK のツールメニューからの起動（何もしません）\n"
    "  --help      この説明を表示して終了します\n"
    "  --version   バージョンを表示して終了します\n"
    "-convert、-noopen、-zvek は \"/convert\" のように \"/\" で始めても同じで、\n"
    "大文字と小文字を区別しません。\n"
    "\n"
    "終了ステータス（変換したとき）: 0 成功、2 ファイルが見つからない、\n"
    "12 ページを取得できない、13 一部だけ変換、1 その他の失敗\n";

// --help and --version are answered before any window exists, so they work
// without a display. Every other argument starting with "-" is ignored, as
// the program has always done.
int AnswerWithoutWindow(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::string text;
        if (arg == "--help") text = kUsage;
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
    // The program speaks Japanese whatever the locale; Qt's dialogs must too.
    zvek::LoadQtJapanese();
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
