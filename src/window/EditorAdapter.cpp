#include "window/EditorAdapter.h"

#include <algorithm>
#include <functional>

#include "text/Codec.h"

namespace zvek {

namespace {

// Bytes the document counts for a stretch of the editor's text: its
// Shift-JIS form, with every line break counted as CR LF.
std::size_t DocumentLength(std::u16string_view text) {
    const auto breaks = static_cast<std::size_t>(std::count(text.begin(), text.end(), u'\n'));
    return Utf16ToSjis(text).size() + breaks;
}

}  // namespace

std::u16string EditorText(const std::vector<std::string>& lines) {
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
    return SjisToUtf16(joined);
}

std::size_t TextHash(std::u16string_view text) { return std::hash<std::u16string_view>{}(text); }

void EditorAdapter::Load() {
    text_ = edit_.Text();
    doc_.SetText(Utf16ToSjis(text_));
    loaded_ = doc_.Lines();

    const auto [anchor, caret] = edit_.Selection();
    const std::size_t to = std::min(std::max(anchor, caret), text_.size());
    const std::size_t from = std::min(std::min(anchor, caret), to);
    const std::u16string_view text = text_;
    doc_.SetSelection(DocumentLength(text.substr(0, from)), DocumentLength(text.substr(from, to - from)));
    selStart_ = doc_.SelStart();
    selLength_ = doc_.SelLength();
    doc_.Modified = edit_.Modified();
}

LyricsDocument::UndoRequest EditorAdapter::Store() {
    using enum LyricsDocument::UndoRequest;
    LyricsDocument::UndoRequest request = doc_.TakeUndoRequest();
    const bool changed = doc_.Lines() != loaded_;
    loaded_.clear();
    if (request == Conversion && !changed) request = None;
    if (request != None) edit_.ClearUndo();
    if (changed) {
        if (request == Conversion) replaced_ = TextHash(text_);
        text_ = EditorText(doc_.Lines());
        edit_.SetText(text_, request == NewFile);
    }
    edit_.SetModified(doc_.Modified);
    if (changed || caretMoved_ || doc_.SelStart() != selStart_ || doc_.SelLength() != selLength_)
        SelectInEditor(text_, doc_.SelStart(), doc_.SelLength());
    caretMoved_ = false;
    text_.clear();
    return request;
}

void EditorAdapter::SelectInEditor(std::u16string_view text, std::size_t start, std::size_t length) {
    auto editorPos = [&](std::size_t pos) {
        const LineCol at = doc_.PosToLineCol(pos);
        if (at.line >= doc_.LineCount()) return text.size();
        std::size_t lineStart = 0;
        for (int line = 0; line < at.line && lineStart <= text.size(); ++line) {
            const std::size_t next = text.find(u'\n', lineStart);
            lineStart = next == std::u16string_view::npos ? text.size() + 1 : next + 1;
        }
        if (lineStart > text.size()) return text.size();
        const std::size_t lineEnd = std::min(text.find(u'\n', lineStart), text.size());
        const std::string& line = doc_.Lines()[static_cast<std::size_t>(at.line)];
        const std::size_t col = std::min(static_cast<std::size_t>(at.col), line.size());
        const std::size_t col16 = SjisToUtf16(std::string_view(line).substr(0, col)).size();
        return lineStart + std::min(col16, lineEnd - lineStart);
    };
    const std::size_t from = editorPos(start);
    edit_.Select(from, length > 0 ? editorPos(start + length) : from);
}

}  // namespace zvek
