// Shift-JIS (code page 932) byte-string helpers, and text as lines.
//
// Every text inside the core is Shift-JIS bytes in std::string. A lead byte
// (0x81-0x9F, 0xE0-0xFC) and the byte after it form one character, and no
// operation here ever splits such a pair: searches match only where a
// character begins, and case folding touches only the single-byte letters
// A-Z (a trail byte may well be 0x41-0x5A or equal "[", "=", "]").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zvek {

constexpr bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Size in bytes of the character that starts at `pos` (1 or 2). A lead byte
// that is the very last byte of the text stands alone and counts as 1.
inline std::size_t CharSize(std::string_view s, std::size_t pos) {
    return (IsLeadByte(static_cast<unsigned char>(s[pos])) && pos + 1 < s.size()) ? 2 : 1;
}

// Position of the character after the one at `pos`.
inline std::size_t NextChar(std::string_view s, std::size_t pos) { return pos + CharSize(s, pos); }

// Start of the last character of `s` (npos for an empty text).
std::size_t LastCharStart(std::string_view s);

// Character-boundary searches; they return npos when there is no match.
std::size_t FindChar(std::string_view s, char c, std::size_t from = 0);
std::size_t FindText(std::string_view s, std::string_view needle, std::size_t from = 0);
inline bool ContainsText(std::string_view s, std::string_view needle) {
    return FindText(s, needle) != std::string_view::npos;
}

// The first character of `s` equals the (one- or two-byte) character `c`.
bool StartsWithChar(std::string_view s, std::string_view c);
// The last character of `s` equals `c`.
bool EndsWithChar(std::string_view s, std::string_view c);

// Lower-cases the single-byte letters A-Z; trail bytes are left alone.
std::string LowerAscii(std::string_view s);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Trimming, one family for the whole program. Single bytes at the ends are
// always whole characters: no trail byte is below 0x40.
//
// Removes bytes 0x00-0x20 at both ends (the full-width space stays). Inline:
// the HTML reader trims every token, and most have nothing to trim.
inline std::string_view Trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
    return s;
}
// Removes the single-byte characters of `set` at both ends.
inline std::string_view TrimChars(std::string_view s, std::string_view set) {
    const std::size_t begin = s.find_first_not_of(set);
    if (begin == std::string_view::npos) return {};
    return s.substr(begin, s.find_last_not_of(set) + 1 - begin);
}
// Trim that also removes full-width spaces (what a lyrics line counts as blank).
std::string_view TrimBlankChars(std::string_view s);

// Text as lines: CR LF, LF and lone CR end a line, and a final line break
// adds no empty line; joining puts CR LF after every line, as the program
// writes text.
std::vector<std::string> SplitLines(std::string_view text);
// Calls `line` with each line SplitLines would give, without copying them.
template <class F>
void ForEachLine(std::string_view text, F&& line) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') continue;
        line(text.substr(start, i - start));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) line(text.substr(start));
}
std::string JoinLines(const std::vector<std::string>& lines);

// The full-width space 0x81 0x40.
inline constexpr std::string_view kFullWidthSpace{"\x81\x40", 2};

}  // namespace zvek
