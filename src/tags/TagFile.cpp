#include "tags/TagFile.h"

#include <cstdio>
#include <limits>

#include "lyrics/LyricsLines.h"
#include "tags/Crc32.h"
#include "tags/Fingerprint.h"
#include "text/Sjis.h"

namespace zvek {

namespace {

// Membership in the writer's character sets by character code, built once.
class CharClasses {
public:
    CharClasses() : literal_(65536, false), closing_(65536, false) {
        Mark(literal_, LiteralChars);
        Mark(closing_, ClosingChars);
        // Control bytes stay literal too: an entry never starts with a
        // character that the reader's field splitting would drop.
        for (unsigned c = 0; c < 0x20; ++c) literal_[c] = true;
        literal_[0x7F] = true;
    }
    bool IsLiteral(std::string_view c) const { return literal_[FirstCharCode(c)]; }
    bool IsClosing(std::string_view c) const { return closing_[FirstCharCode(c)]; }

private:
    static void Mark(std::vector<bool>& set, std::string_view chars) {
        for (std::size_t i = 0; i < chars.size(); i = NextChar(chars, i))
            set[FirstCharCode(chars.substr(i, CharSize(chars, i)))] = true;
    }
    std::vector<bool> literal_, closing_;
};

const CharClasses& Classes() {
    static const CharClasses classes;
    return classes;
}

bool IsFieldBlank(char c) { return c != '\0' && static_cast<unsigned char>(c) <= 0x20; }

// A decimal integer with an optional sign that fits 32 bits, else 0.
std::int32_t ReadInt32(std::string_view s) {
    const bool negative = !s.empty() && s[0] == '-';
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) s.remove_prefix(1);
    if (s.empty()) return 0;
    std::int64_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{1} << 31) return 0;
    }
    value = negative ? -value : value;
    return value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max()
               ? static_cast<std::int32_t>(value)
               : 0;
}

// "0x" and one to eight hexadecimal digits, or a decimal number up to
// 0xFFFFFFFF; anything else is 0.
std::uint32_t ReadCheckValue(std::string_view s) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        const std::string_view digits = s.substr(2);
        if (digits.size() > 8) return 0;
        std::uint32_t value = 0;
        for (char c : digits) {
            unsigned d;
            if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
            else return 0;
            value = value * 16 + d;
        }
        return value;
    }
    if (s.empty()) return 0;
    std::uint64_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > std::numeric_limits<std::uint32_t>::max()) return 0;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::string FormatTagEntry(std::int64_t position, std::size_t length, std::string_view firstChar, std::uint32_t crc) {
    char numbers[64];
    std::string entry(1, '<');
    std::snprintf(numbers, sizeof numbers, "%lld,%zu,", static_cast<long long>(position), length);
    entry += numbers;
    entry += firstChar;
    std::snprintf(numbers, sizeof numbers, ",0x%X>", static_cast<unsigned>(crc));
    entry += numbers;
    return entry;
}

std::string EncodeWords(std::string_view words, const Haystack& page, std::size_t* unfound) {
    const CharClasses& classes = Classes();
    std::string out;
    out.reserve(words.size() * 2);
    std::size_t i = 0;
    while (i < words.size()) {
        const std::size_t width = CharSize(words, i);
        const std::string_view first = words.substr(i, width);
        if (classes.IsLiteral(first)) {
            out += first;
            i += width;
            continue;
        }
        if (first == "<") {
            out += "<>";
            ++i;
            continue;
        }
        // A run: characters of one width up to a literal or "<", or up to
        // and including a closing character.
        std::size_t end = i + width;
        if (!classes.IsClosing(first)) {
            while (end < words.size()) {
                const std::size_t size = CharSize(words, end);
                const std::string_view c = words.substr(end, size);
                if (size != width || c == "<" || classes.IsLiteral(c)) break;
                end += size;
                if (classes.IsClosing(c)) break;
            }
        }
        const bool single = end - i == width;
        if (!single) {
            const Haystack::Prefix found = page.FindLongestPrefix(words.substr(i, end - i));
            if (found.position > 0) {
                out +=
                    FormatTagEntry(found.position, found.length, first, CalcCrc32(0, words.data() + i, found.length));
                i += found.length;
                continue;
            }
        }
        // A lone character is never an entry (it would show no less than an
        // entry's first character does); it counts only when it is not in
        // the page at all.
        if (unfound && (!single || !page.HoldsChar(first))) ++*unfound;
        out += first;
        i += width;
    }
    return out;
}

void ReadCommaText(std::string_view text, std::vector<std::string>& fields) {
    std::size_t count = 0;
    auto next = [&]() -> std::string& {
        if (count == fields.size()) fields.emplace_back();
        std::string& field = fields[count++];
        field.clear();
        return field;
    };
    // A NUL byte ends the text, as in any C string.
    if (const auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
    std::size_t i = 0;
    while (i < text.size() && IsFieldBlank(text[i])) ++i;
    while (i < text.size()) {
        std::string& field = next();
        if (text[i] == '"') {
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                const std::size_t n = CharSize(text, i);
                field.append(text, i, n);
                i += n;
            }
        } else {
            const std::size_t start = i;
            while (i < text.size() && !IsFieldBlank(text[i]) && text[i] != ',') i = NextChar(text, i);
            field.assign(text, start, i - start);
        }
        while (i < text.size() && IsFieldBlank(text[i])) ++i;
        if (i < text.size() && text[i] == ',') {
            if (i + 1 == text.size()) next();
            ++i;
            while (i < text.size() && IsFieldBlank(text[i])) ++i;
        }
    }
    fields.resize(count);
}

bool ReadTagEntry(std::string_view inner, TagEntry& entry, std::vector<std::string>& fields) {
    ReadCommaText(inner, fields);
    if (fields.size() == 1) fields.emplace_back("0");
    while (fields.size() < 4) fields.emplace_back();
    entry.position = ReadInt32(fields[0]);
    entry.length = ReadInt32(fields[1]);
    entry.firstChar = fields[2];
    entry.crc = ReadCheckValue(fields[3]);
    return entry.position != 0 && entry.length >= 1;
}

bool DecodeTagLine(std::string_view line, FragmentSource& source, std::string& out) {
    bool resolved = true;
    TagEntry entry;
    std::vector<std::string> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] != '<') {
            const std::size_t n = CharSize(line, i);
            out.append(line, i, n);
            i += n;
            continue;
        }
        const std::size_t close = line.find('>', i + 1);
        if (close == std::string_view::npos) {
            out.append(line, i);
            break;
        }
        const std::string_view inner = line.substr(i + 1, close - i - 1);
        i = close + 1;
        if (inner.empty()) {
            out += '<';
        } else if (!ReadTagEntry(inner, entry, fields)) {
            out += inner;
        } else if (const std::string_view fragment = source.Resolve(entry); !fragment.empty()) {
            out += fragment;
        } else {
            out.append(line, i - inner.size() - 2, inner.size() + 2);
            resolved = false;
        }
    }
    return resolved;
}

}  // namespace zvek
