#include "lyrics/Lrc.h"

#include <algorithm>
#include <cstdint>

#include "lyrics/LyricsDocument.h"
#include "lyrics/LyricsFormat.h"
#include "lyrics/LyricsLines.h"
#include "platform/Files.h"
#include "platform/Waitcur.h"
#include "text/CodeSetGuess.h"
#include "text/Codec.h"
#include "text/Sjis.h"
#include "web/Code.h"

namespace zvek {
namespace {

constexpr std::int64_t kMaxTime = 0x7FFFFFFF;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string_view TrimBlanks(std::string_view s) { return TrimChars(s, " \t"); }

// Shift-JIS has no no-break space: in Unicode text it becomes a blank, and
// so is trimmed at the ends of a line like one. `utf16` text starts with its
// byte-order mark; otherwise it is UTF-8.
std::string NoBreakSpacesAsBlanks(std::string bytes, bool utf16) {
    if (utf16) {
        const bool little = bytes[0] == '\xFF';
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            char& low = bytes[little ? i : i + 1];
            if (low == '\xA0' && bytes[little ? i + 1 : i] == 0) low = ' ';
        }
        return bytes;
    }
    // In valid UTF-8, C2 A0 is always U+00A0.
    std::size_t out = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\xC2' && i + 1 < bytes.size() && bytes[i + 1] == '\xA0') {
            bytes[out++] = ' ';
            ++i;
        } else {
            bytes[out++] = bytes[i];
        }
    }
    bytes.resize(out);
    return bytes;
}

// Only called on valid EUC-JP. JIS X 0212 characters have no Shift-JIS form.
std::string EucToSjisText(std::string_view s, std::size_t& replaced) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
        } else if (b == 0x8F) {
            out.push_back('?');
            ++replaced;
            i += 2;
        } else {
            const auto code = static_cast<CharCode>((b << 8) | static_cast<unsigned char>(s[i + 1]));
            AppendCharCode(out, EucToSjis(code));
            ++i;
        }
    }
    return out;
}

// Reads one number field of a stamp; false when it is empty, not digits or
// too long to be a time.
bool ReadField(std::string_view field, std::int64_t& value) {
    if (field.empty() || field.size() > 10) return false;
    value = 0;
    for (char c : field) {
        if (!IsDigit(c)) return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// ".5" is half a second, ".05" fifty milliseconds: the digits are a decimal
// fraction, and digits beyond the milliseconds are dropped.
bool ReadFraction(std::string_view digits, std::int64_t& ms) {
    if (digits.empty()) return false;
    ms = 0;
    int scale = 100;
    for (char c : digits) {
        if (!IsDigit(c)) return false;
        ms += (c - '0') * scale;
        scale /= 10;
    }
    return true;
}

// A header tag "[name:value]": letters, an optional leading "+".
bool ReadHeaderTag(std::string_view inside, std::string& name, std::string_view& value) {
    inside = TrimBlanks(inside);
    if (!inside.empty() && inside.front() == '+') inside.remove_prefix(1);
    std::size_t i = 0;
    while (i < inside.size() && IsAsciiLetter(inside[i])) ++i;
    if (i == 0) return false;
    std::size_t colon = i;
    while (colon < inside.size() && IsBlank(inside[colon])) ++colon;
    if (colon >= inside.size() || inside[colon] != ':') return false;
    name = LowerAscii(inside.substr(0, i));
    value = TrimBlanks(inside.substr(colon + 1));
    return true;
}

// The position of the "]" (or `close`) that ends a bracket opened at `open`,
// on character boundaries.
std::size_t FindClose(std::string_view line, std::size_t open, char close) { return FindChar(line, close, open + 1); }

// The words with every "<mm:ss.xx>" word time taken out. A word time set
// apart by blanks on both sides leaves one blank, not two.
std::string StripWordTimes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == '<') {
            const std::size_t close = FindClose(text, pos, '>');
            if (close != std::string_view::npos && ParseLrcTime(text.substr(pos + 1, close - pos - 1)) >= 0) {
                pos = close + 1;
                if (!out.empty() && IsBlank(out.back()) && pos < text.size() && IsBlank(text[pos])) ++pos;
                continue;
            }
        }
        const std::size_t next = NextChar(text, pos);
        out.append(text.substr(pos, next - pos));
        pos = next;
    }
    return out;
}

