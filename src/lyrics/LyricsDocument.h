// The lyrics document: the editor's lines and the state that goes with
// them (file name, last opened file, modified flag, result code, caret and
// selection), with the line, file and name=value operations every command
// builds on.
//
// The desktop program copies its editor's text and selection in before a
// command and takes the lines back afterwards; the command-line program
// and the tests use the document directly.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Host.h"
#include "text/Sjis.h"

namespace zvek {

// Values of ResultCode.
inline constexpr int kResultOk = 0;
inline constexpr int kResultFileNotFound = 2;
inline constexpr int kResultPageNotFetched = 12;
inline constexpr int kResultPartial = 13;

struct LineCol {
    int col;
    int line;
};

class LyricsDocument {
public:
    explicit LyricsDocument(Host& host);

    Host& host() const { return host_; }

    // --- State -----------------------------------------------------------
    int ResultCode = kResultOk;
    // After a rebuild from a tag file: the tag file's lines (1-based) whose
    // entries were not all found in the reference.
    std::vector<int> UnresolvedLines;
    // What progress texts call a document without a file name.
    std::string UntitledName;
    bool KeepQuotes = false;
    bool Modified = false;

    const std::string& FileName() const { return fileName_; }
    const std::string& OpenedFile() const { return openedFile_; }
    // Sets FileName; the window caption is its file-name part.
    void SetFileName(const std::string& path);
    std::string Caption() const;
    // Called by every SetFileName, so the window can show the new caption.
    std::function<void()> onFileNameSet;

    // The editor's undo history is the window's; the document only says
    // what a command wants done with it: after a conversion (ClearUndo) the
    // history holds just the conversion, which the user may take back; a
    // newly opened file starts an empty one. Reading the request resets it.
    enum class UndoRequest { None, Conversion, NewFile };
    void ClearUndo() { undoRequest_ = UndoRequest::Conversion; }
    UndoRequest TakeUndoRequest();

    // --- Lines -----------------------------------------------------------
    const std::vector<std::string>& Lines() const { return lines_; }
    int LineCount() const { return static_cast<int>(lines_.size()); }
    // An index below 0 means the caret's line. Reading past the end gives an
    // empty text; setting the line just past the end appends it.
    std::string GetLine(int index) const;
    void SetLine(int index, std::string text);
    void InsertLine(int index, std::string text);
    void DeleteLine(int index) { DeleteLines(index, 1); }
    void DeleteLines(int first, int count);
    void InsertLines(int index, std::vector<std::string> lines);
    // Every line followed by CR LF.
    std::string Text() const;
    // Splits at CR LF, LF and lone CR; a final line break adds no empty line.
    void SetText(std::string_view text);
    void SetLines(std::vector<std::string> lines);
    void Clear() { SetLines({}); }
    // Empties the document and hands its lines over.
    std::vector<std::string> TakeLines();

    // The text holds `marker` (exact case; markers never span lines).
    bool Contains(std::string_view marker) const;

    // First line whose part before its first "=" equals `name` (ASCII case
    // ignored), or -1; and the rest of that line after the "=".
    int IndexOfName(std::string_view name) const;
    std::string Value(std::string_view name) const;

    // --- Caret and selection (positions count each line break as CR LF) ---
    std::size_t SelStart() const { return selStart_; }
    std::size_t SelLength() const { return selLength_; }
    void SetSelection(std::size_t start, std::size_t length);
    void SelectAll();
    std::size_t TextLength() const;
    int CurrentLine() const;
    LineCol PosToLineCol(std::size_t pos) const;
    std::size_t LineColToPos(int col, int line) const;
    void GetSelectedLines(int& first, int& last) const;
    // Puts the caret there and lets the window show it.
    void MoveCaretTo(int col, int line);

    // --- Files -----------------------------------------------------------
    // Opens a file into the document; .htm/.html files as their page text.
    // A missing file is reported and gives ResultCode 2 and false. Read
    // errors throw FileError.
    bool OpenFile(const std::string& path);
    // Opens a downloaded page's text, untitled: it has no file to reopen.
    void OpenPage(std::string_view bytes);
    // Writes every line followed by CR LF, replacing the file atomically.
    // Throws FileError; FileName already names `path` then.
    void SaveFile(const std::string& path);
    // Loads file contents as the document's text: a UTF-8 text is converted
    // to Shift-JIS, anything else is taken byte for byte.
    void LoadTextBytes(std::string_view bytes);
    // An LRC file's bytes, in whichever code set it was written.
    void LoadLrcBytes(std::string bytes);
    // Replaces the text with the page text of the HTML file at `path`, or
    // of a page in memory. Read errors throw FileError.
    void LoadHtmlFile(const std::string& path);
    void LoadHtmlBytes(std::string_view bytes);

    void InsertLyricsTemplate();

    // --- File commands ---------------------------------------------------
    FileDialog OpenDialog;
    FileDialog SaveDialog;
    void MenuOpenClick();
    // Unsaved edits are not thrown away without asking: true when there are
    // none or the user agrees to open `path` over them.
    bool MayDiscardEditsFor(const std::string& path);
    void MenuReopenClick();
    // True when the document was saved (not when the dialog was cancelled).
    bool MenuSaveAsClick();

private:
    // Names the document after what it now holds.
    void Opened(const std::string& path);

    Host& host_;
    std::vector<std::string> lines_;
    std::string fileName_;
    std::string openedFile_;
    std::size_t selStart_ = 0;
    std::size_t selLength_ = 0;
    UndoRequest undoRequest_ = UndoRequest::None;
};

// The Shift-JIS text of a text file's bytes: UTF-8, and UTF-16 with a
// byte-order mark, are converted (characters without a Shift-JIS form become
// "?", counted in `replaced`), anything else is taken byte for byte.
std::string TextFromFileBytes(std::string_view bytes, std::size_t& replaced);
// The same without a copy where none is needed: `bytes` itself, or the
// converted text, kept in `converted`.
std::string_view TextFromFileBytes(std::string_view bytes, std::string& converted, std::size_t& replaced);
// The status-line note for `replaced` characters that became "?".
std::string ReplacedCharsNote(std::size_t replaced);

}  // namespace zvek
