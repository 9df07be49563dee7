// What "zveklc --help" prints, the same for every window: the command line
// that ScanArguments reads and the unattended conversion it can start.
#pragma once

#include <string_view>

namespace zvek {

inline constexpr std::string_view kWindowUsage =
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

}  // namespace zvek