struct Entry {
    int time;                  // kNoTime only for the untimed lines before the first stamp
    bool quoted;               // the words are written as a quoted string
    std::string words;         // the timed line's words
    std::size_t firstUntimed;  // untimed lines that follow it, in `untimed`
    std::size_t untimedCount;
};

// Words that the player format would change when it reads them back: blanks
// or full-width spaces at either end would be lost, and enclosing quotes
// taken off. Written as one quoted string, they come back as they are.
bool NeedsQuotes(std::string_view words) {
    constexpr std::string_view kFullWidthSpace = "\x81\x40";
    if (words.empty()) return false;
    if (words.front() == ' ' || StartsWithChar(words, kFullWidthSpace)) return true;
    const std::string_view last = words.substr(LastCharStart(words));
    return last == " " || last == kFullWidthSpace || (words.front() == '"' && last == "\"");
}

// The time tag goes in front of the words in their own buffer, which held
// the stamp before and so has room for it.
std::string TimedLine(int time, std::string words, bool quoted) {
    if (quoted) return FormatTimeTag(time) + "=" + Enquote(words);
    std::string tag = FormatTimeTag(time);
    tag.push_back('=');
    words.insert(0, tag);
    return words;
}

// Where the player format would read LRC text as its own syntax, the ASCII
// sign that makes it so becomes its full-width twin: the line keeps its
// meaning and stays readable. Positions are collected first and replaced in
// one pass, so a line full of such signs costs no more than its length.
// False when there was nothing to replace.
bool PutFullWidthSigns(std::string& text, std::vector<std::size_t>& at) {
    if (at.empty()) return false;
    std::sort(at.begin(), at.end());
    at.erase(std::unique(at.begin(), at.end()), at.end());
    std::string out;
    out.reserve(text.size() + at.size());
    std::size_t copied = 0;
    for (const std::size_t pos : at) {
        out.append(text, copied, pos - copied);
        const char sign = text[pos];
        out += sign == '=' ? "\x81\x81" : sign == '#' ? "\x81\x94" : sign == ',' ? "\x81\x43" : "\x81\x46";  // ＝＃，：
        copied = pos + 1;
    }
    out.append(text, copied);
    text = std::move(out);
    at.clear();
    return true;
}

// The "=" or "#" of each display directive in `text`.
void DirectiveSigns(std::string_view text, std::vector<std::size_t>& at) {
    if (text.find('=') == std::string_view::npos && text.find('#') == std::string_view::npos) return;
    const std::string lower = LowerAscii(text);
    for (const std::string_view key : kDisplayDirectives) {
        const std::size_t sign = key.front() == '#' ? 0 : key.size() - 1;
        for (std::size_t p = FindText(lower, key); p != std::string_view::npos; p = FindText(lower, key, p + 1))
            at.push_back(p + sign);
    }
}

// The commas that would make words a list of quoted strings: a quote (or,
// for words to be enclosed in quotes, the start) before, and a quote (or the
// end) after, with only blanks and tabs between.
void ListSigns(std::string_view words, bool enclosed, std::vector<std::size_t>& at) {
    if (words.find(',') == std::string_view::npos) return;
    bool quoteBefore = enclosed;
    for (std::size_t i = 0; i < words.size(); i = NextChar(words, i)) {
        const bool single = CharSize(words, i) == 1;
        if (single && IsBlank(words[i])) continue;
        if (single && words[i] == ',' && quoteBefore) {
            std::size_t j = i + 1;
            while (j < words.size() && IsBlank(words[j])) ++j;
            if (j == words.size() ? enclosed : words[j] == '"') at.push_back(i);
        }
        quoteBefore = single && words[i] == '"';
    }
}

