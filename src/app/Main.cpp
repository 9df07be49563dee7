#include "app/Main.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMimeData>
#include <QFileInfo>
#include <QUrl>
#include <QScreen>
#include <QStatusBar>
#include <QTextBlock>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cstdio>
#include <filesystem>

#include "app/CommandLine.h"
#include "app/EditorAdapter.h"
#include "app/Icons.h"
#include "app/LyricsEdit.h"
#include "app/Settings.h"
#include "lyrics/OpenBrowserPage.h"
#include "lyrics/Conversions.h"
#include "lyrics/Lrc.h"
#include "lyrics/FindCommands.h"
#include "platform/Association.h"
#include "platform/Files.h"
#include "platform/Player.h"
#include "tags/AutoConvert.h"
#include "tags/TagConversions.h"
#include "text/Codec.h"
#include "text/Sjis.h"
#include "web/LyricsSites.h"

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
constexpr const char* kHintFromIE = "IEで開いているページでタグファイル変換をする";
constexpr const char* kHintFromURL = "\"URL=\"で指定されたページを開いてタグファイル変換する";
constexpr const char* kHintWinAmp = "WinAmp形式の歌詞ファイルをZVEK形式の歌詞ファイルに変換する";
constexpr const char* kHintLrc = "LRC形式の歌詞ファイルをZVEK形式の歌詞ファイルに変換する";
constexpr const char* kHintFromTitle = "歌詞をインターネットで曲名をキーワードに検索する";
constexpr const char* kHintFromArtist = "歌詞をインターネットでアーティスト名をキーワードに検索する";
constexpr const char* kHintOpenURL = "\"URL=\"で指定されたページを開く";
constexpr const char* kHintHALDESOFT = "ハルデソフトのホームページを開く";
constexpr const char* kHintUtaMap = "うたまっぷに接続する";
constexpr const char* kHintUtaNet = "歌ネットに接続する";

std::string ProgramPath() { return PathFromQt(QCoreApplication::applicationFilePath()); }

std::string CurrentFolder() {
    std::error_code ec;
    return std::filesystem::current_path(ec).string();
}

}  // namespace

std::string VersionCaption(int thousandths) {
    char version[32];
    std::snprintf(version, sizeof version, "%d.%03d", thousandths / 1000, thousandths % 1000);
    return std::string("ZVEK Lyrics Converter Ver.") + version;
}

TFormMain::TFormMain(std::vector<std::string> arguments, QString settingsPath, QWidget* parent)
    : QMainWindow(parent),
      host_(*this),
      doc_(host_),
      arguments_(std::move(arguments)),
      settingsPath_(std::move(settingsPath)) {
    setObjectName(QStringLiteral("FormMain"));
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"), QStringLiteral("sans-serif")});
    font.setPixelSize(12);
    setFont(font);
    setAcceptDrops(true);

    Edit = new LyricsEdit(this);
    Edit->setObjectName(QStringLiteral("Edit"));
    setCentralWidget(Edit);
    adapter_ = std::make_unique<EditorAdapter>(*Edit, doc_);
    BuildStatusBar();
    BuildMenus();
    BuildToolBar();
    Edit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Edit, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu->popup(Edit->viewport()->mapToGlobal(pos)); });
    Edit->beforeShortcut = [this] { CheckMenu(); };
    Edit->setFocus();

    setWindowTitle(QString::fromStdString(VersionCaption(kVersionThousandths)));
    doc_.onFileNameSet = [this] { setWindowTitle(PathToQt(doc_.Caption())); };
    host_.onProcessMessages = [this] { ShowProgressCaret(); };

    const std::string here = CurrentFolder();
    doc_.OpenDialog.initialDir = here;
    doc_.SaveDialog.initialDir = here;
    lrcDialog_ = MakeLrcSaveDialog();
    lrcDialog_.initialDir = here;
    WindowSettings settings = ReadSettings(settingsPath_);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) FitToScreen(settings, screen->size());
    move(settings.left, settings.top);
    resize(settings.width, settings.height);
    if (!settings.openDir.empty()) doc_.OpenDialog.initialDir = settings.openDir;
    if (!settings.saveDir.empty()) doc_.SaveDialog.initialDir = lrcDialog_.initialDir = settings.saveDir;
}

TFormMain::~TFormMain() {
    if (integration_.joinable()) integration_.join();
}

