// What the core asks of "the window".
//
// The core never talks to a toolkit. Message boxes, file dialogs, the status
// line, letting the window process its pending messages, the screen cursor
// and the browser are requested through this interface, which the desktop
// program, the command-line program and the tests each implement.
//
// All texts and paths crossing this interface are UTF-8 (paths are native
// file-system paths); only the document's lines are Shift-JIS.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zvek {

enum class MsgKind { Error, Warning, Confirmation, Information };
enum class MsgButtons { Ok, YesCancel, YesNoCancel };
enum class MsgResult { Ok, Yes, No, Cancel };

// Screen cursor identifiers (the application-wide override cursor).
inline constexpr std::int16_t crDefault = 0;
inline constexpr std::int16_t crHourGlass = -11;

// One filter entry of a file dialog: caption and ";"-separated patterns.
struct FileFilter {
    std::string caption;
    std::string patterns;
};

// The state a file dialog keeps between uses; the window owns one per dialog.
struct FileDialog {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    std::string title;
    std::vector<FileFilter> filters;
    int filterIndex = 1;  // 1-based, as the filters are numbered
    std::string defaultExt;
    std::string initialDir{};
    std::string fileName{};  // proposed on entry, chosen on return
    // Unless said otherwise, an open dialog takes only an existing file and
    // a save dialog asks before it replaces one.
    bool fileMustExist = kind == Kind::Open;
    bool overwritePrompt = kind == Kind::Save;
};

class Host {
public:
    virtual ~Host() = default;

    virtual MsgResult MessageBox(std::string_view text, MsgKind kind, MsgButtons buttons) = 0;
    // Shows the dialog; on success `dialog.fileName` holds the chosen path.
    virtual bool ExecuteDialog(FileDialog& dialog) = 0;
    virtual void SetStatusText(std::string_view text) = 0;
    // Something the user should know that needs no answer: the status line,
    // unless the host has a better place for it.
    virtual void Warn(std::string_view text) { SetStatusText(text); }
    // How far a long conversion is: the window's status line shows it; a
    // console has no line to spare for it.
    virtual void ShowProgress(std::string_view text) { static_cast<void>(text); }
    // Lets the window repaint and handle input during a long operation.
    virtual void ProcessMessages() = 0;
    virtual std::int16_t ScreenCursor() const = 0;
    virtual void SetScreenCursor(std::int16_t cursor) = 0;
    // Opens `address` in the user's web browser; false when that failed.
    virtual bool OpenInBrowser(const std::string& address) = 0;
    // Brings the main window back to the front (the browser took it).
    virtual void BringToTop() {}
    // The user asked to stop what is running; asked while a download waits.
    virtual bool CancelRequested() { return false; }
};

}  // namespace zvek
