#include "lyrics/Conversions.h"

#include "lyrics/LyricsDocument.h"
#include "lyrics/LyricsFormat.h"
#include "lyrics/LyricsLines.h"
#include "platform/Files.h"
#include "platform/Waitcur.h"
#include "text/Sjis.h"

namespace zvek {

std::string RetimeLine(std::string_view line) {
    std::string words;
    SplitTagAndWords(line, words, true);
    return MakeLyricsLine(0, words);
}

bool NormalizeLine(std::string& line) {
    std::string words;
    const int time = SplitLyricsLine(line, words, false);
    if (time < 0 || words.empty()) return false;
    std::vector<std::string> list = SplitQuotedList(words);
    for (auto& s : list) s = CleanWords(s);
    line = JoinLyricsLine(time, list);
    return true;
}

namespace {

// TextLineToZVEK into `out`, whose buffer is reused.
void TextLineToZVEK(std::string_view line, std::string& out) {
    const std::string_view text = Trim(line);
    // Most lines hold no quote and no "=" and end on a whole character:
    // retiming keeps such a line whole (quoted only for a full-width space at
    // an end) and normalizing takes the quotes off again and cleans its ends,
    // so the steps come down to the time tag and the cleaned line.
    if (text.find('"') == std::string_view::npos && text.find('=') == std::string_view::npos &&
        (text.empty() || !IsLeadByte(static_cast<unsigned char>(text.back())) ||
         LastCharStart(text) + 1 < text.size())) {
        out.assign("00:00:000=");
        out.append(TrimBlankChars(text));
        return;
    }
    out = RetimeLine(text);
    NormalizeLine(out);
}

// The text conversion of each line `forEach` gives, to `out`. A text without
// lines converts as one empty line: the line the caret stands on.
template <class ForEach, class Out>
void TextLinesToZVEK(ForEach&& forEach, Out&& out) {
    bool any = false;
    std::string converted;
    forEach([&](std::string_view line) {
        any = true;
        TextLineToZVEK(line, converted);
        out(converted);
    });
    if (any) return;
    TextLineToZVEK({}, converted);
    out(converted);
}

}  // namespace

std::string TextLineToZVEK(std::string_view line) {
    std::string out;
    TextLineToZVEK(line, out);
    return out;
}

void RetimeSelection(LyricsDocument& doc) {
    doc.KeepQuotes = true;
    int first = 0, last = 0;
    doc.GetSelectedLines(first, last);
    for (int i = first; i <= last; ++i) doc.SetLine(i, RetimeLine(doc.GetLine(i)));
    doc.KeepQuotes = false;
    doc.Modified = true;
}

void NormalizeSelection(LyricsDocument& doc) {
    doc.KeepQuotes = false;
    int first = 0, last = 0;
    doc.GetSelectedLines(first, last);
    for (int i = first; i <= last; ++i) {
        std::string line = doc.GetLine(i);
        if (NormalizeLine(line)) doc.SetLine(i, std::move(line));
    }
}

void ConvertTextToZVEK(LyricsDocument& doc) {
    hlWaitCursor wait(doc.host());
    doc.ClearUndo();
    // Line by line, the same as trimming every line, then RetimeSelection
    // and NormalizeSelection over the whole text.
    const std::vector<std::string> in = doc.TakeLines();
    std::vector<std::string> out;
    out.reserve(in.size() + 1);
    TextLinesToZVEK(
        [&in](auto&& line) {
            for (const std::string& s : in) line(s);
        },
        [&out](const std::string& line) { out.push_back(line); });
    doc.SetLines(std::move(out));
    doc.KeepQuotes = false;
    doc.Modified = true;
    doc.InsertLyricsTemplate();
    if (!doc.FileName().empty()) doc.SetFileName(ChangeFileExt(doc.FileName(), ".lyr"));
}

void TextToZVEKLines(std::string_view text, const std::function<void(std::string_view)>& line) {
    for (const std::string_view t : kLyricsTemplate) line(t);
    TextLinesToZVEK([text](auto&& each) { ForEachLine(text, each); },
                    [&line](const std::string& converted) { line(converted); });
}

void ConvertZVEKToText(LyricsDocument& doc) {
    doc.ClearUndo();
    std::vector<std::string> work = doc.TakeLines();
    std::size_t input = work.size();
    for (std::size_t i = 0; i < work.size(); ++i) {
        if (IsTextSectionLine(work[i])) {
            input = i + 1;
            break;
        }
    }
    doc.KeepQuotes = true;
    std::vector<std::string> out;
    out.reserve(work.size() - input);
    std::string words;
    for (std::size_t i = input; i < work.size(); ++i) {
        std::string& line = work[i];
        SplitLyricsLine(line, words, doc.KeepQuotes);
        if (IsQuotedList(words)) {
            for (const auto& s : SplitQuotedList(words)) out.push_back(UnquoteValue(s));
            continue;
        }
        // One string (or none): the line's own buffer takes the result,
        // which is never longer than the line.
        line.assign(words);
        UnquoteWordsInPlace(line);
        out.push_back(std::move(line));
    }
    doc.SetLines(std::move(out));
}

void ConvertWinAmpToZVEK(LyricsDocument& doc) {
    hlWaitCursor wait(doc.host());
    if (doc.LineCount() == 0) return;
    if (IsSpecSectionLine(doc.GetLine(0))) return;  // already player lyrics
    doc.ClearUndo();
    for (int i = 0; i < doc.LineCount(); ++i) {
        const std::string line = doc.GetLine(i);
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty()) continue;
        std::string out(1, ';');
        out.append(trimmed);
        if (trimmed.front() == '[') {
            if (trimmed == "[[[Music Info]]]") {
                out.clear();
            } else if (trimmed.size() >= 2 && trimmed[1] >= '0' && trimmed[1] <= '9') {
                if (const auto close = FindChar(trimmed, ']'); close != std::string_view::npos) {
                    const std::string_view time = trimmed.substr(1, close - 1);
                    out.assign(time);
                    // minutes:seconds:hundredths -> the last field in milliseconds
                    if (const auto colon = FindChar(time, ':');
                        colon != std::string_view::npos && FindChar(time, ':', colon + 1) != std::string_view::npos)
                        out += '0';
                    out += '=';
                    out += trimmed.substr(close + 1);
                }
            }
        }
        doc.SetLine(i, std::move(out));
    }
    doc.InsertLyricsTemplate();
    doc.SetFileName(ChangeFileExt(doc.FileName(), ".lyr"));
}

}  // namespace zvek