QMenu* TFormMain::NewMenu(const char* name, const char* title) {
    auto* menu = new QMenu(QString::fromUtf8(title), this);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

QAction* TFormMain::AddItem(QMenu* menu, const char* name, const char* caption, const char* hint, Handler handler) {
    auto* action = new QAction(QString::fromUtf8(caption), this);
    action->setObjectName(QString::fromLatin1(name));
    action->setStatusTip(QString::fromUtf8(hint));
    connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    menu->addAction(action);
    return action;
}

QAction* TFormMain::Action(const char* name) const { return findChild<QAction*>(QString::fromLatin1(name)); }

void TFormMain::BuildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu"));

    QMenu* file = NewMenu("MenuFile", "&File");
    AddItem(file, "MenuOpen", "開く(&O)...", "ファイルを開く", &TFormMain::MenuOpenClick);
    AddItem(file, "MenuReopen", "開き直す(&R)", "ファイルを開き直す", &TFormMain::MenuReopenClick);
    AddItem(file, "MenuOpenIE", "&IEで開いているページを開く（Download)", "IEで開いているページをダウンロードする",
            &TFormMain::MenuOpenIEClick);
    file->addSeparator();
    AddItem(file, "MenuSaveAs", "名前を付けて保存(&A)...", "ファイルに保存する", &TFormMain::MenuSaveAsClick);
    AddItem(file, "MenuSaveLrc", "LRCに書き出す(&L)...", "LRC形式の歌詞ファイルに書き出す", &TFormMain::MenuSaveLrcClick);
    file->addSeparator();
    AddItem(file, "MenuAssocTagLyr", "&TagLyrに関連付け", "タグファイル（.TagLyr）にZVEKLCを関連付けする",
            &TFormMain::MenuAssocTagLyrClick)
        ->setCheckable(true);
    AddItem(file, "MenuSetZVEKTool", "&ZVEKにツール登録", "ZVEKのツールメニューに登録する",
            &TFormMain::MenuSetZVEKToolClick)
        ->setCheckable(true);
    file->addSeparator();
    AddItem(file, "MenuExit", "終了(&X)", "終了", &TFormMain::MenuExitClick);

    QMenu* edit = NewMenu("MenuEdit", "&Edit");
    connect(edit, &QMenu::aboutToShow, this, &TFormMain::CheckMenu);
    AddItem(edit, "MenuUndo", "元に戻す(&U)", kHintUndo, &TFormMain::MenuUndoClick)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    AddItem(edit, "MenuCut", "切り取り(&X)", kHintCut, &TFormMain::MenuCutClick)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    AddItem(edit, "MenuCopy", "コピー(&C)", kHintCopy, &TFormMain::MenuCopyClick)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    AddItem(edit, "MenuPaste", "貼り付け(&P)", kHintPaste, &TFormMain::MenuPasteClick)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    edit->addSeparator();
    AddItem(edit, "MenuAllSelect", "全て選択(&A)", "全てを選択する", &TFormMain::MenuAllSelectClick)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));

    QMenu* convert = NewMenu("MenuConvert", "&Convert");
    connect(convert, &QMenu::aboutToShow, this, &TFormMain::CheckMenu);
    AddItem(convert, "MenuConvertAuto", "&Auto", kHintAuto, &TFormMain::MenuConvertAutoClick);
    convert->addSeparator();
    ConvertMenu = NewMenu("ConvertMenu", "");
    // The main Convert menu and the tool bar's drop-down list the same
    // conversions; only the tag items' captions differ.
    for (const bool main : {true, false}) {
        QMenu* menu = main ? convert : ConvertMenu;
        AddItem(menu, main ? "MenuTextToZVEK" : "ConvMenuTextToZVEK", "T&ext→ZVEK", kHintTextToZVEK,
                &TFormMain::MenuTextToZVEKClick);
        AddItem(menu, main ? "MenuZVEKToText" : "ConvMenuZVEKToText", "ZVEK→Te&xt", kHintZVEKToText,
                &TFormMain::MenuZVEKToTextClick);
        menu->addSeparator();
        AddItem(menu, main ? "MenuTagToZVEK" : "ConvMenuTagToZVEK", main ? "&Tag→ZVEK..." : "&Tag→ZVEK",
                kHintTagToZVEK, &TFormMain::MenuTagToZVEKClick);
        AddItem(menu, main ? "MenuZVEKToTag" : "ConvMenuZVEKToTag", main ? "&ZVEK→Tag..." : "&ZVEK→Tag",
                kHintZVEKToTag, &TFormMain::MenuZVEKToTagClick);
        AddItem(menu, main ? "MenuConvertFromIE" : "ConvertMenuConvertFromIE", "&IEで開いているページでタグファイル変換",
                kHintFromIE, &TFormMain::MenuConvertFromIEClick);
        AddItem(menu, main ? "MenuConvertFromURL" : "ConvertMenuConvertFromURL", "&URLを開いてタグファイル変換",
                kHintFromURL, &TFormMain::MenuConvertFromURLClick);
        menu->addSeparator();
        AddItem(menu, main ? "MenuWinAmpToZVEK" : "ConvMenuWinAmpToZVEK", "&WinAmp→ZVEK", kHintWinAmp,
                &TFormMain::MenuWinAmpToZVEKClick);
        AddItem(menu, main ? "MenuLrcToZVEK" : "ConvMenuLrcToZVEK", "&LRC→ZVEK", kHintLrc, &TFormMain::MenuLrcToZVEKClick);
    }

    QMenu* find = NewMenu("MenuFind", "&Find");
    connect(find, &QMenu::aboutToShow, this, &TFormMain::MenuFindClick);
    AddItem(find, "MenuFindLyricsFromTitle", "曲名で歌詞検索(&T)", kHintFromTitle, &TFormMain::MenuFindLyricsFromTitleClick);
    AddItem(find, "MenuFindLyricsFromArtist", "アーティストで歌詞検索(&A)", kHintFromArtist,
            &TFormMain::MenuFindLyricsFromArtistClick);
    AddItem(find, "MenuOpenURL", "URLを開く(&U)", kHintOpenURL, &TFormMain::MenuOpenURLClick);
    FindMenu = NewMenu("FindMenu", "");
    connect(FindMenu, &QMenu::aboutToShow, this, &TFormMain::FindMenuPopup);
    AddItem(FindMenu, "PopupFindLyricsFromTitle", "曲名で歌詞検索", kHintFromTitle, &TFormMain::MenuFindLyricsFromTitleClick);
    AddItem(FindMenu, "PopupFindLyricsFromArtist", "アーティストで歌詞検索", kHintFromArtist,
            &TFormMain::MenuFindLyricsFromArtistClick);
    AddItem(FindMenu, "PopupOpenURL", "URLを開く", kHintOpenURL, &TFormMain::MenuOpenURLClick);

    QMenu* help = NewMenu("MenuHelp", "&Help");
    AddItem(help, "MenuHelpHelp", "&Help", "ヘルプを表示", &TFormMain::MenuHelpHelpClick);
    help->addSeparator();
    HomePageMenu = NewMenu("HomePageMenu", "");
    for (const bool main : {true, false}) {
        QMenu* menu = main ? help : HomePageMenu;
        AddItem(menu, main ? "MenuHALDESOFT" : "HPMenuHALDESOFT", "&HALDE SOFT", kHintHALDESOFT,
                &TFormMain::MenuHALDESOFTClick);
        AddItem(menu, main ? "MenuUtaMap" : "HPMenuUtaMap", "うたまっぷ(&M)", kHintUtaMap, &TFormMain::MenuUtaMapClick);
        AddItem(menu, main ? "MenuUtaNet" : "HPMenuUtaNet", "歌ネット(&N)", kHintUtaNet, &TFormMain::MenuUtaNetClick);
    }

    for (QMenu* menu : {file, edit, convert, find, help}) bar->addMenu(menu);

    PopupMenu = NewMenu("PopupMenu", "");
    connect(PopupMenu, &QMenu::aboutToShow, this, &TFormMain::CheckMenu);
    AddItem(PopupMenu, "PopupUndo", "元に戻す", kHintUndo, &TFormMain::MenuUndoClick)->setIcon(ToolIcon(ToolImage::Undo));
    AddItem(PopupMenu, "PopupCut", "切り取り", kHintCut, &TFormMain::MenuCutClick)->setIcon(ToolIcon(ToolImage::Cut));
    AddItem(PopupMenu, "PopupCopy", "コピー", kHintCopy, &TFormMain::MenuCopyClick)->setIcon(ToolIcon(ToolImage::Copy));
    AddItem(PopupMenu, "PopupPaste", "貼り付け", kHintPaste, &TFormMain::MenuPasteClick)->setIcon(ToolIcon(ToolImage::Paste));
    PopupMenu->addSeparator();
    AddItem(PopupMenu, "PopupConvert", "コンバート（オート）", kHintAuto, &TFormMain::MenuConvertAutoClick)
        ->setIcon(ToolIcon(ToolImage::Convert));
    AddItem(PopupMenu, "PopupConvertIE", "IEで開いているページでタグファイル変換", kHintFromIE,
            &TFormMain::MenuConvertFromIEClick)
        ->setIcon(ToolIcon(ToolImage::ConvertFromIE));
    AddItem(PopupMenu, "PopupConvertURL", "URLを開いてタグファイル変換", kHintFromURL, &TFormMain::MenuConvertFromURLClick);
}

