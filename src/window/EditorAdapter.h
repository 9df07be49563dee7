// Between the editor and the document.
//
// The core works on Shift-JIS lines with positions that count every line
// break as CR LF; the editor holds Unicode text. Before a command the
// editor's text, selection and modified flag are copied into the document;
// afterwards only what the command changed goes back, so that a command
// that leaves the lines alone also leaves the user's undo history alone.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lyrics/LyricsDocument.h"

namespace zvek {

// What the window logic needs of an editor control. Its text is UTF-16 with
// one "\n" between lines, and positions count UTF-16 units of that text.
class EditorView {
public:
    virtual ~EditorView() = default;

    virtual std::u16string Text() const = 0;
    // Anchor and caret, in either order.
    virtual std::pair<std::size_t, std::size_t> Selection() const = 0;
    virtual void Select(std::size_t anchor, std::size_t caret) = 0;
    // Replaces the whole text: as one step the user can undo, or with
    // `freshUndo` as the start of a new undo history.
    virtual void SetText(std::u16string_view text, bool freshUndo) = 0;
    virtual void ClearUndo() = 0;
    virtual bool Modified() const = 0;
    virtual void SetModified(bool modified) = 0;
    virtual void SetReadOnly(bool readOnly) = 0;
    // Puts the caret at the start of `line` and scrolls it into view.
    virtual void ShowLine(int line) = 0;
    // Whether the clipboard holds text.
    virtual bool CanPaste() const = 0;
    virtual void Undo() = 0;
    virtual void Cut() = 0;
    virtual void Copy() = 0;
    virtual void Paste() = 0;
    virtual void SelectAll() = 0;
};

class EditorAdapter {
public:
    EditorAdapter(EditorView& edit, LyricsDocument& doc) : edit_(edit), doc_(doc) {}

    // Editor -> document: lines (through the lossless codec), selection and
    // modified flag.
    void Load();
    // Document -> editor: the text only when the lines changed since Load
    // (a conversion as the one step of a fresh undo history, a new file
    // without any), the selection when it moved, and always the modified
    // flag. Gives what it did to the undo history.
    LyricsDocument::UndoRequest Store();
    // After a Store that made a conversion the one undo step: what the text
    // was before it (a hash), to tell when Undo has brought it back.
    std::size_t Replaced() const { return replaced_; }
    // The editor's caret was moved behind the adapter's back (a command's
    // progress): the next Store puts the document's selection back.
    void CaretMoved() { caretMoved_ = true; }

private:
    void SelectInEditor(std::u16string_view text, std::size_t start, std::size_t length);

    EditorView& edit_;
    LyricsDocument& doc_;
    std::u16string text_;  // as loaded
    std::vector<std::string> loaded_;
    std::size_t selStart_ = 0;
    std::size_t selLength_ = 0;
    std::size_t replaced_ = 0;
    bool caretMoved_ = false;
};

std::size_t TextHash(std::u16string_view text);

// The editor's text for Shift-JIS lines: joined with line breaks, and one
// more after an empty last line (a final break adds no line).
std::u16string EditorText(const std::vector<std::string>& lines);

}  // namespace zvek
