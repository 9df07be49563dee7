// The host of the Win32 window: task dialogs with Japanese buttons, the
// common file dialogs, the status bar, the message loop while a command
// runs, the wait cursor and the foreground.
#pragma once

#include <functional>

#include "platform/windows/Win32.h"
#include "window/WindowHost.h"

namespace zvek {

class HostW : public WindowHost {
public:
    // `pump` handles one message the way the window's loop does.
    HostW(std::function<HWND()> window, std::function<HWND()> statusBar, std::function<void(MSG&)> pump)
        : window_(std::move(window)), statusBar_(std::move(statusBar)), pump_(std::move(pump)) {}

    std::int16_t ScreenCursor() const override { return cursor_; }
    void SetScreenCursor(std::int16_t cursor) override;
    void BringToTop() override;

protected:
    MsgResult ShowMessageBox(std::string_view text, MsgKind kind, MsgButtons buttons) override;
    bool ShowFileDialog(FileDialog& dialog) override;
    void ShowStatusText(std::string_view text) override;
    void HandleEvents() override;

private:
    std::function<HWND()> window_;
    std::function<HWND()> statusBar_;
    std::function<void(MSG&)> pump_;
    std::int16_t cursor_ = crDefault;
};

// The filter list of an open or save dialog: caption and patterns of each,
// every one ended by a NUL, the list by one more.
std::wstring DialogFilter(const FileDialog& dialog);

}  // namespace zvek
