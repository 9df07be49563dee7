#include "lyrics/LyricsDocument.h"

#include <algorithm>
#include <utility>

#include "lyrics/Lrc.h"
#include "lyrics/LyricsFormat.h"
#include "lyrics/LyricsLines.h"
#include "platform/Files.h"
#include "platform/Waitcur.h"
#include "text/Codec.h"
#include "text/Sjis.h"
#include "web/Html.h"

namespace zvek {

namespace {

const std::vector<FileFilter> kOpenFilters = {
    {"テキストファイル(*.txt)", "*.txt"},
    {"ZVEK歌詞ファイル", "*.lyr;*.lyrics;*.words;*.zveklyr;*.zvekwrd;*.txt;*.ini"},
    {"タグファイル(*.taglyr)", "*.taglyr"},
    {"歌詞テキスト(*.txt;*.htm;*.html)", "*.txt;*.htm;*.html"},
    {"すべてのファイル(*.*)", "*.*"},
};

const std::vector<FileFilter> kSaveFilters = {
    {"ZVEK歌詞ファイル", "*.lyr;*.lyrics;*.words;*.zveklyr;*.zvekwrd;*.txt;*.ini"},
    {"タグファイル(*.taglyr)", "*.taglyr"},
    {"テキストファイル(*.txt)", "*.txt"},
    {"すべてのファイル(*.*)", "*.*"},
};

}  // namespace

LyricsDocument::LyricsDocument(Host& host)
    : OpenDialog{.kind = FileDialog::Kind::Open,
                 .title = "開く",
                 .filters = kOpenFilters,
                 .filterIndex = 2,
                 .defaultExt = "lyr"},
      SaveDialog{.kind = FileDialog::Kind::Save,
                 .title = "保存",
                 .filters = kSaveFilters,
                 .filterIndex = 1,
                 .defaultExt = "lyr"},
      host_(host) {}

void LyricsDocument::SetFileName(const std::string& path) {
    fileName_ = path;
    if (onFileNameSet) onFileNameSet();
}

std::string LyricsDocument::Caption() const { return ExtractFileName(fileName_); }

LyricsDocument::UndoRequest LyricsDocument::TakeUndoRequest() { return std::exchange(undoRequest_, UndoRequest::None); }

std::string LyricsDocument::GetLine(int index) const {
    if (index < 0) index = CurrentLine();
    return index < LineCount() ? lines_[static_cast<std::size_t>(index)] : std::string();
}

void LyricsDocument::SetLine(int index, std::string text) {
    if (index < 0) index = CurrentLine();
    if (index < LineCount()) lines_[static_cast<std::size_t>(index)] = std::move(text);
    else lines_.push_back(std::move(text));
}

void LyricsDocument::InsertLine(int index, std::string text) {
    index = std::clamp(index, 0, LineCount());
    lines_.insert(lines_.begin() + index, std::move(text));
}

void LyricsDocument::DeleteLines(int first, int count) {
    if (first < 0 || first >= LineCount() || count <= 0) return;
    const int last = std::min(first + count, LineCount());
    lines_.erase(lines_.begin() + first, lines_.begin() + last);
}

void LyricsDocument::InsertLines(int index, std::vector<std::string> lines) {
    index = std::clamp(index, 0, LineCount());
    lines_.insert(lines_.begin() + index, std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
}

std::string LyricsDocument::Text() const { return JoinLines(lines_); }

void LyricsDocument::SetText(std::string_view text) { SetLines(SplitLines(text)); }

void LyricsDocument::SetLines(std::vector<std::string> lines) {
    lines_ = std::move(lines);
    selStart_ = selLength_ = 0;
}

std::vector<std::string> LyricsDocument::TakeLines() {
    std::vector<std::string> lines = std::move(lines_);
    SetLines({});
    return lines;
}

bool LyricsDocument::Contains(std::string_view marker) const {
    for (const auto& line : lines_)
        if (ContainsText(line, marker)) return true;
    return false;
}

int LyricsDocument::IndexOfName(std::string_view name) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const std::string_view line = lines_[i];
        const auto eq = FindChar(line, '=');
        if (eq != std::string_view::npos && EqualsIgnoreCase(line.substr(0, eq), name)) return static_cast<int>(i);
    }
    return -1;
}

