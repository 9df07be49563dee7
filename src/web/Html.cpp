#include "web/Html.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <memory>
#include <span>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "text/Sjis.h"
#include "text/Codec.h"
#include "platform/Files.h"
#include "web/Code.h"

namespace zvek {
namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr std::string_view kUtf8Bom{"\xEF\xBB\xBF", 3};

// Cuts a page into tokens. The reader looks ahead up to three bytes and puts
// back what it does not use; with the whole page in memory, putting back is
// just moving the position back.
//
// Each token is decoded to the start of `out`, which holds as many bytes as
// the page: no character ever takes more bytes in Shift_JIS than it took in
// the page (a CR LF becomes one space, escapes vanish). For the same reason
// `out` may be the page itself when that is Shift_JIS: decoding never
// overtakes reading, and what is put back has not been overwritten. (EUC-JP
// is decoded in blocks that write a little ahead.) Starting every token afresh touches only
// as much of `out` as the longest token needs: on a fresh page of memory
// the first touch is the dear part.
class TokenReader {
public:
    TokenReader(std::string_view page, HtmlCharset charset, char* out)
        : data_(reinterpret_cast<const unsigned char*>(page.data())),
          size_(page.size()),
          charset_(charset),
          outStart_(out),
          out_(out) {}

    bool AtEnd() const { return pos_ >= size_; }
    // The code set in force; while detecting, the byte patterns may settle it.
    HtmlCharset Charset() const { return charset_; }

    // The next token, valid until the next Read. It is empty only at the
    // end of the page. `CS` is the code set the reader was made with.
    template <HtmlCharset CS>
    std::string_view Read();

private:
    // The next character as a Shift_JIS code, or false at the end of the page.
    // `charStart_` is left at its first byte, so it can be put back.
    template <HtmlCharset CS>
    bool NextChar(CharCode& code);
    // Copies the characters ahead that need no decision (no "<", ">", line
    // end, escape, or "-" inside a comment) and stops before the first that
    // does, or earlier; the character-by-character path handles the rest.
    template <HtmlCharset CS>
    void CopyPlain(bool inComment);
    // Reads the common tokens, text and tags outside comments, testing the
    // few bytes that matter in place. Returns false, with the token so far
    // and its tag depth, where the character-by-character path takes over.
    template <HtmlCharset CS>
    bool ReadSimple(const char* start, int& tagDepth);
    // After an ESC: switches the two-byte mode and returns false, or, for a
    // sequence cut off by the end of the page, returns its bytes as `code`.
    bool Escape(CharCode& code);
    // Code set not known yet: classifies the byte `c` just read.
    bool Classify(unsigned c, CharCode& code);

    // The bytes ahead are "!--" (after a "<") or "->" (after a "-").
    bool FollowsOpener() const {
        return size_ - pos_ >= 3 && data_[pos_] == '!' && data_[pos_ + 1] == '-' && data_[pos_ + 2] == '-';
    }
    bool FollowsCloser() const { return size_ - pos_ >= 2 && data_[pos_] == '-' && data_[pos_ + 1] == '>'; }
    CharCode Pair(unsigned c) { return static_cast<CharCode>((c << 8) | data_[pos_++]); }
    void Put(CharCode code) {
        if (code >> 8) *out_++ = static_cast<char>(code >> 8);
        *out_++ = static_cast<char>(code);
    }
    void Put(std::string_view s) {
        std::memcpy(out_, s.data(), s.size());
        out_ += s.size();
    }

