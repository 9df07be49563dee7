// The main window's rules, whatever draws the window: the command runner,
// which items are enabled, the start-up arguments and the unattended
// conversion, dropped files, the close query and the settings. A window
// implements WindowView, hands every command and event to the controller
// and draws what it is told.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "lyrics/LyricsDocument.h"
#include "platform/Player.h"
#include "platform/Version.h"
#include "window/Controls.h"
#include "window/EditorAdapter.h"
#include "window/Settings.h"
#include "window/WindowHost.h"

namespace zvek {

// "ZVEK Lyrics Converter Ver.6.310" for 6310.
std::string VersionCaption(int thousandths);

class WindowView {
public:
    virtual ~WindowView() = default;

    virtual EditorView& Editor() = 0;
    // Items by their names in the command table.
    virtual void EnableItem(std::string_view name, bool enabled) = 0;
    virtual void CheckItem(std::string_view name, bool checked) = 0;
    virtual void ShowStopControl(bool shown) = 0;
    // The caption is a path (native bytes) or the program's title.
    virtual void SetCaption(const std::string& caption) = 0;
    // Runs `call` on the window's thread once the events queued now are
    // handled. Callable from any thread.
    virtual void Post(std::function<void()> call) = 0;
    // Closes the window the way the user would: the close query runs.
    virtual void Close() = 0;
    // Writes the settings, with the window's own geometry put in.
    virtual void SaveSettings(WindowSettings settings) = 0;
};

class WindowController {
public:
    // `arguments`: the command line without the program's own path.
    WindowController(WindowView& view, WindowHost& host, std::vector<std::string> arguments, std::string programPath);
    ~WindowController();
    WindowController(const WindowController&) = delete;
    WindowController& operator=(const WindowController&) = delete;

    LyricsDocument& Document() { return doc_; }
    bool Busy() const { return busy_; }
    // What the process should exit with: 0, or the result code (1 when it
    // has none) of an unattended conversion that saved nothing.
    int ExitStatus() const { return exitStatus_; }

    // The command line's reference and output, for the unattended conversion.
    std::string CmdReference;
    std::string CmdOutputFile;

    // Every menu item, button and menu opening of the command table.
    void Run(Command command);

    // The settings read at start, fitted to the screen where its size is
    // known (0 otherwise); the dialogs start in their folders.
    void ApplySettings(WindowSettings& settings, int screenWidth, int screenHeight);
    // Once the window has been painted: the association and the player's
    // tool entry are checked on a thread of their own, and FormShow runs.
    void Start();
    // Scans the command line, opens the document it names and queues the
    // unattended conversion.
    void FormShow();
    void OnDeferredConvert(bool bringToTop);
    // The window is asked to close: true when it may. A close while a
    // command runs waits for it; the settings are saved when it goes ahead.
    bool CloseRequested();
    // The question about unsaved edits; true when the window may close.
    bool FormCloseQuery();
    // Enables the Cut/Copy, Paste and URL items for the menu about to open.
    void CheckMenu();
    // A file dropped on the window; false (the drop refused) while a command
    // runs. It is handled once the drag is over.
    bool Drop(const std::string& path);
    // Opens the dropped file, or uses it as the reference page.
    void OnDropFiles(const std::string& path);

private:
    // Runs a command on the document between the editor's two copies. A
    // command is not started while another one runs (it may be waiting for
    // a download and letting the window process its events meanwhile).
    void RunCommand(const std::function<void()>& command);
    void EnableFindItems(const char* url, const char* title, const char* artist);
    void ConvertAuto();
    void Undo();
    void MenuAssocTagLyrClick();
    void MenuSetZVEKToolClick();
    void MenuHelpHelpClick();
    void CheckDesktopIntegration();

    WindowView& view_;
    WindowHost& host_;
    LyricsDocument doc_;
    EditorAdapter adapter_;
    // LRC export has its own dialog, so its folder and name do not
    // disturb Save As.
    FileDialog lrcDialog_;
    std::vector<std::string> arguments_;
    std::string programPath_;
    std::thread integration_;
    // Told when our tool entry changes, so that its tool menu shows it.
    PlayerWindow player_;
    // What the last conversion replaced, for Undo to put back with its text.
    struct BeforeConversion {
        std::string fileName;
        bool modified;
        std::size_t text;  // TextHash
    };
    std::optional<BeforeConversion> beforeConversion_;
    bool busy_ = false;
    bool closePending_ = false;
    int exitStatus_ = 0;
};

}  // namespace zvek
