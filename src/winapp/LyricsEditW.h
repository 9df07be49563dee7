// The lyrics editor as a Win32 EDIT control. The control breaks lines with
// CR LF and counts both in its positions; the window logic sees one "\n"
// per line break, so text and positions are converted here at the edge.
#pragma once

#include "platform/windows/Win32.h"
#include "window/EditorAdapter.h"

namespace zvek {

// "\r\n" -> "\n" (a lone CR or LF stays as it is), and back.
std::u16string FromControlText(std::u16string_view text);
std::u16string ToControlText(std::u16string_view text);

class LyricsEditW : public EditorView {
public:
    // Makes the control as a child of `parent` with the command id `id`,
    // its font sized for `dpi` dots per inch.
    LyricsEditW(HWND parent, int id, UINT dpi);
    ~LyricsEditW() override;
    LyricsEditW(const LyricsEditW&) = delete;
    LyricsEditW& operator=(const LyricsEditW&) = delete;
    HWND Handle() const { return edit_; }
    void SetDpi(UINT dpi);

    std::u16string Text() const override;
    std::pair<std::size_t, std::size_t> Selection() const override;
    void Select(std::size_t anchor, std::size_t caret) override;
    void SetText(std::u16string_view text, bool freshUndo) override;
    void ClearUndo() override;
    bool Modified() const override;
    void SetModified(bool modified) override;
    void SetReadOnly(bool readOnly) override;
    void ShowLine(int line) override;
    bool CanPaste() const override;
    void Undo() override;
    void Cut() override;
    void Copy() override;
    void Paste() override;
    void SelectAll() override;

private:
    std::u16string ControlText() const;
    HWND edit_;
    HFONT font_ = nullptr;
};

}  // namespace zvek