// A line without a stamp must not read as a timed line: its colons before
// the first "=" go.
void UntimedSigns(std::string_view line, std::vector<std::size_t>& at) {
    const std::size_t eq = FindChar(line, '=');
    if (eq == std::string_view::npos || ParseTimeTag(line) < 0) return;
    for (std::size_t p = FindChar(line, ':'); p < eq; p = FindChar(line, ':', p + 1)) at.push_back(p);
}

// Whether the LRC text had to change to keep its meaning as player lyrics.
bool KeepWords(std::string& words, bool enclosed, std::vector<std::size_t>& at) {
    DirectiveSigns(words, at);
    ListSigns(words, enclosed, at);
    return PutFullWidthSigns(words, at);
}

bool KeepUntimed(std::string& line, std::vector<std::size_t>& at) {
    // One after the other: a directive's "=" may be the one that made the
    // line look timed.
    DirectiveSigns(line, at);
    const bool directive = PutFullWidthSigns(line, at);
    UntimedSigns(line, at);
    return PutFullWidthSigns(line, at) || directive;
}

bool StartsLikeStamp(std::string_view words) {
    while (!words.empty() && IsBlank(words.front())) words.remove_prefix(1);
    if (words.empty() || words.front() != '[') return false;
    const std::size_t close = FindChar(words, ']');
    return close != std::string_view::npos && ParseLrcTime(words.substr(1, close - 1)) >= 0;
}

// A line as the reader sees it: without the byte-order mark a first line
// may still carry, and without the blanks around it.
std::string_view LineText(std::string_view raw, std::size_t index) {
    return TrimBlanks(index == 0 ? StripUtf8Bom(raw) : raw);
}

enum class LineStart { Words, Header, BrokenStamp };

// Reads the stamps at the start of `line` into `stamps`; `pos` is left where
// the words begin. A header tag ("[ti:...]", its `name` and `value`) before
// any stamp makes the line a header, and so does a line that is nothing but
// some other tool's "[name:value]" (an empty `name` for those); a first
// bracket that starts like a stamp but is none is a fault worth reporting.
// Other brackets are part of the words.
LineStart ReadStamps(std::string_view line, std::vector<int>& stamps, std::size_t& pos, std::string& name,
                     std::string_view& value) {
    stamps.clear();
    pos = 0;
    while (pos < line.size() && line[pos] == '[') {
        const std::size_t close = FindClose(line, pos, ']');
        if (close == std::string_view::npos) break;
        const std::string_view inside = line.substr(pos + 1, close - pos - 1);
        if (const int time = ParseLrcTime(inside); time >= 0) {
            stamps.push_back(time);
        } else if (stamps.empty() && ReadHeaderTag(inside, name, value)) {
            return LineStart::Header;
        } else {
            if (!stamps.empty()) return LineStart::Words;
            const std::string_view t = TrimBlanks(inside);
            if (!t.empty() && IsDigit(t.front())) return LineStart::BrokenStamp;
            if (close + 1 == line.size() && FindChar(t, ':') != std::string_view::npos && t.front() != ':') {
                name.clear();
                value = {};
                return LineStart::Header;
            }
            return LineStart::Words;
        }
        pos = close + 1;
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
    }
    return LineStart::Words;
}