    const unsigned char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::size_t charStart_ = 0;
    HtmlCharset charset_;
    bool twoByte_ = false;  // ISO-2022-JP: inside a JIS X 0208 run
    char* const outStart_;
    char* out_;
};

bool TokenReader::Escape(CharCode& code) {
    if (pos_ >= size_) {
        code = kEsc;
        return true;
    }
    const unsigned char intro = data_[pos_++];
    if (intro != '$' && intro != '&' && intro != '(') return false;  // consumed, no effect
    if (pos_ >= size_) {
        code = static_cast<CharCode>((kEsc << 8) | intro);
        return true;
    }
    const unsigned char final = data_[pos_++];
    if (intro == '$' && (final == '@' || final == 'B' || final == 'D')) twoByte_ = true;
    if (intro == '&' && final == '@') twoByte_ = true;
    if (intro == '(' && (final == 'J' || final == 'B' || final == 'I')) twoByte_ = false;
    return false;
}

bool TokenReader::Classify(unsigned c, CharCode& code) {
    // A byte that only one code set allows settles it; the caller reads the
    // byte again under that code set.
    if ((c >= 0x81 && c <= 0x9F && c != 0x8E && c != 0x8F) || c == 0xFD || c == 0xFE || c == kEsc) {
        charset_ = c == kEsc ? csJis : (c >= 0xFD ? csEucJp : csShiftJis);
        pos_ = charStart_;
        return false;
    }
    // Anything else reads as EUC-JP for now.
    code = static_cast<CharCode>(c);
    if (c < 0x80 || pos_ >= size_) return true;
    const unsigned d = data_[pos_];
    if (c == 0x8E || c == 0x8F || (c >= 0xE0 && c <= 0xFC)) {
        ++pos_;
        if (d < 0xA1) {
            charset_ = csShiftJis;
            code = static_cast<CharCode>((c << 8) | d);
            return true;
        }
    } else {
        // 0x80, 0xA0-0xDF, 0xFF: a low second byte means a Shift_JIS
        // half-width katakana (or a stray byte) standing alone.
        if (d < 0xA1) {
            charset_ = csShiftJis;
            return true;
        }
        ++pos_;
    }
    if (d == 0xFD || d == 0xFE) charset_ = csEucJp;
    code = EucToSjis(static_cast<CharCode>((c << 8) | d));
    return true;
}

template <HtmlCharset CS>
bool TokenReader::NextChar(CharCode& code) {
    for (;;) {
        charStart_ = pos_;
        if (pos_ >= size_) return false;
        const unsigned c = data_[pos_++];
        // A pair cut off by the end of the page keeps its first byte alone.
        const bool last = pos_ >= size_;
        switch (CS == csUnknown ? charset_ : CS) {
        case csShiftJis:
            code = IsLeadByte(static_cast<unsigned char>(c)) && !last ? Pair(c) : static_cast<CharCode>(c);
            return true;
        case csEucJp:
            code = c >= 0x80 && !last ? EucToSjis(Pair(c)) : static_cast<CharCode>(c);
            return true;
        case csJis:
            if (c == kEsc) {
                if (Escape(code)) return true;
                continue;
            }
            code = twoByte_ && !last ? JisToSjis(Pair(c)) : static_cast<CharCode>(c);
            return true;
        default:
            if (Classify(c, code)) return true;
        }
    }
}

#if defined(__SSE2__)
// Converts the EUC-JP pairs among the 16 bytes at `p` to Shift_JIS at `o`
// with the arithmetic of EucToSjis, up to the first byte outside 0xA1..0xFE
// (JIS X 0208) or, while the code set is not known yet (`unknown`), the
// first 0xFD or 0xFE, which would settle it. Returns the bytes converted (an
// even count); the 16 bytes at `o` are written in any case, those past the
// count with rubbish that the caller writes over. So `o` must not be the
// page: its unread bytes would be lost.
inline std::size_t EucToSjis16(const unsigned char* p, char* o, bool unknown) {
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i signedIn = _mm_xor_si128(in, _mm_set1_epi8(static_cast<char>(0x80)));
    int fit = _mm_movemask_epi8(_mm_cmpgt_epi8(signedIn, _mm_set1_epi8(0xA0 - 0x80)));
    if (unknown) {
        const __m128i evidence = _mm_or_si128(_mm_cmpeq_epi8(in, _mm_set1_epi8(static_cast<char>(0xFD))),
                                              _mm_cmpeq_epi8(in, _mm_set1_epi8(static_cast<char>(0xFE))));
        fit &= ~_mm_movemask_epi8(evidence);
    }
    // Whole pairs from the start that fit.
    const std::size_t count = static_cast<std::size_t>(std::countr_one(static_cast<unsigned>(fit))) & ~std::size_t{1};
    if (count == 0) return 0;
    // Each 16-bit lane holds a pair: lead in its low byte, trail in its high.
    // JIS is both bytes AND 0x7F; the sum with 0xA17E never carries from the
    // trail, so lead + 0xA1 and trail + 0x7E can be added bytewise.
    const __m128i sum = _mm_add_epi8(_mm_and_si128(in, _mm_set1_epi8(0x7F)), _mm_set1_epi16(0x7EA1));
    // Where the lead's sum is even, the trail drops by 0x5E, and by one more below 0xDE.
    const __m128i leadEven = _mm_slli_epi16(_mm_cmpeq_epi8(_mm_and_si128(sum, _mm_set1_epi16(1)), _mm_setzero_si128()), 8);
    const __m128i below = _mm_cmpeq_epi8(_mm_min_epu8(sum, _mm_set1_epi8(static_cast<char>(0xDD))), sum);
    const __m128i drop = _mm_and_si128(_mm_sub_epi8(_mm_set1_epi8(0x5E), below), leadEven);
    const __m128i trail = _mm_and_si128(_mm_sub_epi8(sum, drop), _mm_set1_epi16(static_cast<short>(0xFF00)));
    const __m128i lead = _mm_xor_si128(_mm_and_si128(_mm_srli_epi16(sum, 1), _mm_set1_epi16(0x7F)), _mm_set1_epi16(0xE0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_or_si128(lead, trail));
    return count;
}
#endif

// Bytes below 0x80 that stop a plain run, outside and inside a comment.
struct StopBytes {
    bool text[0x80] = {};
    bool comment[0x80] = {};
    constexpr StopBytes() {
        for (const char c : {'<', '>', '\r', '\n', '\x1b'}) text[static_cast<unsigned char>(c)] = true;
        for (const char c : {'<', '-', '\r', '\n', '\x1b'}) comment[static_cast<unsigned char>(c)] = true;
    }
};
constexpr StopBytes kStopBytes;

template <HtmlCharset CS>
void TokenReader::CopyPlain(bool inComment) {
    // Once the bytes have settled the code set, detection goes on slowly:
    // it stops after this token anyway.
    if (CS == csUnknown && charset_ != csUnknown) return;
    const bool* const stop = inComment ? kStopBytes.comment : kStopBytes.text;
    const unsigned char* p = data_ + pos_;
    const unsigned char* const end = data_ + size_;
    char* o = out_;
    while (p < end) {
        const unsigned c = *p;
        if (CS == csJis && twoByte_) {
            // Every byte pairs, but a pair led by NUL converts to a single byte.
            if (c == kEsc || c == 0 || end - p < 2) break;
            const CharCode code = JisToSjis(static_cast<CharCode>((c << 8) | p[1]));
            o[0] = static_cast<char>(code >> 8);
            o[1] = static_cast<char>(code);
            o += 2;
            p += 2;
        } else if (c < 0x80) {
            if (stop[c]) break;
            *o++ = static_cast<char>(c);
            ++p;
        } else if (CS == csShiftJis) {
            if (!IsLeadByte(static_cast<unsigned char>(c))) {
                *o++ = static_cast<char>(c);
                ++p;
                continue;
            }
            if (end - p < 2) break;
            o[0] = static_cast<char>(c);
            o[1] = static_cast<char>(p[1]);
            o += 2;
            p += 2;
        } else if (CS == csEucJp || CS == csUnknown) {
#if defined(__SSE2__)
            // Japanese text comes in runs of pairs: up to eight at a time.
            if (end - p >= 16) {
                std::size_t n = EucToSjis16(p, o, CS == csUnknown);
                if (n > 0) {
                    for (;;) {
                        p += n;
                        o += n;
                        if (n < 16 || end - p < 16) break;
                        n = EucToSjis16(p, o, CS == csUnknown);
                        if (n == 0) break;
                    }
                    continue;
                }
            }
#endif
            if (end - p < 2) break;
            // Not known yet: only pairs that settle nothing (read as EUC-JP
            // for now) are plain; the others are classified one by one.
            if (CS == csUnknown && ((c <= 0x9F && c != 0x80 && c != 0x8E && c != 0x8F) || c == 0xFD || c == 0xFE ||
                                    p[1] < 0xA1 || p[1] == 0xFD || p[1] == 0xFE))
                break;
            const CharCode code = EucToSjis(static_cast<CharCode>((c << 8) | p[1]));
            if ((code >> 8) == 0) break;  // may have become "<" or a line end
            o[0] = static_cast<char>(code >> 8);
            o[1] = static_cast<char>(code);
            o += 2;
            p += 2;
        } else {
            *o++ = static_cast<char>(c);  // ISO-2022-JP, one-byte mode
            ++p;
        }
    }
    pos_ = static_cast<std::size_t>(p - data_);
    out_ = o;
}

template <HtmlCharset CS>
bool TokenReader::ReadSimple(const char* start, int& tagDepth) {
    if (pos_ < size_ && data_[pos_] == '<') {
        if (size_ - pos_ >= 4 && data_[pos_ + 1] == '!' && data_[pos_ + 2] == '-' && data_[pos_ + 3] == '-')
            return false;  // a comment
        *out_++ = '<';
        ++pos_;
        tagDepth = 1;
    }
    for (;;) {
        CopyPlain<CS>(false);
        if (pos_ >= size_) return true;
        switch (data_[pos_]) {
        case '<':
            return out_ != start;  // put back: it starts the next token
        case '>':
            *out_++ = '>';
            ++pos_;
            if (--tagDepth == 0) return true;
            break;
        case '\r':
            *out_++ = ' ';
            if (++pos_ < size_ && data_[pos_] == '\n') ++pos_;
            break;
        case '\n':
            *out_++ = ' ';
            ++pos_;
            break;
        default:
            return false;  // an escape, or a byte that decodes to something special
        }
    }
}

template <HtmlCharset CS>
std::string_view TokenReader::Read() {
    char* const start = out_ = outStart_;
    twoByte_ = false;
    int tagDepth = 0;
    int commentDepth = 0;
    if (ReadSimple<CS>(start, tagDepth)) return {start, static_cast<std::size_t>(out_ - start)};
    CharCode code;
    for (;;) {
        CopyPlain<CS>(commentDepth > 0);
        if (!NextChar<CS>(code)) break;
        if (code == '\r') {
            if (pos_ < size_ && data_[pos_] == '\n') ++pos_;
            code = ' ';
        } else if (code == '\n') {
            code = ' ';
        }

        if (commentDepth == 0) {
            if (code == '<') {
                if (out_ != start) {
                    // A stray "<" ends text, or cuts a tag short; it starts the
                    // next token. One that came from a pair decodes the same
                    // again, except in ISO-2022-JP, where the next token starts
                    // in one-byte mode: there it is the pair's second byte.
                    const bool jisPair = (CS == csUnknown ? charset_ : CS) == csJis && pos_ - charStart_ == 2;
                    pos_ = jisPair ? pos_ - 1 : charStart_;
                    break;
                }
                tagDepth = 1;
                if (FollowsOpener()) {
                    pos_ += 3;
                    Put("<!--");
                    commentDepth = 1;
                    continue;
                }
            }
        } else if (code == '<' && FollowsOpener()) {
            pos_ += 3;
            Put("<!--");
            ++commentDepth;
            continue;
        } else if (code == '-' && FollowsCloser()) {
            pos_ += 2;
            Put("-->");
            if (--commentDepth == 0 && --tagDepth == 0) break;
            continue;
        }

        Put(code);
        // Outside a tag the depth just goes below 0: a ">" in text means nothing.
        if (commentDepth == 0 && code == '>' && --tagDepth == 0) break;
    }
    return {start, static_cast<std::size_t>(out_ - start)};
}

template <HtmlCharset CS, class Sink>
void ReadAll(TokenReader& reader, Sink& sink) {
    while (!reader.AtEnd()) sink(reader.Read<CS>());
}

// Feeds every token of `page`, read as `charset`, to `sink`, each decoded
// into `out` (room for the page; the page itself only when it is Shift_JIS).
template <class Sink>
void ForEachToken(std::string_view page, HtmlCharset charset, char* out, Sink& sink) {
    TokenReader reader(page, charset, out);
    switch (charset) {
    case csShiftJis: return ReadAll<csShiftJis>(reader, sink);
    case csEucJp: return ReadAll<csEucJp>(reader, sink);
    case csJis: return ReadAll<csJis>(reader, sink);
    default: return ReadAll<csUnknown>(reader, sink);
    }
}

// Lower-cases the single-byte letters of `s` into `out` (reused between tokens).
void LowerInto(std::string& out, std::string_view s) {
    out.assign(s);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char c = out[i];
        if (IsLeadByte(static_cast<unsigned char>(c))) {
            ++i;  // the trail byte is never a letter of its own
        } else if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c + ('a' - 'A'));
        }
    }
}

