// The window's host: real message boxes and file dialogs, the status bar,
// the application's override cursor.
//
// Tests hand the host a script of answers before they trigger a command:
// while a script is set, questions and file dialogs take their answer from
// it and nothing modal is ever shown.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/Host.h"

class QMainWindow;
class QString;

namespace zvek {

struct HostScript {
    struct Question {
        std::string text;
        MsgKind kind;
        MsgButtons buttons;
    };
    // Consumed in order. A question with no answer left gets Cancel (OK for
    // an OK-only box); a dialog with no file left is cancelled.
    std::deque<MsgResult> answers;
    std::deque<std::string> files;
    // What was asked, in order.
    std::vector<Question> asked;
    std::vector<FileDialog> dialogs;
    std::vector<std::string> browsed;
};

class QtHost : public Host {
public:
    explicit QtHost(QMainWindow& window) : window_(window) {}

    void SetScript(HostScript* script) { script_ = script; }
    // Runs whenever the core lets the window process its messages, before
    // the events are handled (the window shows the conversion's caret).
    std::function<void()> onProcessMessages;
    // Set by the window when the user asks to stop a running download.
    bool cancelRequested = false;

    MsgResult MessageBox(std::string_view text, MsgKind kind, MsgButtons buttons) override;
    bool ExecuteDialog(FileDialog& dialog) override;
    void SetStatusText(std::string_view text) override;
    void ProcessMessages() override;
    std::int16_t ScreenCursor() const override { return cursor_; }
    void SetScreenCursor(std::int16_t cursor) override;
    bool OpenInBrowser(const std::string& address) override;
    // Our own help page (a path); a script records its file: address.
    bool OpenLocalPage(const std::string& path);
    void BringToTop() override;
    bool CancelRequested() override { return cancelRequested; }

private:
    QMainWindow& window_;
    HostScript* script_ = nullptr;
    std::int16_t cursor_ = crDefault;
};

// Native paths (bytes, as the core keeps them) to and from Qt's strings.
QString PathToQt(const std::string& path);
std::string PathFromQt(const QString& path);

}  // namespace zvek