// Refuses, before anything is taken from them, the lines whose stamps would
// make the lyrics larger than the file allows: each stamp after a line's
// first costs one more copy of its words, with its time tag and line end.
void CheckGrowth(const std::vector<std::string>& lrc) {
    constexpr std::size_t kTimedLineBytes = 12;  // "mm:ss:mmm=" and CR LF
    std::size_t text = 0;
    for (const std::string& line : lrc) text += line.size() + 2;
    const std::size_t limit = kLrcMaxGrowth * text + kLrcGrowthAllowance;
    std::size_t made = text;
    std::vector<int> stamps;
    std::string name;
    std::string_view value;
    for (std::size_t n = 0; n < lrc.size(); ++n) {
        // A second stamp can only follow right after the first bracket, and
        // most lines hold no second "[" byte at all: they need no closer look.
        const std::string_view line = LineText(lrc[n], n);
        if (line.empty() || line.front() != '[' || line.find('[', 1) == std::string_view::npos) continue;
        std::size_t next = FindClose(line, 0, ']');
        if (next == std::string_view::npos) continue;
        while (++next < line.size() && IsBlank(line[next])) {}
        if (next >= line.size() || line[next] != '[') continue;
        std::size_t pos = 0;
        if (ReadStamps(line, stamps, pos, name, value) != LineStart::Words || stamps.size() < 2) continue;
        const std::size_t copy = TrimBlanks(line.substr(pos)).size() + kTimedLineBytes;
        // Compared by division: the product itself may not fit.
        if ((limit - made) / copy < stamps.size() - 1) throw LrcError(TooManyStampsNote(n + 1));
        made += (stamps.size() - 1) * copy;
    }
}

}  // namespace

std::string LrcTextFromBytes(std::string bytes, std::size_t& replaced, std::string* codeSetNote) {
    replaced = 0;
    if (codeSetNote) codeSetNote->clear();
    if (HasUtf16Bom(bytes)) return Utf16WithBomToSjis(NoBreakSpacesAsBlanks(std::move(bytes), true), &replaced);
    if (LooksLikeUtf8(bytes))
        return Utf8ToSjis(StripUtf8Bom(NoBreakSpacesAsBlanks(std::move(bytes), false)), false, &replaced);
    const CodeSetGuess guess = GuessSjisOrEuc(bytes);
    const bool euc = guess.codeSet == JapaneseCodeSet::EucJp;
    if (!guess.certain && codeSetNote)
        *codeSetNote = std::string("文字コードを") + (euc ? "EUC-JP" : "Shift-JIS") +
                       "と判断しました（どちらとも読めるファイルです）";
    return euc ? EucToSjisText(bytes, replaced) : std::move(bytes);
}

int ParseLrcTime(std::string_view text) {
    // Blanks anywhere inside the brackets are ignored; stamps are short, so
    // a fixed buffer keeps this free of allocations.
    char buf[40];
    std::size_t n = 0;
    for (char c : text) {
        if (IsBlank(c)) continue;
        if (n == sizeof buf) return kNoTime;
        buf[n++] = c;
    }
    const std::string_view s(buf, n);
    std::string_view fields[3];
    std::size_t count = 0, start = 0;
    for (std::size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == ':') {
            if (count == 3) return kNoTime;
            fields[count++] = s.substr(start, i - start);
            start = i + 1;
        }
    }
    if (count < 2) return kNoTime;
    std::string_view last = fields[count - 1];
    std::string_view fraction;
    bool hasDot = false;
    if (const auto dot = last.find('.'); dot != std::string_view::npos) {
        fraction = last.substr(dot + 1);
        last = last.substr(0, dot);
        hasDot = true;
        if (fraction.empty()) return kNoTime;
    }
    std::int64_t hours = 0, minutes = 0, seconds = 0, ms = 0;
    if (count == 2) {
        if (!ReadField(fields[0], minutes) || !ReadField(last, seconds)) return kNoTime;
        if (hasDot && !ReadFraction(fraction, ms)) return kNoTime;
    } else if (hasDot) {  // hh:mm:ss.xxx
        if (!ReadField(fields[0], hours) || !ReadField(fields[1], minutes) || !ReadField(last, seconds)) return kNoTime;
        if (!ReadFraction(fraction, ms)) return kNoTime;
    } else {  // mm:ss:xx, the last field a fraction of a second
        if (!ReadField(fields[0], minutes) || !ReadField(fields[1], seconds) || !ReadFraction(last, ms)) return kNoTime;
    }
    const std::int64_t total = ((hours * 60 + minutes) * 60 + seconds) * 1000 + ms;
    return total <= kMaxTime ? static_cast<int>(total) : kNoTime;
}

