// The main window: the lyrics editor with its menus, tool bar and status
// line, built from the command table. The rules live in the window logic;
// this class draws the window and hands it every command and event.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/LyricsEdit.h"
#include "app/QtHost.h"
#include "window/WindowController.h"

class QAction;
class QMenu;

namespace zvek {

class TFormMain : public QMainWindow, public WindowView {
public:
    // `arguments`: the command line without the program's own path.
    // `settingsPath`: the INI file the geometry and folders live in.
    TFormMain(std::vector<std::string> arguments, QString settingsPath, QWidget* parent = nullptr);
    ~TFormMain() override = default;

    LyricsDocument& Document() { return logic_->Document(); }
    QtHost& Host() { return host_; }
    LyricsEdit& Editor() override { return *Edit; }
    int ExitStatus() const { return logic_->ExitStatus(); }

    void FormShow() { logic_->FormShow(); }
    void OnDeferredConvert(bool bringToTop) { logic_->OnDeferredConvert(bringToTop); }
    bool FormCloseQuery() { return logic_->FormCloseQuery(); }
    void CheckMenu() { logic_->CheckMenu(); }
    void OnDropFiles(const std::string& path) { logic_->OnDropFiles(path); }

    void MenuOpenClick() { logic_->Run(Command::Open); }
    void MenuReopenClick() { logic_->Run(Command::Reopen); }
    void MenuSaveAsClick() { logic_->Run(Command::SaveAs); }
    void MenuSaveLrcClick() { logic_->Run(Command::SaveLrc); }
    void MenuExitClick() { logic_->Run(Command::Exit); }
    void MenuUndoClick() { logic_->Run(Command::Undo); }
    void MenuCutClick() { logic_->Run(Command::Cut); }
    void MenuCopyClick() { logic_->Run(Command::Copy); }
    void MenuPasteClick() { logic_->Run(Command::Paste); }
    void MenuAllSelectClick() { logic_->Run(Command::AllSelect); }
    void MenuConvertAutoClick() { logic_->Run(Command::ConvertAuto); }
    void MenuTextToZVEKClick() { logic_->Run(Command::TextToZVEK); }
    void MenuZVEKToTextClick() { logic_->Run(Command::ZVEKToText); }
    void MenuWinAmpToZVEKClick() { logic_->Run(Command::WinAmpToZVEK); }
    void MenuLrcToZVEKClick() { logic_->Run(Command::LrcToZVEK); }
    void MenuTagToZVEKClick() { logic_->Run(Command::TagToZVEK); }
    void MenuZVEKToTagClick() { logic_->Run(Command::ZVEKToTag); }
    void MenuConvertFromURLClick() { logic_->Run(Command::ConvertFromURL); }
    void MenuOpenIEClick() { logic_->Run(Command::OpenIE); }
    void MenuConvertFromIEClick() { logic_->Run(Command::ConvertFromIE); }
    void MenuAssocTagLyrClick() { logic_->Run(Command::AssocTagLyr); }
    void MenuSetZVEKToolClick() { logic_->Run(Command::SetZVEKTool); }
    void MenuFindClick() { logic_->Run(Command::MenuFind); }
    void FindMenuPopup() { logic_->Run(Command::FindMenuPopup); }
    void MenuFindLyricsFromTitleClick() { logic_->Run(Command::FindLyricsFromTitle); }
    void MenuFindLyricsFromArtistClick() { logic_->Run(Command::FindLyricsFromArtist); }
    void MenuOpenURLClick() { logic_->Run(Command::OpenURL); }
    void MenuHelpHelpClick() { logic_->Run(Command::HelpHelp); }
    void MenuHALDESOFTClick() { logic_->Run(Command::HALDESOFT); }
    void MenuUtaMapClick() { logic_->Run(Command::UtaMap); }
    void MenuUtaNetClick() { logic_->Run(Command::UtaNet); }
    void StopClick() { logic_->Run(Command::Stop); }

    // The view the window logic draws on.
    void EnableItem(std::string_view name, bool enabled) override;
    void CheckItem(std::string_view name, bool checked) override;
    void ShowStopControl(bool shown) override;
    void SetCaption(const std::string& caption) override;
    void Post(std::function<void()> call) override;
    void Close() override { close(); }
    void SaveSettings(WindowSettings settings) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildMenus();
    void BuildToolBar();
    QAction* NewAction(const MenuItem& item);
    QAction* Action(std::string_view name) const;
    // The first show: Start is due once the window has been painted.
    void StartOnce();

    QtHost host_;
    LyricsEdit* Edit = nullptr;
    QMenu* PopupMenu = nullptr;
    QWidget* stopButton_ = nullptr;
    QString settingsPath_;
    enum class Start { Hidden, Showing, Started } start_ = Start::Hidden;
    std::unique_ptr<WindowController> logic_;
};

}  // namespace zvek
