#include "winapp/LyricsEditW.h"

#include <commctrl.h>

namespace zvek {

namespace {

LRESULT Send(HWND w, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(w, message, wParam, lParam);
}

// A position in the window logic's text -> the control's, which counts a
// CR before every LF of a line break.
std::size_t ToControl(std::u16string_view control, std::size_t pos) {
    std::size_t i = 0;
    for (std::size_t n = 0; i < control.size() && n < pos; ++i, ++n)
        if (control[i] == u'\r' && i + 1 < control.size() && control[i + 1] == u'\n') ++i;
    return i;
}

std::size_t FromControl(std::u16string_view control, std::size_t pos) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < pos && i < control.size(); ++i, ++n)
        if (control[i] == u'\r' && i + 1 < control.size() && control[i + 1] == u'\n') ++i;
    return n;
}

// The editor's context menu is the window's, not the control's own.
LRESULT CALLBACK EditProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == WM_CONTEXTMENU) return Send(GetParent(w), message, wParam, lParam);
    return DefSubclassProc(w, message, wParam, lParam);
}

}  // namespace

std::u16string FromControlText(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')) out += text[i];
    return out;
}

std::u16string ToControlText(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) out += u'\r';
        out += text[i];
    }
    return out;
}

LyricsEditW::LyricsEditW(HWND parent, int id, UINT dpi) {
    edit_ = CreateWindowExW(
        WS_EX_CLIENTEDGE, L"EDIT", L"",
        WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_NOHIDESEL | WS_HSCROLL | WS_VSCROLL,
        0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    Send(edit_, EM_SETLIMITTEXT, 0);
    SetDpi(dpi);
    SetWindowSubclass(edit_, EditProc, 1, 0);
}

void LyricsEditW::SetDpi(UINT dpi) {
    // Wine has no MS Gothic: its font substitutes give IPAGothic.
    const HFONT font = CreateFontW(-MulDiv(16, static_cast<int>(dpi), 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                   SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   FIXED_PITCH | FF_MODERN, L"ＭＳ ゴシック");
    Send(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (font_) DeleteObject(font_);
    font_ = font;
    const int margin = MulDiv(6, static_cast<int>(dpi), 96);
    Send(edit_, EM_SETMARGINS, EC_LEFTMARGIN, MAKELPARAM(margin, 0));
}

LyricsEditW::~LyricsEditW() {
    if (IsWindow(edit_)) RemoveWindowSubclass(edit_, EditProc, 1);
    DeleteObject(font_);
}

std::u16string LyricsEditW::ControlText() const {
    std::u16string text(static_cast<std::size_t>(GetWindowTextLengthW(edit_)) + 1, u'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(edit_, reinterpret_cast<wchar_t*>(text.data()), static_cast<int>(text.size()))));
    return text;
}

std::u16string LyricsEditW::Text() const { return FromControlText(ControlText()); }

std::pair<std::size_t, std::size_t> LyricsEditW::Selection() const {
    DWORD start = 0, end = 0;
    Send(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const std::u16string text = ControlText();
    return {FromControl(text, start), FromControl(text, end)};
}

void LyricsEditW::Select(std::size_t anchor, std::size_t caret) {
    const std::u16string text = ControlText();
    Send(edit_, EM_SETSEL, ToControl(text, anchor), static_cast<LPARAM>(ToControl(text, caret)));
}

void LyricsEditW::SetText(std::u16string_view text, bool freshUndo) {
    const std::u16string control = ToControlText(text);
    const auto* chars = reinterpret_cast<const wchar_t*>(control.c_str());
    if (freshUndo) {
        Send(edit_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(chars));
        Send(edit_, EM_EMPTYUNDOBUFFER);
        return;
    }
    Send(edit_, EM_SETSEL, 0, -1);
    Send(edit_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(chars));
}

void LyricsEditW::ClearUndo() { Send(edit_, EM_EMPTYUNDOBUFFER); }
bool LyricsEditW::Modified() const { return Send(edit_, EM_GETMODIFY) != 0; }
void LyricsEditW::SetModified(bool modified) { Send(edit_, EM_SETMODIFY, modified); }
void LyricsEditW::SetReadOnly(bool readOnly) { Send(edit_, EM_SETREADONLY, readOnly); }

void LyricsEditW::ShowLine(int line) {
    const LRESULT start = Send(edit_, EM_LINEINDEX, static_cast<WPARAM>(line));
    if (start < 0) return;
    Send(edit_, EM_SETSEL, static_cast<WPARAM>(start), start);
    Send(edit_, EM_SCROLLCARET);
}

bool LyricsEditW::CanPaste() const { return IsClipboardFormatAvailable(CF_UNICODETEXT); }
void LyricsEditW::Undo() { Send(edit_, WM_UNDO); }
void LyricsEditW::Cut() { Send(edit_, WM_CUT); }
void LyricsEditW::Copy() { Send(edit_, WM_COPY); }
void LyricsEditW::Paste() { Send(edit_, WM_PASTE); }
void LyricsEditW::SelectAll() { Send(edit_, EM_SETSEL, 0, -1); }

}  // namespace zvek
