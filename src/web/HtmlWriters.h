// The text writers under hlvHtml: the tag tests, and the page text and the
// source built from tokens given one at a time.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/Sjis.h"
#include "web/Html.h"

namespace zvek {

// Lower-cases the single-byte letters of `s` into `out` (reused between tokens).
void LowerInto(std::string& out, std::string_view s);

// The tag tests compare a token, lower-cased, with ASCII words. The first
// eight bytes of either make one number, so most tests are a comparison of
// two numbers.
constexpr std::uint64_t Key(std::string_view s) {
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < s.size() && i < 8; ++i)
        key |= std::uint64_t{static_cast<unsigned char>(s[i])} << (8 * i);
    return key;
}

// Bytes as a number, the first byte lowest.
template <class T>
T Load(const unsigned char* bytes) {
    T value = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&value, bytes, sizeof value);
    } else {
        for (std::size_t i = 0; i < sizeof value; ++i) value |= static_cast<T>(T{bytes[i]} << (8 * i));
    }
    return value;
}

// The first eight bytes of `s` (fewer if it is shorter) as a number, the
// letters A-Z lowered. Lowering a trail byte here does no harm: a token with a
// double-byte character among the bytes compared matches no ASCII word anyway.
inline std::uint64_t LowerKey(std::string_view s) {
    const auto* b = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::uint64_t key = 0;
    if (n >= 8) {
        key = Load<std::uint64_t>(b);
    } else if (n >= 4) {
        // Two overlapping reads; the bytes they share are the same.
        key = Load<std::uint32_t>(b) | std::uint64_t{Load<std::uint32_t>(b + n - 4)} << (8 * (n - 4));
    } else if (n > 0) {
        key = b[0] | std::uint64_t{b[n / 2]} << (8 * (n / 2)) | std::uint64_t{b[n - 1]} << (8 * (n - 1));
    }
    // Set bit 5 of every byte in 'A'..'Z', eight at a time.
    constexpr std::uint64_t ones = 0x0101010101010101u;
    const std::uint64_t ascii = key & (0x7F * ones);
    const std::uint64_t atLeastA = ascii + (0x80 - 'A') * ones;
    const std::uint64_t aboveZ = ascii + (0x80 - 'Z' - 1) * ones;
    const std::uint64_t upper = (atLeastA ^ aboveZ) & ~key & (0x80 * ones);
    return key | upper >> 2;
}

// A lower-case ASCII word a tag is tested against, its number made once.
struct Word {
    consteval Word(const char* word)
        : text(word),
          key(Key(text)),
          mask(text.size() >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * text.size())) - 1) {}
    std::string_view text;
    std::uint64_t key;
    std::uint64_t mask;  // the bytes of the number the word fills
};

// A trimmed token that holds a "<", ready for the tag tests, which all work
// on its lower-cased form.
class Markup {
public:
    // `oneOpener`: the token's only "<" is its first byte. Nearly every tag
    // is like that, and then containing "<body" is beginning with it.
    void Set(std::string_view token, bool oneOpener) {
        token_ = token;
        key_ = LowerKey(token);
        oneOpener_ = oneOpener;
        lowered_ = false;
    }
    void Set(std::string_view token) {
        Set(token, token.front() == '<' && !std::memchr(token.data() + 1, '<', token.size() - 1));
    }
    bool Is(const Word& word) const {
        if (token_.size() != word.text.size()) return false;
        return word.text.size() <= 8 ? key_ == word.key : Low() == word.text;
    }
    bool IsAnyOf(std::span<const Word> words) const {
        for (const Word& word : words)
            if (Is(word)) return true;
        return false;
    }
    bool StartsWith(const Word& prefix) const {  // a prefix of at most eight bytes
        return token_.size() >= prefix.text.size() && (key_ & prefix.mask) == prefix.key;
    }
    // Inlined for the common case: a tag asked for a word it may begin with.
    [[gnu::always_inline]] bool Contains(const Word& needle) const {
        return oneOpener_ && needle.text.front() == '<' ? StartsWith(needle) : ContainsText(Low(), needle.text);
    }
    const std::string& Low() const {
        if (!lowered_) {
            LowerInto(low_, token_);
            lowered_ = true;
        }
        return low_;
    }

private:
    std::string_view token_;
    std::uint64_t key_ = 0;
    bool oneOpener_ = false;
    mutable bool lowered_ = false;
    mutable std::string low_;
};

// The code set a "<meta" tag declares, csUnknown for none.
HtmlCharset DeclaredCharset(std::string_view token, Markup& markup);