std::string LyricsDocument::Value(std::string_view name) const {
    const int index = IndexOfName(name);
    if (index < 0) return {};
    const std::string& line = lines_[static_cast<std::size_t>(index)];
    return line.substr(FindChar(line, '=') + 1);
}

void LyricsDocument::SetSelection(std::size_t start, std::size_t length) {
    const std::size_t total = TextLength();
    selStart_ = std::min(start, total);
    selLength_ = std::min(length, total - selStart_);
}

void LyricsDocument::SelectAll() { SetSelection(0, TextLength()); }

std::size_t LyricsDocument::TextLength() const {
    std::size_t total = 0;
    for (const auto& line : lines_) total += line.size() + 2;
    return total;
}

int LyricsDocument::CurrentLine() const {
    // The caret stands at the end of the selection. A selection of exactly
    // one line break ends on the next line but belongs to the line it breaks.
    if (selLength_ == 2) {
        const LineCol start = PosToLineCol(selStart_);
        if (start.line < LineCount() && static_cast<std::size_t>(start.col) == lines_[start.line].size())
            return start.line;
    }
    return PosToLineCol(selStart_ + selLength_).line;
}

LineCol LyricsDocument::PosToLineCol(std::size_t pos) const {
    int line = 0;
    while (line < LineCount() && pos >= lines_[static_cast<std::size_t>(line)].size() + 2) {
        pos -= lines_[static_cast<std::size_t>(line)].size() + 2;
        ++line;
    }
    return {static_cast<int>(pos), line};
}

std::size_t LyricsDocument::LineColToPos(int col, int line) const {
    std::size_t pos = static_cast<std::size_t>(std::max(col, 0));
    for (int i = 0; i < std::min(line, LineCount()); ++i) pos += lines_[static_cast<std::size_t>(i)].size() + 2;
    return pos;
}

void LyricsDocument::GetSelectedLines(int& first, int& last) const {
    first = PosToLineCol(selStart_).line;
    last = selLength_ > 0 ? PosToLineCol(selStart_ + selLength_ - 1).line : first;
}

void LyricsDocument::MoveCaretTo(int col, int line) { SetSelection(LineColToPos(col, line), 0); }

bool LyricsDocument::OpenFile(const std::string& path) {
    hlWaitCursor wait(host_);
    ResultCode = kResultOk;
    Clear();
    if (!FileExists(path)) {
        ResultCode = kResultFileNotFound;
        host_.MessageBox(path + "：ファイルが見つかりません", MsgKind::Error, MsgButtons::Ok);
        return false;
    }
    Opened(path);
    if (IsHtmlFileName(path)) LoadHtmlFile(path);
    else if (EqualsIgnoreCase(ExtractFileExt(path), ".lrc")) LoadLrcBytes(ReadFileBytes(path));
    else LoadTextBytes(ReadFileBytes(path));
    Modified = false;
    return true;
}

void LyricsDocument::OpenPage(std::string_view bytes) {
    ResultCode = kResultOk;
    Opened("");
    LoadHtmlBytes(bytes);
    Modified = false;
}

void LyricsDocument::Opened(const std::string& path) {
    openedFile_ = path;
    SetFileName(path);
    // A new file is not an edit of the old one.
    undoRequest_ = UndoRequest::NewFile;
}

std::string_view TextFromFileBytes(std::string_view bytes, std::string& converted, std::size_t& replaced) {
    replaced = 0;
    if (HasUtf16Bom(bytes)) {
        converted = Utf16WithBomToSjis(bytes, &replaced);
        return converted;
    }
    if (!LooksLikeUtf8(bytes)) return bytes;
    converted = Utf8ToSjis(StripUtf8Bom(bytes), false, &replaced);
    return converted;
}