// The part `keep` of `line` (a view into it) as the line's own buffer: the
// lines are taken over rather than copied, since fresh memory is what a
// large file costs most.
std::string TakePart(std::string& line, std::string_view keep) {
    const std::size_t from = static_cast<std::size_t>(keep.data() - line.data());
    const std::size_t count = keep.size();
    line.erase(0, from);
    line.resize(count);
    return std::move(line);
}

namespace {

// LrcToZVEK on lines already checked.
std::vector<std::string> ReadCheckedLrc(std::vector<std::string> lrc, LrcReadCounts& counts) {
    counts = {};
    std::string header[4];  // Title, Artist, Lyrics, Presenter
    std::int64_t offset = 0;
    std::vector<Entry> entries;
    std::vector<std::string> untimed;
    entries.reserve(lrc.size() + 1);
    entries.push_back({kNoTime, false, {}, 0, 0});
    std::vector<int> stamps;
    std::string name;
    std::vector<std::size_t> signs;

    for (std::size_t n = 0; n < lrc.size(); ++n) {
        std::string& raw = lrc[n];
        const std::string_view line = LineText(raw, n);
        std::size_t pos = 0;
        std::string_view value;
        const LineStart start = ReadStamps(line, stamps, pos, name, value);
        if (start == LineStart::Header) {
            // A header without a value takes nothing from one before it.
            if (value.empty()) continue;
            if (name == "ti") header[0] = value;
            else if (name == "ar") header[1] = value;
            else if (name == "au") header[2] = value;
            else if (name == "by") header[3] = value;
            else if (name == "offset") {
                std::string_view v = value;
                bool negative = false;
                if (!v.empty() && (v.front() == '+' || v.front() == '-')) {
                    negative = v.front() == '-';
                    v.remove_prefix(1);
                }
                if (std::int64_t amount = 0; ReadField(TrimBlanks(v), amount)) offset = negative ? -amount : amount;
            }
            continue;
        }
        if (start == LineStart::BrokenStamp) ++counts.invalidStamps;
        if (stamps.empty()) {
            if (line.empty()) continue;
            // Untimed lines follow the timed line before them; if that line
            // had several stamps they stay with its last one.
            Entry& owner = entries.back();
            if (owner.untimedCount == 0) owner.firstUntimed = untimed.size();
            untimed.push_back(TakePart(raw, line));
            if (KeepUntimed(untimed.back(), signs)) ++counts.changedLines;
            ++owner.untimedCount;
            continue;
        }
        const std::string_view rest = TrimBlanks(line.substr(pos));
        std::string words = FindChar(rest, '<') == std::string_view::npos
                                ? TakePart(raw, rest)
                                : std::string(TrimBlanks(StripWordTimes(rest)));
        const bool quoted = NeedsQuotes(words);
        if (KeepWords(words, quoted, signs)) ++counts.changedLines;
        for (std::size_t i = 0; i + 1 < stamps.size(); ++i) entries.push_back({stamps[i], quoted, words, 0, 0});
        entries.push_back({stamps.back(), quoted, std::move(words), 0, 0});
    }

    // The untimed head stays first; the rest are ordered by time, lines of
    // equal time in the order they were written. Sorting small keys rather
    // than the entries keeps their words where they are.
    struct Key {
        int time;
        std::uint32_t index;
    };
    std::vector<Key> order;
    order.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) order.push_back({entries[i].time, static_cast<std::uint32_t>(i)});
    std::sort(order.begin() + 1, order.end(),
              [](Key a, Key b) { return a.time != b.time ? a.time < b.time : a.index < b.index; });