// Trim, for the many tokens that have nothing to trim without the call.
std::string_view TrimBlanks(std::string_view s) {
    if (!s.empty() && static_cast<unsigned char>(s.front()) > 0x20 && static_cast<unsigned char>(s.back()) > 0x20)
        return s;
    return Trim(s);
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// The tag tests compare a token, lower-cased, with ASCII words. The first
// eight bytes of either make one number, so most tests are a comparison of
// two numbers.
constexpr std::uint64_t Key(std::string_view s) {
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < s.size() && i < 8; ++i) key |= std::uint64_t{static_cast<unsigned char>(s[i])} << (8 * i);
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
std::uint64_t LowerKey(std::string_view s) {
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
HtmlCharset DeclaredCharset(std::string_view token, Markup& markup) {
    if (token.empty() || token.front() != '<') return csUnknown;
    markup.Set(token);
    if (!markup.Contains("<meta")) return csUnknown;
    const std::string_view low = markup.Low();
    const std::size_t at = FindText(low, "charset");
    if (at == std::string::npos) return csUnknown;
    const std::string_view value = low.substr(at + 7);
    if (ContainsText(value, "shift_jis") || ContainsText(value, "x-sjis")) return csShiftJis;
    if (ContainsText(value, "euc-jp")) return csEucJp;
    if (ContainsText(value, "iso-2022-jp")) return csJis;
    // "utf8" is a label browsers accept for UTF-8 as well.
    if (ContainsText(value, "utf-8") || ContainsText(value, "utf8")) return csUtf8;
    return csUnknown;
}

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
        const std::string_view token = TrimBlanks(raw);
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
    void operator()(std::string_view raw) {
        const std::string_view token = TrimBlanks(raw);
        count_ += token.size();
        bool breakAfter = false;
        bool breakBefore = false;
        if (!token.empty() && token.front() == '<') {
            markup_.Set(token);
            static constexpr Word kLineEnds[] = {"<html>", "</html>", "<head>", "</head>", "</body>", "<br>",
                                                 "<hr>", "<tr>", "</tr>", "</th>", "</td>", "</p>", "</title>",
                                                 "</div>", "</h1>", "</h2>", "</h3>", "</h4>", "</h5>", "</h6>",
                                                 "</table>"};
            breakAfter = markup_.IsAnyOf(kLineEnds) ||
                         markup_.StartsWith("<body") || markup_.StartsWith("<meta") ||
                         markup_.StartsWith("<table") || (markup_.StartsWith("</") && count_ >= 60);
            breakBefore = markup_.StartsWith("<table") || markup_.Is("<li>");
        }
        // Long runs of text or attributes break too; the count includes the
        // token that crosses the limit.
        if (count_ >= 90) breakAfter = true;
        if (breakAfter) count_ = 0;

        if (breakBefore) EndLine();
        std::size_t from = 0;
        for (std::size_t i = 0; i < token.size(); ++i) {
            const char c = token[i];
            if (c != '\t' && c != '\r' && c != '\n') continue;
            line_.append(token, from, i - from);
            from = i + 1;
            if (c == '\t') line_ += "    ";
            if (c == '\n') EndLine();
        }
        line_.append(token, from);
        if (breakAfter) EndLine();
    }

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

// Feeds the tokens of a UTF-8 page, in Shift_JIS, to `sink`. Converted as a
// whole, the page tokenizes as Shift_JIS: no trail byte of Shift_JIS is ever
// "<", ">", "-", "!" or a line end.
template <class Sink>
void LoadUtf8Page(std::string_view page, std::size_t& replaced, Sink& sink) {
    std::string sjis = Utf8ToSjis(StripUtf8Bom(page), false, &replaced);
    ForEachToken(sjis, csShiftJis, sjis.data(), sink);
}

// Feeds the tokens of `page`, read as `charset` (as DetectCharsetOf gives
// it), in Shift_JIS, to `sink`. The page stays as it is.
template <class Sink>
void LoadPageAs(std::string_view page, HtmlCharset charset, std::size_t& replaced, Sink& sink) {
    replaced = 0;
    if (charset == csUtf8) {
        LoadUtf8Page(page, replaced, sink);
    } else {
        // Tokens are decoded elsewhere; of that room, only as much as the
        // longest token is ever touched.
        const std::unique_ptr<char[]> out(new char[page.size() + 1]);
        ForEachToken(page, charset, out.get(), sink);
    }
}

// Finds the code set of `page`, then feeds its tokens, in Shift_JIS, to `sink`.
template <class Sink>
HtmlCharset LoadPage(std::string_view page, std::size_t& replaced, Sink& sink) {
    const HtmlCharset charset = hlvHtml::DetectCharsetOf(page);
    LoadPageAs(page, charset, replaced, sink);
    return charset;
}

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

std::size_t CountByte(std::string_view s, char c) {
    std::size_t count = 0, i = 0;
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(c);
    for (; s.size() - i >= 16; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
        count += static_cast<std::size_t>(std::popcount(
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, wanted)))));
    }
