// The main window: the lyrics editor with its menus, tool bar and status
// line. Every command runs on the core's document; the window copies the
// editor's text into it before the command and shows the result after it.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/QtHost.h"
#include "lyrics/LyricsDocument.h"

class QAction;
class QMenu;

namespace zvek {

class EditorAdapter;
class LyricsEdit;

// The program's version in thousandths, shown in the first caption.
inline constexpr int kVersionThousandths = 6310;

class TFormMain : public QMainWindow {
public:
    // `arguments`: the command line without the program's own path.
    // `settingsPath`: the INI file the geometry and folders live in.
    TFormMain(std::vector<std::string> arguments, QString settingsPath, QWidget* parent = nullptr);
    ~TFormMain() override;

    LyricsDocument& Document() { return doc_; }
    QtHost& Host() { return host_; }
    LyricsEdit& Editor() { return *Edit; }

    // The command line's reference and output, for the unattended conversion.
    std::string CmdReference;
    std::string CmdOutputFile;

    // What the process should exit with: 0, or the result code (1 when it
    // has none) of an unattended conversion that saved nothing.
    int ExitStatus() const { return exitStatus_; }

    // Runs once the window is first shown: scans the command line, opens
    // the document it names and queues the unattended conversion.
    void FormShow();
    void OnDeferredConvert(bool bringToTop);
    // The question about unsaved edits; true when the window may close.
    bool FormCloseQuery();
    void FormClose();
    // Enables the Cut/Copy, Paste and URL items for the menu about to open.
    void CheckMenu();
    // A file dropped on the window: opened, or used as the reference page.
    void OnDropFiles(const std::string& path);

    void MenuOpenClick();
    void MenuReopenClick();
    void MenuSaveAsClick();
    void MenuSaveLrcClick();
    void MenuExitClick();
    void MenuUndoClick();
    void MenuCutClick();
    void MenuCopyClick();
    void MenuPasteClick();
    void MenuAllSelectClick();
    void MenuConvertAutoClick();
    void MenuTextToZVEKClick();
    void MenuZVEKToTextClick();
    void MenuWinAmpToZVEKClick();
    void MenuLrcToZVEKClick();
    void MenuTagToZVEKClick();
    void MenuZVEKToTagClick();
    void MenuConvertFromURLClick();
    void MenuOpenIEClick();
    void MenuConvertFromIEClick();
    void MenuAssocTagLyrClick();
    void MenuSetZVEKToolClick();
    // The Find menus enable their items for the lines the document has.
    void MenuFindClick();
    void FindMenuPopup();
    void MenuFindLyricsFromTitleClick();
    void MenuFindLyricsFromArtistClick();
    void MenuOpenURLClick();
    void MenuHelpHelpClick();
    void MenuHALDESOFTClick();
    void MenuUtaMapClick();
    void MenuUtaNetClick();
    // Stops a running download (Esc, or the button on the status line).
    void StopClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    using Handler = void (TFormMain::*)();

    // Runs a command on the document between the editor's two copies. A
    // command is not started while another one runs (it may be waiting for
    // a download and letting the window process its events meanwhile).
    void RunCommand(const std::function<void()>& command);
    void ShowProgressCaret();

    void EnableFindItems(const char* url, const char* title, const char* artist);
    // The association and the player's tool entry: checked after the first
    // paint on a thread of their own, which may write what is missing.
    void CheckDesktopIntegration();
    void BuildStatusBar();
    void BuildMenus();
    void BuildToolBar();
    QMenu* NewMenu(const char* name, const char* title);
    QAction* AddItem(QMenu* menu, const char* name, const char* caption, const char* hint, Handler handler);
    QAction* Action(const char* name) const;

    QtHost host_;
    LyricsDocument doc_;
    // LRC export has its own dialog, so its folder and name do not
    // disturb Save As.
    FileDialog lrcDialog_;
    LyricsEdit* Edit = nullptr;
    std::unique_ptr<EditorAdapter> adapter_;
    QMenu* ConvertMenu = nullptr;
    QMenu* FindMenu = nullptr;
    QMenu* HomePageMenu = nullptr;
    QMenu* PopupMenu = nullptr;
    QWidget* stopButton_ = nullptr;
    std::thread integration_;

    std::vector<std::string> arguments_;
    QString settingsPath_;
    // The first show: FormShow is due once the window has been painted.
    enum class Start { Hidden, Showing, Started } start_ = Start::Hidden;
    void StartOnce();
    bool busy_ = false;
    bool closePending_ = false;
    int exitStatus_ = 0;
};

// "ZVEK Lyrics Converter Ver.6.310" for 6310.
std::string VersionCaption(int thousandths);

}  // namespace zvek
