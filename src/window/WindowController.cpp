#include "window/WindowController.h"

#include <cstdio>
#include <exception>
#include <filesystem>

#include "lyrics/Conversions.h"
#include "lyrics/FindCommands.h"
#include "lyrics/Lrc.h"
#include "lyrics/OpenBrowserPage.h"
#include "platform/Association.h"
#include "platform/Files.h"
#include "platform/FsPath.h"
#include "platform/Player.h"
#include "tags/AutoConvert.h"
#include "tags/TagConversions.h"
#include "text/Sjis.h"
#include "web/LyricsSites.h"
#include "window/CommandLine.h"

namespace zvek {

namespace {

// The commands that work on the document alone, run by RunCommand.
constexpr std::pair<Command, void (*)(LyricsDocument&)> kDocumentCommands[] = {
    {Command::Open, [](LyricsDocument& doc) { doc.MenuOpenClick(); }},
    {Command::Reopen, [](LyricsDocument& doc) { doc.MenuReopenClick(); }},
    {Command::OpenIE, MenuOpenIEClick},
    {Command::SaveAs, [](LyricsDocument& doc) { doc.MenuSaveAsClick(); }},
    {Command::TextToZVEK, ConvertTextToZVEK},
    {Command::ZVEKToText, ConvertZVEKToText},
    {Command::TagToZVEK, MenuTagToZVEKClick},
    {Command::ZVEKToTag, MenuZVEKToTagClick},
    {Command::ConvertFromIE, MenuConvertFromIEClick},
    {Command::ConvertFromURL, MenuConvertFromURLClick},
    {Command::WinAmpToZVEK, ConvertWinAmpToZVEK},
    {Command::LrcToZVEK, ConvertLrcToZVEK},
    {Command::FindLyricsFromTitle, [](LyricsDocument& doc) { FindLyrics(doc, SearchField::Title); }},
    {Command::FindLyricsFromArtist, [](LyricsDocument& doc) { FindLyrics(doc, SearchField::Artist); }},
    {Command::OpenURL, MenuOpenURLClick},
};

// The player's tool menu starts this program.
bool HasOurTool(const std::string& player, const std::string& program) {
    return !player.empty() && EqualsIgnoreCase(ReadPlayerTool(player, kPlayerToolName), PlayerToolCommand(program));
}

}  // namespace

std::string VersionCaption(int thousandths) {
    char version[32];
    std::snprintf(version, sizeof version, "%d.%03d", thousandths / 1000, thousandths % 1000);
    return std::string("ZVEK Lyrics Converter Ver.") + version;
}

WindowController::WindowController(WindowView& view, WindowHost& host, std::vector<std::string> arguments,
                                   std::string programPath)
    : view_(view),
      host_(host),
      doc_(host),
      adapter_(view.Editor(), doc_),
      lrcDialog_(MakeLrcSaveDialog()),
      arguments_(std::move(arguments)),
      programPath_(std::move(programPath)) {
    view_.SetCaption(VersionCaption(kVersionThousandths));
    doc_.onFileNameSet = [this] { view_.SetCaption(doc_.Caption()); };
    host_.onProcessMessages = [this] {
        view_.Editor().ShowLine(doc_.CurrentLine());
        adapter_.CaretMoved();
    };
    std::error_code ec;
    const std::string here = PathText(std::filesystem::current_path(ec));
    doc_.OpenDialog.initialDir = doc_.SaveDialog.initialDir = lrcDialog_.initialDir = here;
}

WindowController::~WindowController() {
    if (integration_.joinable()) integration_.join();
}

void WindowController::ApplySettings(WindowSettings& settings, int screenWidth, int screenHeight) {
    if (screenWidth > 0 && screenHeight > 0) FitToScreen(settings, screenWidth, screenHeight);
    if (!settings.openDir.empty()) doc_.OpenDialog.initialDir = settings.openDir;
    if (!settings.saveDir.empty()) doc_.SaveDialog.initialDir = lrcDialog_.initialDir = settings.saveDir;
}

void WindowController::RunCommand(const std::function<void()>& command) {
    if (busy_) return;
    busy_ = true;
    host_.cancelRequested = false;
    // Whatever the status line showed belongs to what went before.
    host_.SetStatusText("");
    view_.ShowStopControl(true);
    view_.Editor().SetReadOnly(true);
    adapter_.Load();
    BeforeConversion before{doc_.FileName(), doc_.Modified, 0};
    try {
        command();
    } catch (const std::exception& e) {
        // What the file layer could not do (no access, disk full), in the
        // words of the error that stopped it.
        host_.MessageBox(e.what(), MsgKind::Error, MsgButtons::Ok);
    }
    switch (adapter_.Store()) {
    case LyricsDocument::UndoRequest::Conversion:
        before.text = adapter_.Replaced();
        beforeConversion_ = before;
        break;
    case LyricsDocument::UndoRequest::NewFile:
        beforeConversion_.reset();
        break;
    case LyricsDocument::UndoRequest::None:
        break;
    }
    view_.Editor().SetReadOnly(false);
    view_.ShowStopControl(false);
    busy_ = false;
    if (closePending_) {
        closePending_ = false;
        view_.Post([this] { view_.Close(); });
    }
}

void WindowController::Run(Command command) {
    for (const auto& [which, run] : kDocumentCommands)
        if (which == command) return RunCommand([this, run = run] { run(doc_); });
    EditorView& edit = view_.Editor();
    switch (command) {
    case Command::ConvertAuto:
        return ConvertAuto();
    case Command::SaveLrc:
        return RunCommand([this] { MenuSaveLrcClick(doc_, lrcDialog_); });
    case Command::AssocTagLyr:
        return MenuAssocTagLyrClick();
    case Command::SetZVEKTool:
        return MenuSetZVEKToolClick();
    case Command::Exit:
        return view_.Close();
    case Command::Undo:
        return Undo();
    // Cut and Paste start a fresh undo history, so that Undo takes back just them.
    case Command::Cut:
    case Command::Paste:
        if (busy_) return;
        edit.ClearUndo();
        beforeConversion_.reset();
        return command == Command::Cut ? edit.Cut() : edit.Paste();
    case Command::Copy:
        return edit.Copy();
    case Command::AllSelect:
        return edit.SelectAll();
    case Command::HelpHelp:
        return MenuHelpHelpClick();
    case Command::HALDESOFT:
        host_.OpenInBrowser(SiteAddress(HomeHost(), kTopPagePath));
        return;
    case Command::UtaMap:
        host_.OpenInBrowser(SiteAddress(UtaMapHost(), kTopPagePath));
        return;
    case Command::UtaNet:
        host_.OpenInBrowser(SiteAddress(UtaNetHost(), kTopPagePath));
        return;
    case Command::Stop:
        if (busy_) host_.cancelRequested = true;
        return;
    case Command::CheckMenu:
        return CheckMenu();
    case Command::MenuFind:
        return EnableFindItems("MenuOpenURL", "MenuFindLyricsFromTitle", "MenuFindLyricsFromArtist");
    case Command::FindMenuPopup:
        return EnableFindItems("PopupOpenURL", "PopupFindLyricsFromTitle", "PopupFindLyricsFromArtist");
    default:  // None, and the document's commands above
        return;
    }
}

void WindowController::ConvertAuto() {
    RunCommand([this] {
        // Which conversion was chosen, as the command line says it, unless
        // the conversion has something of its own to say.
        const std::string chosen = AutoConversionNote(doc_, DecideAutoConversion(doc_));
        host_.SetStatusText(chosen);
        MenuConvertAutoClick(doc_);
        if (host_.StatusText().empty()) host_.SetStatusText(chosen);
    });
}

void WindowController::Undo() {
    if (busy_) return;
    EditorView& edit = view_.Editor();
    edit.Undo();
    // The step that took back a conversion also takes back its new name.
    if (beforeConversion_ && TextHash(edit.Text()) == beforeConversion_->text) {
        doc_.SetFileName(beforeConversion_->fileName);
        edit.SetModified(beforeConversion_->modified);
        beforeConversion_.reset();
    }
}

void WindowController::MenuHelpHelpClick() {
    // Installed under share/zveklc beside bin/, and likewise in the build tree.
    const auto help =
        (FsPath(ExtractFileDir(programPath_)) / ".." / "share" / "zveklc" / "help" / "index.html").lexically_normal();
    std::error_code ec;
    const auto page = std::filesystem::canonical(help, ec);
    if (ec) {
        host_.MessageBox("ヘルプが見つかりません：" + PathText(help), MsgKind::Warning, MsgButtons::Ok);
        return;
    }
    host_.OpenLocalPage(PathText(page));
}

void WindowController::MenuAssocTagLyrClick() {
    // Something of the user's under our file names is replaced only when the user says so.
    const std::string foreign = ForeignTagLyrAssociationFile();
    if (!foreign.empty() && host_.MessageBox(foreign + "\r\nはZVEKLCのファイルではありません。置き換えますか？",
                                             MsgKind::Confirmation, MsgButtons::YesCancel) != MsgResult::Yes)
        return;
    view_.CheckItem("MenuAssocTagLyr", WriteTagLyrAssociation(programPath_));
}

void WindowController::MenuSetZVEKToolClick() {
    const std::string player = FindPlayerPath();
    if (player.empty()) {
        host_.MessageBox("ZVEKが見つからないため、ツール登録できませんでした", MsgKind::Warning, MsgButtons::Ok);
    } else if (!RegisterPlayerTool(player, kPlayerToolName, PlayerToolCommand(programPath_))) {
        host_.MessageBox("ZVEKの設定ファイルにツールを登録できませんでした", MsgKind::Warning, MsgButtons::Ok);
    } else {
        player_.NotifyToolChanged();
    }
    view_.CheckItem("MenuSetZVEKTool", HasOurTool(player, programPath_));
}

void WindowController::CheckDesktopIntegration() {
    // Everything this thread reads is read without blocking and every tool
    // it runs has a time limit, so the window's close, which waits for it,
    // never hangs on it; nothing it meets may end the program either.
    integration_ = std::thread([this] {
        bool associated = false, tool = false;
        try {
            associated = CheckTagLyrAssociation(programPath_);
            const std::string player = FindPlayerPath();
            tool = HasOurTool(player, programPath_);
        } catch (...) {
            // Unmarked, as for a check that found nothing.
        }
        view_.Post([this, associated, tool] {
            view_.CheckItem("MenuAssocTagLyr", associated);
            view_.CheckItem("MenuSetZVEKTool", tool);
        });
    });
}

void WindowController::EnableFindItems(const char* url, const char* title, const char* artist) {
    if (busy_) return;
    adapter_.Load();
    view_.EnableItem(url, doc_.IndexOfName("URL") >= 0);
    view_.EnableItem(title, doc_.IndexOfName("Title") >= 0);
    view_.EnableItem(artist, doc_.IndexOfName("Artist") >= 0);
}

void WindowController::CheckMenu() {
    EditorView& edit = view_.Editor();
    const auto [anchor, caret] = edit.Selection();
    for (const char* name : {"MenuCut", "MenuCopy", "PopupCut", "PopupCopy"}) view_.EnableItem(name, anchor != caret);
    const bool text = edit.CanPaste();
    view_.EnableItem("MenuPaste", text);
    view_.EnableItem("PopupPaste", text);
    if (busy_) return;
    adapter_.Load();
    const bool url = doc_.IndexOfName("URL") >= 0;
    for (const char* name : {"MenuConvertFromURL", "ConvertMenuConvertFromURL", "PopupConvertURL"})
        view_.EnableItem(name, url);
}

// --- Start, drop, close -----------------------------------------------------

void WindowController::Start() {
    CheckDesktopIntegration();
    FormShow();
}

void WindowController::FormShow() {
    const CommandLine line = ScanArguments(arguments_);
    CmdReference = line.reference;
    CmdOutputFile = line.output;
    // A conversion that writes its output where the command line says is
    // run by a script: nobody is there to click a message away.
    host_.SetUnattended(!CmdOutputFile.empty());
    doc_.ResultCode = kResultOk;
    if (line.document.empty()) return;
    RunCommand([&] {
        doc_.OpenFile(line.document);
        if (line.convert && CmdReference.empty()) CmdReference = DocumentReferenceUrl(doc_);
    });
    if (!CmdReference.empty()) view_.Post([this] { OnDeferredConvert(false); });
}

void WindowController::OnDeferredConvert(bool bringToTop) {
    bool saved = false;
    RunCommand([&] { saved = ConvertUnattended(doc_, CmdReference, CmdOutputFile, bringToTop); });
    if (!saved) exitStatus_ = doc_.ResultCode != kResultOk ? doc_.ResultCode : 1;
    view_.Close();
}

bool WindowController::Drop(const std::string& path) {
    if (busy_) return false;
    // The drag ends first; the questions come after it.
    view_.Post([this, path] { OnDropFiles(path); });
    return true;
}

void WindowController::OnDropFiles(const std::string& path) {
    RunCommand([&] {
        if (doc_.LineCount() > 0 && (IsHtmlFileName(path) || LowerAscii(ExtractFileExt(path)) == ".txt")) {
            const MsgResult answer =
                host_.MessageBox("タグファイル変換をしますか？", MsgKind::Confirmation, MsgButtons::YesNoCancel);
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

bool WindowController::CloseRequested() {
    if (busy_) {
        // A command is waiting for a download; close once it is done.
        closePending_ = true;
        return false;
    }
    if (!FormCloseQuery()) return false;
    WindowSettings settings;
    settings.openDir = doc_.OpenDialog.initialDir;
    settings.saveDir = doc_.SaveDialog.initialDir;
    view_.SaveSettings(settings);
    return true;
}

bool WindowController::FormCloseQuery() {
    // Unattended, the result went to the output or nowhere.
    if (!view_.Editor().Modified() || host_.Unattended()) return true;
    switch (host_.MessageBox(ExtractFileName(doc_.FileName()) + "を保存しますか？", MsgKind::Confirmation,
                             MsgButtons::YesNoCancel)) {
    case MsgResult::Yes:
        Run(Command::SaveAs);
        // A cancelled or failed save keeps the window and the edits.
        return !view_.Editor().Modified();
    case MsgResult::No:
        return true;
    default:
        return false;
    }
}

}  // namespace zvek
