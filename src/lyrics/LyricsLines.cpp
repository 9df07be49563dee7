#include "lyrics/LyricsLines.h"

#include <cstdint>
#include <limits>

#include "text/Sjis.h"

namespace zvek {

namespace {

constexpr char kQuote = '"';

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads [blanks][sign]digits: the integer part of a field. On success `pos`
// is just past the digits and `value` holds the (signed) number.
bool ReadSignedDigits(std::string_view s, std::size_t& pos, std::int64_t& value, bool& negative) {
    while (pos < s.size() && IsBlankOrTab(s[pos])) ++pos;
    negative = false;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) negative = s[pos++] == '-';
    const std::size_t start = pos;
    std::int64_t magnitude = 0;
    while (pos < s.size() && IsDigit(s[pos])) {
        magnitude = magnitude * 10 + (s[pos++] - '0');
        if (magnitude > std::int64_t{1} << 32) return false;  // already far outside 32 bits
    }
    if (pos == start) return false;
    value = negative ? -magnitude : magnitude;
    return value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max();
}

// A decimal integer with an optional sign and leading blanks, filling the
// whole field and fitting 32 bits; anything else counts as 0.
std::int64_t IntField(std::string_view s) {
    std::size_t pos = 0;
    std::int64_t value = 0;
    bool negative = false;
    return ReadSignedDigits(s, pos, value, negative) && pos == s.size() ? value : 0;
}

// A seconds field with a decimal fraction ("23.45"), as milliseconds.
bool SecondsWithFraction(std::string_view s, std::int64_t& ms) {
    std::size_t pos = 0;
    std::int64_t seconds = 0;
    bool negative = false;
    if (!ReadSignedDigits(s, pos, seconds, negative) || pos >= s.size() || s[pos] != '.') return false;
    const std::size_t first = ++pos;
    std::int64_t fraction = 0;
    for (; pos < s.size() && IsDigit(s[pos]); ++pos)
        if (pos - first < 3) fraction = fraction * 10 + (s[pos] - '0');
    if (pos == first || pos != s.size()) return false;
    for (std::size_t digits = pos - first; digits < 3; ++digits) fraction *= 10;
    ms = seconds * 1000 + (negative ? -fraction : fraction);
    return true;
}

// Calls `separator(begin, end)` for each comma that separates two quoted
// strings: [begin, end) runs from just after the closing quote to the
// opening quote of the next string, the comma and the blanks around it.
template <typename F>
void ForEachListSeparator(std::string_view s, F&& separator) {
    std::size_t pos = 0;
    for (;;) {
        const std::size_t quote = FindChar(s, kQuote, pos);
        if (quote == std::string_view::npos) return;
        std::size_t i = quote + 1;
        while (i < s.size() && IsBlankOrTab(s[i])) ++i;
        if (i >= s.size() || s[i] != ',') {
            pos = i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < s.size() && IsBlankOrTab(s[j])) ++j;
        if (j < s.size() && s[j] == kQuote) separator(quote + 1, j);
        pos = j;
    }
}

void AppendTwoDigits(std::string& out, unsigned value) {
    out.push_back(static_cast<char>('0' + value / 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

}  // namespace

std::string Enquote(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out.push_back(kQuote);
    for (char c : s) {
        if (c == kQuote) out.push_back(kQuote);
        out.push_back(c);
    }
    out.push_back(kQuote);
    return out;
}

const std::string_view LiteralChars{
    " ,\t\"'?!"
    "\x81\x40\x81\x43\x81\x68\x81\x66\x81\x48\x81\x49"
    "0123456789"
    "\x82\x4f\x82\x50\x82\x51\x82\x52\x82\x53\x82\x54\x82\x55\x82\x56\x82\x57\x82\x58"
    "()\x81\x69\x81\x6a[]\x81\x6d\x81\x6e"
    "\x81\x75\x81\x76\x81\x77\x81\x78\x81\x79\x81\x7a"
    ">\x81\x83\x81\x84"
    "-+*/="
    "\x81\x7c\x81\x7b\x81\x96\x81\x5e\x81\x81"
    ":;\x81\x46\x81\x47"};

const std::string_view ClosingChars{".)>]\x81\x41\x81\x43\x81\x42\x81\x44"};

bool InCharSet(std::string_view set, std::string_view c) {
    for (std::size_t i = 0; i < set.size(); i = NextChar(set, i))
        if (set.substr(i, CharSize(set, i)) == c) return true;
    return false;
}

int ParseTimeTag(std::string_view text) {
    std::string_view s = Trim(text);
    if (s.empty() || s.front() == ';') return kNoTime;
    if (const auto eq = FindChar(s, '='); eq != std::string_view::npos) s = s.substr(0, eq);
    const auto colon = FindChar(s, ':');
    if (colon == std::string_view::npos) return kNoTime;
    const std::int64_t minutes = IntField(s.substr(0, colon));
    const std::string_view rest = s.substr(colon + 1);
    std::int64_t ms = 0;
    if (const auto colon2 = FindChar(rest, ':'); colon2 != std::string_view::npos) {
        ms = IntField(rest.substr(0, colon2)) * 1000 + IntField(rest.substr(colon2 + 1));
    } else if (!SecondsWithFraction(rest, ms)) {
        ms = IntField(rest) * 1000;
    }
    const std::int64_t time = minutes * 60000 + ms;
    return time >= 0 && time <= std::numeric_limits<std::int32_t>::max() ? static_cast<int>(time) : kNoTime;
}

std::string FormatTimeTag(int time) {
    const unsigned t = time < 0 ? 0u : static_cast<unsigned>(time);
    const unsigned seconds = t / 1000, minutes = seconds / 60, ms = t % 1000;
    std::string out;
    out.reserve(12);
    if (minutes < 100) AppendTwoDigits(out, minutes);
    else out += std::to_string(minutes);
    out.push_back(':');
    AppendTwoDigits(out, seconds % 60);
    out.push_back(':');
    out.push_back(static_cast<char>('0' + ms / 100));
    AppendTwoDigits(out, ms % 100);
    return out;
}

int SplitLyricsLine(std::string_view line, std::string& words, bool keepQuotes) {
    const int time = ParseTimeTag(line);
    const auto eq = time < 0 ? std::string_view::npos : FindChar(line, '=');
    if (eq == std::string_view::npos) {
        words.assign(line);
        return kNoTime;
    }
    const std::string_view after = line.substr(eq + 1);
    if (keepQuotes) words.assign(after);
    else words = UnquoteValue(after);
    return time;
}

std::string SplitTagAndWords(std::string_view line, std::string& words, bool keepQuotes) {
    const auto eq = FindChar(line, '=');
    const std::string_view tag = eq == std::string_view::npos ? std::string_view() : line.substr(0, eq);
    if (tag.empty() || ParseTimeTag(tag) < 0) {
        words.assign(line);
        return {};
    }
    const std::string_view after = line.substr(eq + 1);
    if (keepQuotes) words.assign(after);
    else words = UnquoteValue(after);
    return std::string(tag);
}

std::string MakeLyricsLine(int time, std::string_view words) {
    if (time < 0) return std::string(words);
    return FormatTimeTag(time) + "=" + QuoteWords(words);
}

std::string JoinLyricsLine(int time, const std::vector<std::string>& list) {
    std::string joined;
    for (const auto& s : list) {
        if (!joined.empty()) joined.push_back(',');
        joined += list.size() >= 2 ? QuoteWords(Enquote(s)) : QuoteWords(s);
    }
    return FormatTimeTag(time) + "=" + joined;
}

std::string QuoteWords(std::string_view words) {
    const bool quote = (!words.empty() && words.front() == ' ') || EndsWithChar(words, " ") ||
                       StartsWithChar(words, kFullWidthSpace) || EndsWithChar(words, kFullWidthSpace);
    return quote ? Enquote(words) : std::string(words);
}

void UnquoteWordsInPlace(std::string& words) {
    if (words.empty() || words.front() != kQuote || !EndsWithChar(words, "\"")) return;
    // Drop the enclosing quotes and undo the doubling, left to right.
    std::size_t out = 0;
    const std::size_t end = words.size() >= 2 ? words.size() - 1 : 1;
    for (std::size_t i = 1; i < end; ++i) {
        words[out++] = words[i];
        if (words[i] == kQuote && i + 1 < end && words[i + 1] == kQuote) ++i;
    }
    words.resize(out);
}

std::string UnquoteWords(std::string_view words) {
    std::string out(words);
    UnquoteWordsInPlace(out);
    return out;
}

bool IsQuotedList(std::string_view s) {
    bool found = false;
    ForEachListSeparator(s, [&](std::size_t, std::size_t) { found = true; });
    return found;
}

std::string UnquoteValue(std::string_view words) {
    return IsQuotedList(words) ? std::string(words) : UnquoteWords(words);
}

std::string BreakQuotedList(std::string_view words) {
    std::string out;
    out.reserve(words.size());
    std::size_t copied = 0;
    ForEachListSeparator(words, [&](std::size_t begin, std::size_t end) {
        out.append(words, copied, begin - copied);
        out.push_back('\r');
        copied = end;
    });
    out.append(words, copied);
    return out;
}

std::vector<std::string> SplitQuotedList(std::string_view words) {
    std::vector<std::string> list;
    std::size_t start = 0;
    ForEachListSeparator(words, [&](std::size_t begin, std::size_t end) {
        list.emplace_back(words.substr(start, begin - start));
        start = end;
    });
    if (start < words.size() || !list.empty()) list.emplace_back(words.substr(start));
    return list;
}

std::string CleanWords(std::string_view string) {
    // Only a string that begins with a quote can change when unquoted.
    if (string.empty() || string.front() != kQuote) return std::string(TrimBlankChars(string));
    return std::string(TrimBlankChars(UnquoteValue(string)));
}

}  // namespace zvek
