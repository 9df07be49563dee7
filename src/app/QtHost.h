// The window's host: real message boxes and file dialogs, the status bar,
// the application's override cursor.
#pragma once

#include "window/WindowHost.h"

class QMainWindow;
class QString;

namespace zvek {

class QtHost : public WindowHost {
public:
    explicit QtHost(QMainWindow& window) : window_(window) {}

    std::int16_t ScreenCursor() const override { return cursor_; }
    void SetScreenCursor(std::int16_t cursor) override;
    void BringToTop() override;

protected:
    MsgResult ShowMessageBox(std::string_view text, MsgKind kind, MsgButtons buttons) override;
    bool ShowFileDialog(FileDialog& dialog) override;
    void ShowStatusText(std::string_view text) override;
    void HandleEvents() override;

private:
    QMainWindow& window_;
    std::int16_t cursor_ = crDefault;
};

// Native paths (bytes, as the core keeps them) to and from Qt's strings.
QString PathToQt(const std::string& path);
std::string PathFromQt(const QString& path);

}  // namespace zvek
