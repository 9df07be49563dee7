#include "window/Controls.h"

namespace zvek {

namespace {

// Hints shared by an item and its twins in the tool bar's drop-downs and
// the editor's context menu.
constexpr const char* kHintUndo = "操作を取り消して元に戻す";
constexpr const char* kHintCut = "選択範囲を切り取ってクリップボードにコピーする";
constexpr const char* kHintCopy = "選択範囲をクリップボードにコピーする";
constexpr const char* kHintPaste = "クリップボードの内容を貼り付ける";
constexpr const char* kHintAuto = "歌詞ファイルを変換する（自動判別）";
constexpr const char* kHintTextToZVEK = "テキストを歌詞ファイルの書式に変換する";
constexpr const char* kHintZVEKToText = "歌詞ファイルをテキスト形式に変換する";
constexpr const char* kHintTagToZVEK = "タグファイルを歌詞ファイルに変換する";
constexpr const char* kHintZVEKToTag = "歌詞ファイルをタグファイルに変換する";
constexpr const char* kHintFromIE = "ブラウザで開いているページでタグファイル変換をする";
constexpr const char* kHintFromURL = "\"URL=\"で指定されたページを開いてタグファイル変換する";
constexpr const char* kHintWinAmp = "WinAmp形式の歌詞ファイルをZVEK形式の歌詞ファイルに変換する";
constexpr const char* kHintLrc = "LRC形式の歌詞ファイルをZVEK形式の歌詞ファイルに変換する";
constexpr const char* kHintFromTitle = "歌詞をインターネットで曲名をキーワードに検索する";
constexpr const char* kHintFromArtist = "歌詞をインターネットでアーティスト名をキーワードに検索する";
constexpr const char* kHintOpenURL = "\"URL=\"で指定されたページを開く";
constexpr const char* kHintHALDESOFT = "ハルデソフトのホームページを開く";
constexpr const char* kHintUtaMap = "うたまっぷに接続する";
constexpr const char* kHintUtaNet = "歌ネットに接続する";
constexpr const char* kFromIE = "ブラウザで開いているページでタグファイル変換(&I)";
constexpr const char* kFromURL = "&URLを開いてタグファイル変換";

constexpr MenuItem kFile[] = {
    {"MenuOpen", "開く(&O)...", "ファイルを開く", Command::Open, "Ctrl+O"},
    {"MenuReopen", "開き直す(&R)", "ファイルを開き直す", Command::Reopen},
    {"MenuOpenIE", "ブラウザで開いているページを開く（Download)(&I)", "ブラウザで開いているページをダウンロードする",
     Command::OpenIE},
    {},
    {"MenuSaveAs", "名前を付けて保存(&A)...", "ファイルに保存する", Command::SaveAs, "Ctrl+S"},
    {"MenuSaveLrc", "LRCに書き出す(&L)...", "LRC形式の歌詞ファイルに書き出す", Command::SaveLrc},
    {},
    {"MenuAssocTagLyr", "&TagLyrに関連付け", "タグファイル（.TagLyr）にZVEKLCを関連付けする", Command::AssocTagLyr, "",
     Image::None, true},
    {"MenuSetZVEKTool", "&ZVEKにツール登録", "ZVEKのツールメニューに登録する", Command::SetZVEKTool, "", Image::None,
     true},
    {},
    {"MenuExit", "終了(&X)", "終了", Command::Exit},
};

constexpr MenuItem kEdit[] = {
    {"MenuUndo", "元に戻す(&U)", kHintUndo, Command::Undo, "Ctrl+Z"},
    {"MenuCut", "切り取り(&X)", kHintCut, Command::Cut, "Ctrl+X"},
    {"MenuCopy", "コピー(&C)", kHintCopy, Command::Copy, "Ctrl+C"},
    {"MenuPaste", "貼り付け(&P)", kHintPaste, Command::Paste, "Ctrl+V"},
    {},
    {"MenuAllSelect", "全て選択(&A)", "全てを選択する", Command::AllSelect, "Ctrl+A"},
};

constexpr MenuItem kConvert[] = {
    {"MenuConvertAuto", "&Auto", kHintAuto, Command::ConvertAuto},
    {},
    {"MenuTextToZVEK", "T&ext→ZVEK", kHintTextToZVEK, Command::TextToZVEK},
    {"MenuZVEKToText", "ZVEK→Te&xt", kHintZVEKToText, Command::ZVEKToText},
    {},
    {"MenuTagToZVEK", "&Tag→ZVEK...", kHintTagToZVEK, Command::TagToZVEK},
    {"MenuZVEKToTag", "&ZVEK→Tag...", kHintZVEKToTag, Command::ZVEKToTag},
    {"MenuConvertFromIE", kFromIE, kHintFromIE, Command::ConvertFromIE},
    {"MenuConvertFromURL", kFromURL, kHintFromURL, Command::ConvertFromURL},
    {},
    {"MenuWinAmpToZVEK", "&WinAmp→ZVEK", kHintWinAmp, Command::WinAmpToZVEK},
    {"MenuLrcToZVEK", "&LRC→ZVEK", kHintLrc, Command::LrcToZVEK},
};

constexpr MenuItem kFind[] = {
    {"MenuFindLyricsFromTitle", "曲名で歌詞検索(&T)", kHintFromTitle, Command::FindLyricsFromTitle},
    {"MenuFindLyricsFromArtist", "アーティストで歌詞検索(&A)", kHintFromArtist, Command::FindLyricsFromArtist},
    {"MenuOpenURL", "URLを開く(&U)", kHintOpenURL, Command::OpenURL},
};

constexpr MenuItem kHelp[] = {
    {"MenuHelpHelp", "&Help", "ヘルプを表示", Command::HelpHelp},
    {},
    {"MenuHALDESOFT", "&HALDE SOFT", kHintHALDESOFT, Command::HALDESOFT},
    {"MenuUtaMap", "うたまっぷ(&M)", kHintUtaMap, Command::UtaMap},
    {"MenuUtaNet", "歌ネット(&N)", kHintUtaNet, Command::UtaNet},
};

// The tool bar's Convert drop-down: the Convert menu without Auto, the tag
// items without the "..." of a dialog.
constexpr MenuItem kConvertDropDown[] = {
    {"ConvMenuTextToZVEK", "T&ext→ZVEK", kHintTextToZVEK, Command::TextToZVEK},
    {"ConvMenuZVEKToText", "ZVEK→Te&xt", kHintZVEKToText, Command::ZVEKToText},
    {},
    {"ConvMenuTagToZVEK", "&Tag→ZVEK", kHintTagToZVEK, Command::TagToZVEK},
    {"ConvMenuZVEKToTag", "&ZVEK→Tag", kHintZVEKToTag, Command::ZVEKToTag},
    {"ConvertMenuConvertFromIE", kFromIE, kHintFromIE, Command::ConvertFromIE},
    {"ConvertMenuConvertFromURL", kFromURL, kHintFromURL, Command::ConvertFromURL},
    {},
    {"ConvMenuWinAmpToZVEK", "&WinAmp→ZVEK", kHintWinAmp, Command::WinAmpToZVEK},
    {"ConvMenuLrcToZVEK", "&LRC→ZVEK", kHintLrc, Command::LrcToZVEK},
};

constexpr MenuItem kHomePageDropDown[] = {
    {"HPMenuHALDESOFT", "&HALDE SOFT", kHintHALDESOFT, Command::HALDESOFT},
    {"HPMenuUtaMap", "うたまっぷ(&M)", kHintUtaMap, Command::UtaMap},
    {"HPMenuUtaNet", "歌ネット(&N)", kHintUtaNet, Command::UtaNet},
};

// Drop-downs and the context menu carry no access keys.
constexpr MenuItem kFindDropDown[] = {
    {"PopupFindLyricsFromTitle", "曲名で歌詞検索", kHintFromTitle, Command::FindLyricsFromTitle},
    {"PopupFindLyricsFromArtist", "アーティストで歌詞検索", kHintFromArtist, Command::FindLyricsFromArtist},
    {"PopupOpenURL", "URLを開く", kHintOpenURL, Command::OpenURL},
};

constexpr MenuItem kContext[] = {
    {"PopupUndo", "元に戻す", kHintUndo, Command::Undo, "", Image::Undo},
    {"PopupCut", "切り取り", kHintCut, Command::Cut, "", Image::Cut},
    {"PopupCopy", "コピー", kHintCopy, Command::Copy, "", Image::Copy},
    {"PopupPaste", "貼り付け", kHintPaste, Command::Paste, "", Image::Paste},
    {},
    {"PopupConvert", "コンバート（オート）", kHintAuto, Command::ConvertAuto, "", Image::Convert},
    {"PopupConvertIE", "ブラウザで開いているページでタグファイル変換", kHintFromIE, Command::ConvertFromIE, "",
     Image::ConvertFromIE},
    {"PopupConvertURL", "URLを開いてタグファイル変換", kHintFromURL, Command::ConvertFromURL},
};

constexpr Menu kMenus[] = {
    {"MenuFile", "&File", MenuPlace::MenuBar, Command::None, kFile},
    {"MenuEdit", "&Edit", MenuPlace::MenuBar, Command::CheckMenu, kEdit},
    {"MenuConvert", "&Convert", MenuPlace::MenuBar, Command::CheckMenu, kConvert},
    {"MenuFind", "&Find", MenuPlace::MenuBar, Command::MenuFind, kFind},
    {"MenuHelp", "&Help", MenuPlace::MenuBar, Command::None, kHelp},
    {"ConvertMenu", "", MenuPlace::DropDown, Command::None, kConvertDropDown},
    {"HomePageMenu", "", MenuPlace::DropDown, Command::None, kHomePageDropDown},
    {"FindMenu", "", MenuPlace::DropDown, Command::FindMenuPopup, kFindDropDown},
    {"PopupMenu", "", MenuPlace::Context, Command::CheckMenu, kContext},
};

// Undo, Cut, Copy and Paste have no hint and so the ordinary cursor.
constexpr ToolButton kToolBar[] = {
    {"BtnOpen", Image::Open, "開く...", Command::Open},
    {"BtnSaveAs", Image::SaveAs, "名前を付けて保存...", Command::SaveAs},
    {},
    {"BtnUndo", Image::Undo, "", Command::Undo},
    {"BtnCut", Image::Cut, "", Command::Cut},
    {"BtnCopy", Image::Copy, "", Command::Copy},
    {"BtnPaste", Image::Paste, "", Command::Paste},
    {},
    {"BtnConvert", Image::Convert, "コンバート", Command::ConvertAuto, "ConvertMenu", ButtonMenu::Split},
    {"BtnConvertFromIE", Image::ConvertFromIE, "ブラウザで開いているページでタグファイル変換", Command::ConvertFromIE},
    {},
    {"BtnFindLyrics", Image::FindLyrics, "歌詞検索", Command::None, "FindMenu", ButtonMenu::Instant},
    {"BtnHomePage", Image::HomePage, "ホームページ", Command::None, "HomePageMenu", ButtonMenu::Instant},
    {"BtnHelp", Image::Help, "ヘルプ", Command::HelpHelp},
};

constexpr MenuItem kStop{"Stop", "中止", "ダウンロードを中止する (Esc)", Command::Stop, "Esc"};

}  // namespace

std::span<const Menu> Menus() { return kMenus; }
std::span<const ToolButton> ToolBar() { return kToolBar; }
const MenuItem& StopControl() { return kStop; }

const Menu* FindMenuNamed(std::string_view name) {
    for (const Menu& menu : kMenus)
        if (name == menu.name) return &menu;
    return nullptr;
}

Command CommandOf(std::string_view name) {
    if (name == kStop.name) return kStop.command;
    for (const Menu& menu : kMenus)
        for (const MenuItem& item : menu.items)
            if (item.name && name == item.name) return item.command;
    for (const ToolButton& button : kToolBar)
        if (button.name && name == button.name) return button.command;
    return Command::None;
}

}  // namespace zvek