void TFormMain::BuildStatusBar() {
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    // Stopping a download: Esc anywhere in the window, or the button that
    // the status line shows while a command runs.
    auto* stop = new QAction(QStringLiteral("中止"), this);
    stop->setObjectName(QStringLiteral("Stop"));
    stop->setToolTip(QStringLiteral("ダウンロードを中止する (Esc)"));
    stop->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(stop, &QAction::triggered, this, &TFormMain::StopClick);
    addAction(stop);
    auto* button = new QToolButton(statusBar());
    button->setObjectName(QStringLiteral("BtnStop"));
    button->setDefaultAction(stop);
    button->hide();
    statusBar()->addPermanentWidget(button);
    stopButton_ = button;
}

void TFormMain::BuildToolBar() {
    QToolBar* bar = addToolBar(QString());
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    bar->setIconSize(QSize(20, 20));
    struct Button {
        const char* name;  // nullptr: a separator
        ToolImage image;
        const char* hint;  // nullptr: no hint, the ordinary cursor
        Handler handler;
        QMenu* menu;
        QToolButton::ToolButtonPopupMode mode;
    };
    const Button buttons[] = {
        {"BtnOpen", ToolImage::Open, "開く...", &TFormMain::MenuOpenClick, nullptr, QToolButton::DelayedPopup},
        {"BtnSaveAs", ToolImage::SaveAs, "名前を付けて保存...", &TFormMain::MenuSaveAsClick, nullptr, QToolButton::DelayedPopup},
        {nullptr, {}, nullptr, nullptr, nullptr, {}},
        {"BtnUndo", ToolImage::Undo, nullptr, &TFormMain::MenuUndoClick, nullptr, QToolButton::DelayedPopup},
        {"BtnCut", ToolImage::Cut, nullptr, &TFormMain::MenuCutClick, nullptr, QToolButton::DelayedPopup},
        {"BtnCopy", ToolImage::Copy, nullptr, &TFormMain::MenuCopyClick, nullptr, QToolButton::DelayedPopup},
        {"BtnPaste", ToolImage::Paste, nullptr, &TFormMain::MenuPasteClick, nullptr, QToolButton::DelayedPopup},
        {nullptr, {}, nullptr, nullptr, nullptr, {}},
        {"BtnConvert", ToolImage::Convert, "コンバート", &TFormMain::MenuConvertAutoClick, ConvertMenu,
         QToolButton::MenuButtonPopup},
        {"BtnConvertFromIE", ToolImage::ConvertFromIE, "IEで開いているページでタグファイル変換",
         &TFormMain::MenuConvertFromIEClick, nullptr, QToolButton::DelayedPopup},
        {nullptr, {}, nullptr, nullptr, nullptr, {}},
        {"BtnFindLyrics", ToolImage::FindLyrics, "歌詞検索", nullptr, FindMenu, QToolButton::InstantPopup},
        {"BtnHomePage", ToolImage::HomePage, "ホームページ", nullptr, HomePageMenu, QToolButton::InstantPopup},
        {"BtnHelp", ToolImage::Help, "ヘルプ", &TFormMain::MenuHelpHelpClick, nullptr, QToolButton::DelayedPopup},
    };
    for (const Button& b : buttons) {
        if (!b.name) {
            bar->addSeparator();
            continue;
        }
        auto* button = new QToolButton(bar);
        button->setObjectName(QString::fromLatin1(b.name));
        button->setIcon(ToolIcon(b.image));
        button->setAutoRaise(true);
        if (b.hint) {
            button->setToolTip(QString::fromUtf8(b.hint));
            button->setStatusTip(QString::fromUtf8(b.hint));
            button->setCursor(Qt::PointingHandCursor);
        }
        if (b.menu) {
            button->setMenu(b.menu);
            button->setPopupMode(b.mode);
        }
        if (b.handler) connect(button, &QToolButton::clicked, this, [this, h = b.handler] { (this->*h)(); });
        bar->addWidget(button);
    }
}

