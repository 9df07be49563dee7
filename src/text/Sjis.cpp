#include "text/Sjis.h"

#include <cstring>

namespace zvek {

std::size_t LastCharStart(std::string_view s) {
    // Stepping back instead of walking the whole text: the byte before a run
    // of lead bytes always ends a character (it stands alone or is a trail
    // byte), so the run pairs up from its first byte, and the last byte
    // begins a character when an even number of lead bytes precede it.
    if (s.empty()) return std::string_view::npos;
    const std::size_t last = s.size() - 1;
    std::size_t run = last;
    while (run > 0 && IsLeadByte(static_cast<unsigned char>(s[run - 1]))) --run;
    return (last - run) % 2 == 0 ? last : last - 1;
}

std::size_t FindChar(std::string_view s, char c, std::size_t from) {
    // Jump with memchr to each candidate byte; only a candidate that lies on
    // a character boundary counts, so the boundaries are followed up to it.
    std::size_t boundary = from;
    while (boundary < s.size()) {
        const void* hit = std::memchr(s.data() + boundary, c, s.size() - boundary);
        if (!hit) return std::string_view::npos;
        const std::size_t at = static_cast<const char*>(hit) - s.data();
        while (boundary < at) boundary = NextChar(s, boundary);
        if (boundary == at) return at;
        // The hit was the trail byte of the pair starting at at - 1; go on after it.
    }
    return std::string_view::npos;
}

std::size_t FindText(std::string_view s, std::string_view needle, std::size_t from) {
    if (needle.empty()) return from <= s.size() ? from : std::string_view::npos;
    const char first = needle.front();
    for (std::size_t i = FindChar(s, first, from); i != std::string_view::npos;
         i = FindChar(s, first, NextChar(s, i))) {
        if (s.compare(i, needle.size(), needle) == 0) return i;
    }
    return std::string_view::npos;
}

bool StartsWithChar(std::string_view s, std::string_view c) {
    return !s.empty() && CharSize(s, 0) == c.size() && s.substr(0, c.size()) == c;
}

bool EndsWithChar(std::string_view s, std::string_view c) {
    const std::size_t last = LastCharStart(s);
    return last != std::string_view::npos && s.substr(last) == c;
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (std::size_t i = 0; i < out.size();) {
        const std::size_t n = CharSize(out, i);
        if (n == 1 && out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] + ('a' - 'A'));
        i += n;
    }
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    ForEachLine(text, [&lines](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::size_t size = 0;
    for (const auto& line : lines) size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string_view TrimBlankChars(std::string_view s) {
    const auto blank = [](std::string_view c) {
        return c.size() == 1 ? static_cast<unsigned char>(c[0]) <= 0x20 : c == kFullWidthSpace;
    };
    // From the front character by character, and from the back by stepping
    // back over the last character, so that only the blanks are walked.
    std::size_t begin = 0;
    while (begin < s.size() && blank(s.substr(begin, CharSize(s, begin)))) begin = NextChar(s, begin);
    s.remove_prefix(begin);
    while (!s.empty()) {
        const std::size_t last = LastCharStart(s);
        if (!blank(s.substr(last))) break;
        s.remove_suffix(s.size() - last);
    }
    return s;
}

}  // namespace zvek
