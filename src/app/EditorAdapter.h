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
#include <vector>

class QPlainTextEdit;
class QString;

namespace zvek {

class LyricsDocument;

class EditorAdapter {
public:
    EditorAdapter(QPlainTextEdit& edit, LyricsDocument& doc) : edit_(edit), doc_(doc) {}

    // Editor -> document: lines (through the lossless codec), selection and
    // modified flag.
    void Load();
    // Document -> editor: the text only when the lines changed since Load
    // (without an undo step when the command cleared the undo history), the
    // selection when it moved, and always the modified flag.
    void Store();

private:
    void SelectInEditor(std::size_t start, std::size_t length);

    QPlainTextEdit& edit_;
    LyricsDocument& doc_;
    std::vector<std::string> loaded_;
    std::size_t selStart_ = 0;
    std::size_t selLength_ = 0;
};

// The editor's text for Shift-JIS lines: joined with line breaks, and one
// more after an empty last line (a final break adds no line).
QString EditorText(const std::vector<std::string>& lines);

}  // namespace zvek