// --- Commands ---------------------------------------------------------------

void TFormMain::RunCommand(const std::function<void()>& command) {
    if (busy_) return;
    busy_ = true;
    host_.cancelRequested = false;
    stopButton_->show();
    Edit->setReadOnly(true);
    adapter_->Load();
    try {
        command();
    } catch (const std::exception& e) {
        // What the file layer could not do (no access, disk full), in the
        // words of the error that stopped it.
        host_.MessageBox(e.what(), MsgKind::Error, MsgButtons::Ok);
    }
    adapter_->Store();
    Edit->setReadOnly(false);
    stopButton_->hide();
    busy_ = false;
    if (closePending_) {
        closePending_ = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

void TFormMain::ShowProgressCaret() {
    const QTextBlock block = Edit->document()->findBlockByNumber(doc_.CurrentLine());
    if (!block.isValid()) return;
    Edit->setTextCursor(QTextCursor(block));
    Edit->ensureCursorVisible();
}

void TFormMain::MenuOpenClick() {
    RunCommand([this] { doc_.MenuOpenClick(); });
}
void TFormMain::MenuReopenClick() {
    RunCommand([this] { doc_.MenuReopenClick(); });
}
void TFormMain::MenuSaveAsClick() {
    RunCommand([this] { doc_.MenuSaveAsClick(); });
}
void TFormMain::MenuSaveLrcClick() {
    RunCommand([this] { zvek::MenuSaveLrcClick(doc_, lrcDialog_); });
}
void TFormMain::MenuExitClick() { close(); }

void TFormMain::MenuUndoClick() {
    if (!busy_) Edit->undo();
}
// Cut and Paste start a fresh undo history, so that Undo takes back just them.
void TFormMain::MenuCutClick() {
    if (busy_) return;
    Edit->document()->clearUndoRedoStacks();
    Edit->cut();
}
void TFormMain::MenuCopyClick() { Edit->copy(); }
void TFormMain::MenuPasteClick() {
    if (busy_) return;
    Edit->document()->clearUndoRedoStacks();
    Edit->paste();
}
void TFormMain::MenuAllSelectClick() { Edit->selectAll(); }

void TFormMain::MenuConvertAutoClick() {
    RunCommand([this] { zvek::MenuConvertAutoClick(doc_); });
}
void TFormMain::MenuTextToZVEKClick() {
    RunCommand([this] { ConvertTextToZVEK(doc_); });
}
void TFormMain::MenuZVEKToTextClick() {
    RunCommand([this] { ConvertZVEKToText(doc_); });
}
void TFormMain::MenuWinAmpToZVEKClick() {
    RunCommand([this] { ConvertWinAmpToZVEK(doc_); });
}
void TFormMain::MenuLrcToZVEKClick() {
    RunCommand([this] { ConvertLrcToZVEK(doc_); });
}
void TFormMain::MenuTagToZVEKClick() {
    RunCommand([this] { zvek::MenuTagToZVEKClick(doc_); });
}
void TFormMain::MenuZVEKToTagClick() {
    RunCommand([this] { zvek::MenuZVEKToTagClick(doc_); });
}
void TFormMain::MenuConvertFromURLClick() {
    RunCommand([this] { zvek::MenuConvertFromURLClick(doc_); });
}

void TFormMain::MenuOpenIEClick() {
    RunCommand([this] { zvek::MenuOpenIEClick(doc_); });
}
void TFormMain::MenuConvertFromIEClick() {
    RunCommand([this] { zvek::MenuConvertFromIEClick(doc_); });
}
void TFormMain::MenuFindLyricsFromTitleClick() {
    RunCommand([this] { FindLyrics(doc_, SearchField::Title); });
}
void TFormMain::MenuFindLyricsFromArtistClick() {
    RunCommand([this] { FindLyrics(doc_, SearchField::Artist); });
}
void TFormMain::MenuOpenURLClick() {
    RunCommand([this] { zvek::MenuOpenURLClick(doc_); });
}
void TFormMain::StopClick() {
    if (busy_) host_.cancelRequested = true;
}

void TFormMain::MenuHelpHelpClick() {
    // Installed under share/zveklc beside bin/, and likewise in the build tree.
    const QString help = QFileInfo(QCoreApplication::applicationDirPath() +
                                   QStringLiteral("/../share/zveklc/help/index.html"))
                             .canonicalFilePath();
    if (!help.isEmpty()) host_.OpenLocalPage(PathFromQt(help));
}
void TFormMain::MenuHALDESOFTClick() { host_.OpenInBrowser(SiteAddress(HomeHost(), kTopPagePath)); }
void TFormMain::MenuUtaMapClick() { host_.OpenInBrowser(SiteAddress(UtaMapHost(), kTopPagePath)); }
void TFormMain::MenuUtaNetClick() { host_.OpenInBrowser(SiteAddress(UtaNetHost(), kTopPagePath)); }

void TFormMain::MenuAssocTagLyrClick() {
    // Something of the user's under our file names is replaced only when the user says so.
    const std::string foreign = ForeignTagLyrAssociationFile();
    if (!foreign.empty() && host_.MessageBox(foreign + "\r\nはZVEKLCのファイルではありません。置き換えますか？",
                                             MsgKind::Confirmation, MsgButtons::YesCancel) != MsgResult::Yes)
        return;
    Action("MenuAssocTagLyr")->setChecked(WriteTagLyrAssociation(ProgramPath()));
}

void TFormMain::MenuSetZVEKToolClick() {
    const std::string player = FindPlayerPath();
    if (!player.empty()) RegisterPlayerTool(player, kPlayerToolName, PlayerToolCommand(ProgramPath()));
    // Marked whether or not there is a player to write to.
    Action("MenuSetZVEKTool")->setChecked(true);
}

void TFormMain::CheckDesktopIntegration() {
    // Everything this thread reads is read without blocking and every tool
    // it runs has a time limit, so the window's close, which waits for it,
    // never hangs on it; nothing it meets may end the program either.
    integration_ = std::thread([this, program = ProgramPath()] {
        bool associated = false, tool = false;
        try {
            associated = CheckTagLyrAssociation(program);
            const std::string player = FindPlayerPath();
            tool = !player.empty() && QString::fromStdString(ReadPlayerTool(player, kPlayerToolName))
                                              .compare(QString::fromStdString(PlayerToolCommand(program)),
                                                       Qt::CaseInsensitive) == 0;
        } catch (...) {
            // Unmarked, as for a check that found nothing.
        }
        QMetaObject::invokeMethod(
            this,
            [this, associated, tool] {
                Action("MenuAssocTagLyr")->setChecked(associated);
                Action("MenuSetZVEKTool")->setChecked(tool);
            },
            Qt::QueuedConnection);
    });
}

void TFormMain::MenuFindClick() { EnableFindItems("MenuOpenURL", "MenuFindLyricsFromTitle", "MenuFindLyricsFromArtist"); }
void TFormMain::FindMenuPopup() {
    EnableFindItems("PopupOpenURL", "PopupFindLyricsFromTitle", "PopupFindLyricsFromArtist");
}

void TFormMain::EnableFindItems(const char* url, const char* title, const char* artist) {
    if (busy_) return;
    adapter_->Load();
    Action(url)->setEnabled(doc_.IndexOfName("URL") >= 0);
    Action(title)->setEnabled(doc_.IndexOfName("Title") >= 0);
    Action(artist)->setEnabled(doc_.IndexOfName("Artist") >= 0);
}

void TFormMain::CheckMenu() {
    const bool selected = Edit->textCursor().hasSelection();
    for (const char* name : {"MenuCut", "MenuCopy", "PopupCut", "PopupCopy"}) Action(name)->setEnabled(selected);
    const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
    const bool text = clipboard && clipboard->hasText();
    Action("MenuPaste")->setEnabled(text);
    Action("PopupPaste")->setEnabled(text);
    if (busy_) return;
    adapter_->Load();
    const bool url = doc_.IndexOfName("URL") >= 0;
    for (const char* name : {"MenuConvertFromURL", "ConvertMenuConvertFromURL", "PopupConvertURL"})
        Action(name)->setEnabled(url);
}

// --- Start, drop, close -----------------------------------------------------

void TFormMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (start_ != Start::Hidden) return;
    start_ = Start::Showing;
    // A window that is not painted soon (started minimised, say) still
    // opens its document.
    QTimer::singleShot(250, this, &TFormMain::StartOnce);
}

bool TFormMain::event(QEvent* event) {
    // While a command runs the status line shows its progress, not the hint
    // of whatever the pointer passes over.
    if (busy_ && event->type() == QEvent::StatusTip) return true;
    const bool handled = QMainWindow::event(event);
    // Opening the document must not hold up the window's first paint.
    if (event->type() == QEvent::UpdateRequest && start_ == Start::Showing)
        QTimer::singleShot(0, this, &TFormMain::StartOnce);
    return handled;
}

void TFormMain::StartOnce() {
    if (start_ != Start::Showing) return;
    start_ = Start::Started;
    CheckDesktopIntegration();
    FormShow();
}

void TFormMain::FormShow() {
    const CommandLine line = ScanArguments(arguments_);
    CmdReference = line.reference;
    CmdOutputFile = line.output;
    doc_.ResultCode = kResultOk;
    if (line.document.empty()) return;
    RunCommand([&] {
        doc_.OpenFile(line.document);
        if (line.convert && CmdReference.empty()) CmdReference = DocumentReferenceUrl(doc_);
    });
    if (!CmdReference.empty()) QTimer::singleShot(0, this, [this] { OnDeferredConvert(false); });
}

void TFormMain::OnDeferredConvert(bool bringToTop) {
    bool saved = false;
    RunCommand([&] { saved = ConvertUnattended(doc_, CmdReference, CmdOutputFile, bringToTop); });
    if (!saved) exitStatus_ = doc_.ResultCode != kResultOk ? doc_.ResultCode : 1;
    close();
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (busy_ || urls.isEmpty() || !urls.front().isLocalFile()) return;
    event->acceptProposedAction();
    // The drag ends first; the questions come after it.
    const std::string path = PathFromQt(urls.front().toLocalFile());
    QTimer::singleShot(0, this, [this, path] { OnDropFiles(path); });
}

void TFormMain::OnDropFiles(const std::string& path) {
    RunCommand([&] {
        if (doc_.LineCount() > 0 && (IsHtmlFileName(path) || LowerAscii(ExtractFileExt(path)) == ".txt")) {
            const MsgResult answer = host_.MessageBox("タグファイル変換をしますか？", MsgKind::Confirmation,
                                                      MsgButtons::YesNoCancel);
            if (answer == MsgResult::Cancel) return;
            if (answer == MsgResult::Yes) {
                // The dropped page is the reference; the document's own name says which way.
                if (LowerAscii(ExtractFileExt(doc_.FileName())) == ".taglyr") RestoreFromTagFile(doc_, path);
                else MakeTagFile(doc_, path);
                return;
            }
        }
        if (!doc_.MayDiscardEditsFor(path)) return;
        doc_.OpenFile(path);
        doc_.OpenDialog.initialDir = ExtractFileDir(doc_.FileName());
    });
}

void TFormMain::closeEvent(QCloseEvent* event) {
    if (busy_) {
        // A command is waiting for a download; close once it is done.
        closePending_ = true;
        event->ignore();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

bool TFormMain::FormCloseQuery() {
    if (!Edit->document()->isModified()) return true;
    switch (host_.MessageBox(ExtractFileName(doc_.FileName()) + "を保存しますか？", MsgKind::Confirmation,
                             MsgButtons::YesNoCancel)) {
    case MsgResult::Yes:
        MenuSaveAsClick();
        // A cancelled or failed save keeps the window and the edits.
        return !Edit->document()->isModified();
    case MsgResult::No: return true;
    default: return false;
    }
}

void TFormMain::FormClose() {
    WindowSettings settings;
    settings.left = x();
    settings.top = y();
    settings.width = width();
    settings.height = height();
    settings.openDir = doc_.OpenDialog.initialDir;
    settings.saveDir = doc_.SaveDialog.initialDir;
    WriteSettings(settingsPath_, settings);
}

}  // namespace zvek
