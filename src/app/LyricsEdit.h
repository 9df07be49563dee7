// The lyrics editor: plain text without wrapping, a Japanese monospace
// font, an 8-pixel left margin. Dropped files are left to the window, and
// the window's own Undo/Cut/Copy/Paste/Select all commands get their
// shortcut keys even while the editor has the focus.
#pragma once

#include <QPlainTextEdit>
#include <functional>

namespace zvek {

class LyricsEdit : public QPlainTextEdit {
public:
    explicit LyricsEdit(QWidget* parent = nullptr);

    // Runs before one of the window's shortcut keys goes to its command.
    std::function<void()> beforeShortcut;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
};

}  // namespace zvek
