// The host of the command-line program: messages go to standard error as
// UTF-8, and nobody is there to answer, so every question gets its safe
// answer (Cancel where there is one) and every file dialog is cancelled.
#pragma once

#include <string>

#include "platform/Host.h"

namespace zvek {

// `text` as it may be shown on a terminal: CR LF and LF become LF, every
// other control byte (C0, DEL, C1) and every byte that is not well-formed
// UTF-8 is written as "\xHH". With `oneLine` (a value on a line of its
// own, such as an address) LF is written as "\x0A" too.
std::string EscapeForTerminal(std::string_view text, bool oneLine = false);

// Standard output, written straight to the descriptor so that no buffer is
// left to fail unseen at exit: a script must learn that its output is
// incomplete (a full disk). False, with the reason on standard error, when
// writing fails.
bool WriteStdout(std::string_view bytes);
// Some file systems report a failed write only when the file is closed:
// closes standard output when anything went to it; false, reported, when
// that fails.
bool CloseStdout();

class ConsoleHost : public Host {
public:
    explicit ConsoleHost(bool quiet) : quiet_(quiet) {}

    MsgResult MessageBox(std::string_view text, MsgKind kind, MsgButtons buttons) override;
    bool ExecuteDialog(FileDialog&) override { return false; }
    // Progress: printed unless quiet; repeated and empty texts are skipped.
    void SetStatusText(std::string_view text) override;
    // Warnings are printed even when quiet.
    void Warn(std::string_view text) override { Print(text); }
    void ProcessMessages() override {}
    std::int16_t ScreenCursor() const override { return cursor_; }
    void SetScreenCursor(std::int16_t cursor) override { cursor_ = cursor; }
    bool OpenInBrowser(const std::string&) override { return false; }

    void Print(std::string_view text) const;

private:
    bool quiet_;
    std::string lastStatus_;
    std::int16_t cursor_ = crDefault;
};

}  // namespace zvek
