#include "app/EditorAdapter.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <string_view>

#include "lyrics/LyricsDocument.h"
#include "text/Codec.h"

namespace zvek {

namespace {

std::u16string_view View(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

// Bytes the document counts for a stretch of the editor's text: its
// Shift-JIS form, with every line break counted as CR LF.
std::size_t DocumentLength(std::u16string_view text) {
    const auto breaks = static_cast<std::size_t>(std::count(text.begin(), text.end(), u'\n'));
    return Utf16ToSjis(text).size() + breaks;
}

}  // namespace

QString EditorText(const std::vector<std::string>& lines) {
    std::string joined;
    std::size_t size = lines.size();
    for (const auto& line : lines) size += line.size();
    joined.reserve(size);
    for (const auto& line : lines) {
        if (&line != &lines.front()) joined += '\n';
        joined += line;
    }
    // A final line break adds no line, so an empty last line needs one.
    if (!lines.empty() && lines.back().empty()) joined += '\n';
    const std::u16string text = SjisToUtf16(joined);
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

void EditorAdapter::Load() {
    // Raw text keeps every character as typed; blocks are separated by
    // U+2029, and a U+2028 inside a block breaks the line as well.
    QString raw = edit_.document()->toRawText();
    for (QChar& c : raw)
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) c = QLatin1Char('\n');
    const std::u16string_view text = View(raw);
    doc_.SetText(Utf16ToSjis(text));
    loaded_ = doc_.Lines();

    const QTextCursor cursor = edit_.textCursor();
    const auto from = static_cast<std::size_t>(std::min(cursor.anchor(), cursor.position()));
    const auto to = std::min(static_cast<std::size_t>(std::max(cursor.anchor(), cursor.position())), text.size());
    const std::size_t start = DocumentLength(text.substr(0, std::min(from, to)));
    doc_.SetSelection(start, from < to ? DocumentLength(text.substr(from, to - from)) : 0);
    selStart_ = doc_.SelStart();
    selLength_ = doc_.SelLength();
    doc_.Modified = edit_.document()->isModified();
}

void EditorAdapter::Store() {
    const bool clearUndo = doc_.TakeUndoClearRequest();
    const bool changed = doc_.Lines() != loaded_;
    loaded_.clear();
    QTextDocument& document = *edit_.document();
    if (changed) {
        const QString text = EditorText(doc_.Lines());
        if (clearUndo) {
            edit_.setPlainText(text);
        } else {
            QTextCursor all(&document);
            all.select(QTextCursor::Document);
            all.insertText(text);
        }
    } else if (clearUndo) {
        document.clearUndoRedoStacks();
    }
    document.setModified(doc_.Modified);
    if (changed || doc_.SelStart() != selStart_ || doc_.SelLength() != selLength_)
        SelectInEditor(doc_.SelStart(), doc_.SelLength());
}

void EditorAdapter::SelectInEditor(std::size_t start, std::size_t length) {
    const QTextDocument& document = *edit_.document();
    const int end = document.characterCount() - 1;
    auto editorPos = [&](std::size_t pos) {
        const LineCol at = doc_.PosToLineCol(pos);
        if (at.line >= doc_.LineCount()) return end;
        const QTextBlock block = document.findBlockByNumber(at.line);
        if (!block.isValid()) return end;
        const std::string& line = doc_.Lines()[static_cast<std::size_t>(at.line)];
        const std::size_t col = std::min(static_cast<std::size_t>(at.col), line.size());
        const auto col16 = static_cast<int>(SjisToUtf16(std::string_view(line).substr(0, col)).size());
        return block.position() + std::min(col16, block.length() - 1);
    };
    QTextCursor cursor(edit_.document());
    cursor.setPosition(editorPos(start));
    if (length > 0) cursor.setPosition(editorPos(start + length), QTextCursor::KeepAnchor);
    edit_.setTextCursor(cursor);
}

}  // namespace zvek