    // Every line worth keeping has moved out of `lrc`: its memory, already
    // in use, takes the result.
    std::vector<std::string> out = std::move(lrc);
    out.clear();
    out.reserve(kLyricsTemplate.size() + entries.size() + untimed.size());
    out.assign(kLyricsTemplate.begin(), kLyricsTemplate.end());
    out[1] += header[0];
    out[2] += header[1];
    out[3] += header[2];
    out[5] += header[3];
    for (const Key& key : order) {
        Entry& e = entries[key.index];
        if (e.time >= 0) {
            const std::int64_t shown = std::clamp<std::int64_t>(e.time - offset, 0, kMaxTime);
            out.push_back(TimedLine(static_cast<int>(shown), std::move(e.words), e.quoted));
        }
        for (std::size_t i = 0; i < e.untimedCount; ++i) out.push_back(std::move(untimed[e.firstUntimed + i]));
    }
    return out;
}

}  // namespace

std::vector<std::string> LrcToZVEK(std::vector<std::string> lrc, LrcReadCounts& counts) {
    CheckGrowth(lrc);
    return ReadCheckedLrc(std::move(lrc), counts);
}

void ConvertLrcToZVEK(LyricsDocument& doc) {
    hlWaitCursor wait(doc.host());
    // A refused file leaves the document as it was, its undo history too.
    CheckGrowth(doc.Lines());
    doc.ClearUndo();
    LrcReadCounts counts;
    std::vector<std::string> lines = ReadCheckedLrc(doc.TakeLines(), counts);
    doc.SetLines(std::move(lines));
    doc.MoveCaretTo(0, static_cast<int>(kLyricsTemplate.size()));
    doc.Modified = true;
    if (!doc.FileName().empty()) doc.SetFileName(ChangeFileExt(doc.FileName(), ".lyr"));
    if (const std::string note = LrcReadNote(counts); !note.empty()) doc.host().SetStatusText(note);
}

std::string LrcReadNote(const LrcReadCounts& counts) {
    std::string note;
    if (counts.invalidStamps > 0)
        note = "読めないタイムタグが" + std::to_string(counts.invalidStamps) +
               "行にあります（時刻なしの行として残しました）";
    if (counts.changedLines > 0) {
        if (!note.empty()) note += "／";
        note +=
            "歌詞ファイルの書式と重なる記号（, = # :）を" + std::to_string(counts.changedLines) + "行で全角にしました";
    }
    return note;
}

std::string TooManyStampsNote(std::size_t line) {
    return "タイムタグが多すぎます（" + std::to_string(line) + "行目まで）：歌詞が元のファイルの" +
           std::to_string(kLrcMaxGrowth) + "倍を超える大きさになるため、変換しませんでした";
}