#endif
    for (; i < s.size(); ++i) count += s[i] == c;
    return count;
}

// Replaces `tokens` with the tokens of `page`.
HtmlCharset LoadTokenList(std::string_view page, TokenList& tokens, std::size_t& replaced) {
    tokens.clear();
    // Every token but the text between two tags starts with a "<": twice
    // their count is room enough, and the list never moves while it grows.
    tokens.reserve(2 * CountByte(page, '<') + 2);
    auto append = [&tokens](std::string_view token) { tokens.emplace_back(token); };
    return LoadPage(page, replaced, append);
}

// The whole file at `path`; false when there is no such file.
bool ReadPage(const std::string& path, std::string& page) {
    if (!FileExists(path)) return false;
    page = ReadFileBytes(path);
    return true;
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
    WriteFileAtomic(path, JoinLines(lines));
}

}  // namespace

HtmlCharset hlvHtml::DetectCharsetOf(std::string_view bytes) {
    if (StartsWith(bytes, kUtf8Bom)) return csUtf8;
    // Detecting must leave the page as it is, so the tokens go elsewhere;
    // only as much of that room as the tokens read is ever touched.
    const std::unique_ptr<char[]> scratch(new char[bytes.size() + 1]);
    TokenReader reader(bytes, csUnknown, scratch.get());
    Markup markup;
    while (!reader.AtEnd()) {
        const std::string_view token = reader.Read<csUnknown>();
        // An empty token still may have settled the code set: a page that
        // ends in an ISO-2022-JP escape.
        if (token.empty()) break;
        // A declaration outweighs what the bytes of its own tag suggested.
        const HtmlCharset declared = DeclaredCharset(token, markup);
        if (declared != csUnknown) return declared;
        if (reader.Charset() != csUnknown) break;
    }
    // Plain ASCII reads the same in EUC-JP.
    return reader.Charset() != csUnknown ? reader.Charset() : csEucJp;
}

