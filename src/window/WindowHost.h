// The host as a window implements it, and the script of answers that
// stands in for the user.
//
// A test hands the host a script before it triggers a command: while a
// script is set, questions and file dialogs take their answer from it, the
// browser is only recorded, and nothing modal is ever shown. Each window
// supplies the real dialogs and its event loop; the script and the stop
// request are the same for all of them.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Host.h"

namespace zvek {

struct HostScript {
    struct Message {
        std::string text;
        MsgKind kind;
        MsgButtons buttons;
    };
    // Consumed in order. A question with no answer left gets Cancel (OK for
    // an OK-only box); a dialog with no file left is cancelled.
    std::deque<MsgResult> answers;
    std::deque<std::string> dialogFiles;
    // What was asked, shown and opened, in order.
    std::vector<Message> messages;
    std::vector<FileDialog> dialogs;
    std::vector<std::string> browsed;
    // The browser cannot be started: addresses are still recorded.
    bool noBrowser = false;

    MsgResult Answer(std::string_view text, MsgKind kind, MsgButtons buttons);
    bool Choose(FileDialog& dialog);
};

// A message's text for a box or a console: its line breaks, written CR LF
// as the core writes them, as "\n" alone.
std::string MessageLines(std::string_view text);

class WindowHost : public Host {
public:
    void SetScript(HostScript* script) { script_ = script; }
    // Nobody is there to answer (a conversion run from a script): messages
    // go to standard error, questions are cancelled, dialogs not shown.
    void SetUnattended(bool unattended) { unattended_ = unattended; }
    bool Unattended() const { return unattended_; }

    // Runs whenever the core lets the window process its events, before
    // they are handled (the window shows the conversion's caret).
    std::function<void()> onProcessMessages;
    // Set by the window when the user asks to stop a running download.
    bool cancelRequested = false;

    MsgResult MessageBox(std::string_view text, MsgKind kind, MsgButtons buttons) final;
    bool ExecuteDialog(FileDialog& dialog) final;
    void SetStatusText(std::string_view text) final;
    const std::string& StatusText() const { return status_; }
    // A browser that cannot be started is reported with the address, so
    // that the user can open it by hand.
    bool OpenInBrowser(const std::string& address) final;
    // Our own help page (a path); a script records its file: address.
    bool OpenLocalPage(const std::string& path);
    void ShowProgress(std::string_view text) final { SetStatusText(text); }
    void ProcessMessages() final;
    bool CancelRequested() override { return cancelRequested; }

protected:
    virtual MsgResult ShowMessageBox(std::string_view text, MsgKind kind, MsgButtons buttons) = 0;
    virtual bool ShowFileDialog(FileDialog& dialog) = 0;
    virtual void ShowStatusText(std::string_view text) = 0;
    virtual void HandleEvents() = 0;

private:
    bool Browse(const std::string& address, bool opened);

    HostScript* script_ = nullptr;
    bool unattended_ = false;
    std::string status_;
};

}  // namespace zvek
