// The lyrics editor: plain text without wrapping, a Japanese monospace
// font, an 8-pixel left margin. Dropped files are left to the window, and
// the window's own Undo/Cut/Copy/Paste/Select all commands get their
// shortcut keys even while the editor has the focus.
#pragma once

#include <QPlainTextEdit>
#include <functional>

#include "window/EditorAdapter.h"

namespace zvek {

class LyricsEdit : public QPlainTextEdit, public EditorView {
public:
    explicit LyricsEdit(QWidget* parent = nullptr);

    // Runs before one of the window's shortcut keys goes to its command.
    std::function<void()> beforeShortcut;

    std::u16string Text() const override;
    std::pair<std::size_t, std::size_t> Selection() const override;
    void Select(std::size_t anchor, std::size_t caret) override;
    void SetText(std::u16string_view text, bool freshUndo) override;
    void ClearUndo() override { document()->clearUndoRedoStacks(); }
    bool Modified() const override { return document()->isModified(); }
    void SetModified(bool modified) override { document()->setModified(modified); }
    void SetReadOnly(bool readOnly) override { setReadOnly(readOnly); }
    void ShowLine(int line) override;
    bool CanPaste() const override;
    void Undo() override { undo(); }
    void Cut() override { cut(); }
    void Copy() override { copy(); }
    void Paste() override { paste(); }
    void SelectAll() override { selectAll(); }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
};

}  // namespace zvek