void hlvHtml::LoadTokensFromBytes(std::string_view bytes, TokenList& tokens) {
    charset_ = LoadTokenList(bytes, tokens, replaced_);
}

void hlvHtml::LoadTokens(const std::string& path, TokenList& tokens) {
    std::string page;
    if (ReadPage(path, page)) {
        charset_ = LoadTokenList(page, tokens, replaced_);
    } else {
        tokens.clear();
        replaced_ = 0;
        charset_ = csEucJp;
    }
}

HtmlCharset hlvHtml::DetectCharset() {
    // Every load settles the code set; before the first there is no page,
    // and a missing page reads as EUC-JP.
    if (charset_ == csUnknown) charset_ = csEucJp;
    return charset_;
}

std::vector<std::string> hlvHtml::PageText(const TokenList& tokens) {
    PageTextWriter writer;
    for (const std::string& token : tokens) writer(token);
    return writer.FinishList();
}

std::vector<std::string> hlvHtml::SourceLines(const TokenList& tokens) {
    SourceWriter writer;
    for (const std::string& token : tokens) writer(token);
    return writer.Finish();
}

void hlvHtml::WriteText(const std::string& path, const TokenList& tokens) const {
    WriteLines(path, PageText(tokens));
}

void hlvHtml::WriteSource(const std::string& path, const TokenList& tokens) const {
    WriteLines(path, SourceLines(tokens));
}