std::string TextFromFileBytes(std::string_view bytes, std::size_t& replaced) {
    std::string converted;
    const std::string_view text = TextFromFileBytes(bytes, converted, replaced);
    return text.data() == converted.data() ? std::move(converted) : std::string(text);
}

std::string ReplacedCharsNote(std::size_t replaced) {
    return "Shift-JISにない" + std::to_string(replaced) + "文字を「?」にしました";
}

void LyricsDocument::LoadTextBytes(std::string_view bytes) {
    std::size_t replaced = 0;
    SetText(TextFromFileBytes(bytes, replaced));
    if (replaced > 0) host_.SetStatusText(ReplacedCharsNote(replaced));
}

void LyricsDocument::LoadLrcBytes(std::string bytes) {
    std::size_t replaced = 0;
    std::string note;
    SetText(LrcTextFromBytes(std::move(bytes), replaced, &note));
    if (replaced > 0) note += (note.empty() ? "" : "／") + ReplacedCharsNote(replaced);
    if (!note.empty()) host_.SetStatusText(note);
}

void LyricsDocument::LoadHtmlFile(const std::string& path) { LoadHtmlBytes(ReadFileBytes(path)); }

void LyricsDocument::LoadHtmlBytes(std::string_view bytes) {
    std::size_t replaced = 0;
    SetLines(HtmlPageText(bytes, &replaced));
    if (replaced > 0) host_.SetStatusText(ReplacedCharsNote(replaced));
}

void LyricsDocument::SaveFile(const std::string& path) {
    hlWaitCursor wait(host_);
    SetFileName(path);
    WriteFileAtomic(path, Text());
    Modified = false;
}

void LyricsDocument::InsertLyricsTemplate() {
    InsertLines(0, std::vector<std::string>(kLyricsTemplate.begin(), kLyricsTemplate.end()));
    // As an editor leaves it after inserting text: the caret just after the
    // inserted lines, nothing selected.
    MoveCaretTo(0, static_cast<int>(kLyricsTemplate.size()));
    Modified = true;
}

void LyricsDocument::MenuOpenClick() {
    OpenDialog.title = "開く";
    OpenDialog.filterIndex = 2;
    OpenDialog.fileName.clear();
    OpenDialog.defaultExt = "lyr";
    if (!host_.ExecuteDialog(OpenDialog)) return;
    const std::string chosen = OpenDialog.fileName;
    OpenDialog.initialDir = ExtractFileDir(chosen);
    if (MayDiscardEditsFor(chosen)) OpenFile(chosen);
}

bool LyricsDocument::MayDiscardEditsFor(const std::string& path) {
    return !Modified || host_.MessageBox("編集を破棄して" + path + "を開きますか？", MsgKind::Confirmation,
                                         MsgButtons::YesCancel) == MsgResult::Yes;
}

void LyricsDocument::MenuReopenClick() {
    if (openedFile_.empty() || !FileExists(openedFile_)) return;
    if (Modified && host_.MessageBox("編集を破棄して" + openedFile_ + "を開き直しますか？", MsgKind::Confirmation,
                                     MsgButtons::YesCancel) != MsgResult::Yes)
        return;
    OpenFile(openedFile_);
}

bool LyricsDocument::MenuSaveAsClick() {
    SaveDialog.fileName = fileName_;
    if (fileName_.empty()) {
        const std::string title = Value("Title");
        if (!title.empty()) SaveDialog.fileName = SjisToUtf8(title) + ".lyr";
    }
    const bool tagFile = LowerAscii(ExtractFileExt(fileName_)) == ".taglyr";
    SaveDialog.filterIndex = tagFile ? 2 : 1;
    SaveDialog.defaultExt = tagFile ? "TagLyr" : "lyr";
    if (!host_.ExecuteDialog(SaveDialog)) return false;
    SaveFile(SaveDialog.fileName);
    SaveDialog.initialDir = ExtractFileDir(SaveDialog.fileName);
    host_.SetStatusText("保存しました：" + SaveDialog.fileName);
    return true;
}

}  // namespace zvek