// Gives `text` to `lines` as lines the way a reader splits a file: at CR LF,
// lone CR and lone LF. Only a page's stray bytes ever put a line break inside
// a line.
template <class Lines>
void AddSplitLines(Lines& lines, std::string_view text) {
    if (!std::memchr(text.data(), '\r', text.size()) && !std::memchr(text.data(), '\n', text.size())) {
        lines(text);
        return;
    }
    for (;;) {
        std::size_t brk = 0;
        while (brk < text.size() && text[brk] != '\r' && text[brk] != '\n') ++brk;
        lines(text.substr(0, brk));
        if (brk == text.size()) return;
        const std::size_t skip = text[brk] == '\r' && brk + 1 < text.size() && text[brk + 1] == '\n' ? 2 : 1;
        text.remove_prefix(brk + skip);
    }
}

// Lines kept in a list.
struct LineList {
    void operator()(std::string_view line) { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

// Builds the page text from tokens given one at a time, and gives its lines
// to `Lines` (a LineList, or a function) as they are made.
template <class Lines = LineList>
class PageTextWriter {
public:
    PageTextWriter() = default;
    explicit PageTextWriter(Lines lines) : lines_(std::move(lines)) {}

    void operator()(std::string_view raw) {
        const std::string_view token = Trim(raw);
        if (token.empty()) return;
        // Every tag test needs a "<"; plain text skips them.
        const bool opener = token.front() == '<';
        const bool markup = opener || std::memchr(token.data(), '<', token.size());
        if (markup) {
            markup_.Set(token, opener && !std::memchr(token.data() + 1, '<', token.size() - 1));
            if (markup_.Is("</body>")) {
                inBody_ = false;
                return;
            }
            if (markup_.Contains("<body")) inBody_ = true;
        }
        if (!inBody_) return;

        if (markup && Tag()) return;
        if (opener) return;  // any other tag, or a comment

        if (pending_.empty()) pending_.assign(quoteDepth_, '\t');
        pending_ += token;
    }

    void Finish() {
        if (!pending_.empty()) EndLine();
    }
    std::vector<std::string> FinishList() {
        Finish();
        return std::move(lines_.lines);
    }

private:
    // The tags that shape the text; false for any other token.
    bool Tag() {
        static constexpr Word kLineEnds[] = {"<br>", "</p>", "</th>", "</tr>", "</ul>", "</ol>"};
        if (markup_.IsAnyOf(kLineEnds)) {
            EndLine();
            if (markup_.Is("</ol>")) listNumber_ = 0;
            return true;
        }
        if (markup_.Contains("<li")) {
            if (!pending_.empty()) EndLine();
            if (listNumber_ != 0) {
                pending_ = std::to_string(listNumber_++);
            } else if (markup_.Contains("circle")) {
                pending_ = "\x81\x9B";  // white circle
            } else if (markup_.Contains("square")) {
                pending_ = "\x81\xA1";  // black square
            } else {
                pending_ = "\x81\x45";  // middle dot
            }
            return true;
        }
        if (markup_.Contains("<ol")) {
            listNumber_ = 1;
            return true;
        }
        if (markup_.Is("<blockquote>")) {
            ++quoteDepth_;
            return true;
        }
        if (markup_.Is("</blockquote>")) {
            if (quoteDepth_ > 0) --quoteDepth_;
            return true;
        }
        return false;
    }

    void EndLine() {
        AddSplitLines(lines_, pending_);
        pending_.clear();
    }

    Lines lines_;
    std::string pending_;
    Markup markup_;
    bool inBody_ = false;
    unsigned long long listNumber_ = 0;  // 0: not inside an ordered list
    std::size_t quoteDepth_ = 0;
};

// Builds the source lines from tokens given one at a time.
class SourceWriter {
public:
    void operator()(std::string_view raw);

    std::vector<std::string> Finish() {
        if (!line_.empty()) EndLine();
        return std::move(lines_);
    }

private:
    void EndLine() {
        lines_.push_back(line_);
        line_.clear();
    }

    std::vector<std::string> lines_;
    std::string line_;
    Markup markup_;
    std::size_t count_ = 0;  // bytes since the last line break
};

// Feeds every token to both writers, so that one reading of the page gives
// its text and its source.
class PageLinesWriter {
public:
    explicit PageLinesWriter(bool source) : source_(source) {}
    void operator()(std::string_view token) {
        text_(token);
        if (source_) sourceWriter_(token);
    }
    void Finish(HtmlPageLines& page) {
        page.text = text_.FinishList();
        if (source_) page.source = sourceWriter_.Finish();
    }

private:
    bool source_;
    PageTextWriter<> text_;
    SourceWriter sourceWriter_;
};

}  // namespace zvek