std::string FormatLrcStamp(int time, bool milliseconds) {
    // Done by hand: once per line, and printf is most of the writer's time.
    const auto digits = [](std::string& out, unsigned value, int width) {
        char buf[12];
        int n = 0;
        do {
            buf[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n < width) buf[n++] = '0';
        while (n > 0) out.push_back(buf[--n]);
    };
    const unsigned t = time < 0 ? 0u : static_cast<unsigned>(time);
    std::string out;
    out.push_back('[');
    if (milliseconds) {
        digits(out, t / 60000, 2);
        out.push_back(':');
        digits(out, t / 1000 % 60, 2);
        out.push_back('.');
        digits(out, t % 1000, 3);
    } else {
        // Rounded half up to hundredths; 59.995 s carries into the minute.
        const unsigned h = (t + 5) / 10;
        digits(out, h / 6000, 2);
        out.push_back(':');
        digits(out, h / 100 % 60, 2);
        out.push_back('.');
        digits(out, h % 100, 2);
    }
    out.push_back(']');
    return out;
}

std::string ZVEKToLrc(const std::vector<std::string>& lines, const LrcWriteOptions& options, int& skipped) {
    skipped = 0;
    std::size_t text = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (IsTextSectionLine(lines[i])) {
            text = i;
            break;
        }
    }
    std::size_t body = text + 1;
    if (text == lines.size()) body = text = 0;  // no sections: every line is lyrics

    std::string out;
    std::size_t bytes = 0;
    for (std::size_t i = body; i < lines.size(); ++i) bytes += lines[i].size() + 4;
    out.reserve(options.shiftJis ? bytes : bytes + bytes / 2);
    // Line by line: converting the whole text at the end would need a second
    // buffer of three times its size, fresh memory that costs more than the
    // conversion.
    const auto AppendText = [&](std::string_view words) {
        if (options.shiftJis) out += words;
        else out += SjisToUtf8(words);
    };
    static constexpr std::string_view kHeaderNames[][2] = {
        {"title", "ti"}, {"artist", "ar"}, {"lyrics", "au"}, {"presenter", "by"}};
    for (const auto& [key, tag] : kHeaderNames) {
        for (std::size_t i = 0; i < text; ++i) {
            const std::string_view line = lines[i];
            const std::size_t eq = FindChar(line, '=');
            if (eq == std::string_view::npos || !EqualsIgnoreCase(line.substr(0, eq), key)) continue;
            const std::string value = UnquoteWords(Trim(line.substr(eq + 1)));
            if (!value.empty()) {
                out += '[';
                out += tag;
                out += ':';
                AppendText(value);
                out += "]\r\n";
            }
            break;
        }
    }

    std::string words;
    for (std::size_t i = body; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const int time = SplitLyricsLine(line, words, true);
        if (time < 0 || HasDisplayDirective(words)) {
            if (!Trim(line).empty()) ++skipped;
            continue;
        }
        const std::string stamp = FormatLrcStamp(time, options.milliseconds);
        const auto append = [&](std::string_view w) {
            out += stamp;
            // Words that begin with something a reader takes for one more
            // stamp are led by a word time, which readers remove again.
            if (StartsLikeStamp(w)) {
                out += '<';
                out += std::string_view(stamp).substr(1, stamp.size() - 2);
                out += '>';
            }
            AppendText(w);
            out += "\r\n";
        };
        if (IsQuotedList(words)) {
            for (const auto& s : SplitQuotedList(words)) append(UnquoteValue(s));
            continue;
        }
        UnquoteWordsInPlace(words);
        append(words);
    }
    return out;
}

FileDialog MakeLrcSaveDialog() {
    return {.kind = FileDialog::Kind::Save,
            .title = "LRCに書き出す",
            .filters = {{"LRCファイル(*.lrc)", "*.lrc"}},
            .filterIndex = 1,
            .defaultExt = "lrc"};
}

bool MenuSaveLrcClick(LyricsDocument& doc, FileDialog& dialog) {
    if (!doc.FileName().empty()) {
        // Beside the document, whatever folder the last export went to.
        if (const std::string folder = ExtractFileDir(doc.FileName()); !folder.empty()) dialog.initialDir = folder;
        dialog.fileName = ChangeFileExt(doc.FileName(), ".lrc");
    } else {
        const std::string title = doc.Value("Title");
        dialog.fileName = title.empty() ? std::string() : SjisToUtf8(title) + ".lrc";
    }
    if (!doc.host().ExecuteDialog(dialog)) return false;
    int skipped = 0;
    WriteFileAtomic(dialog.fileName, ZVEKToLrc(doc.Lines(), {}, skipped));
    dialog.initialDir = ExtractFileDir(dialog.fileName);
    std::string status = "LRCに書き出しました：" + dialog.fileName;
    if (skipped > 0) status += "（時刻のない行など" + std::to_string(skipped) + "行は書き出していません）";
    doc.host().SetStatusText(status);
    return true;
}

}  // namespace zvek