std::vector<std::string> HtmlPageText(std::string_view bytes, std::size_t* replaced) {
    std::size_t count = 0;
    PageTextWriter writer;
    LoadPage(bytes, count, writer);
    if (replaced) *replaced = count;
    return writer.FinishList();
}

void ForEachPageTextLine(std::string_view bytes, const std::function<void(std::string_view)>& line,
                         std::size_t* replaced) {
    std::size_t count = 0;
    PageTextWriter<const std::function<void(std::string_view)>&> writer(line);
    LoadPage(bytes, count, writer);
    writer.Finish();
    if (replaced) *replaced = count;
}

HtmlPageLines ReadHtmlPage(std::string_view bytes, HtmlSourceFor sourceFor) {
    HtmlPageLines result;
    result.charset = hlvHtml::DetectCharsetOf(bytes);
    PageLinesWriter writer(sourceFor == HtmlSourceFor::AnyPage || result.charset != csShiftJis);
    LoadPageAs(bytes, result.charset, result.replaced, writer);
    writer.Finish(result);
    return result;
}

std::vector<std::string> LoadHtmlFile(const std::string& path, std::size_t* replaced) {
    // The page text straight from the reader: the editor needs no token list.
    std::string page;
    std::size_t count = 0;
    PageTextWriter writer;
    if (ReadPage(path, page)) LoadPage(page, count, writer);
    if (replaced) *replaced = count;
    return writer.FinishList();
}

}  // namespace zvek
