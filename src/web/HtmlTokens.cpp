// The tokenizer: reading a page in each of its code sets, character by
// character where it must and in plain runs where it can.
#include "web/HtmlTokens.h"

#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "text/Sjis.h"

namespace zvek {

namespace {

constexpr unsigned char kEsc = 0x1B;

}  // namespace

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

namespace {

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
    const __m128i leadEven =
        _mm_slli_epi16(_mm_cmpeq_epi8(_mm_and_si128(sum, _mm_set1_epi16(1)), _mm_setzero_si128()), 8);
    const __m128i below = _mm_cmpeq_epi8(_mm_min_epu8(sum, _mm_set1_epi8(static_cast<char>(0xDD))), sum);
    const __m128i drop = _mm_and_si128(_mm_sub_epi8(_mm_set1_epi8(0x5E), below), leadEven);
    const __m128i trail = _mm_and_si128(_mm_sub_epi8(sum, drop), _mm_set1_epi16(static_cast<short>(0xFF00)));
    const __m128i lead =
        _mm_xor_si128(_mm_and_si128(_mm_srli_epi16(sum, 1), _mm_set1_epi16(0x7F)), _mm_set1_epi16(0xE0));
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

}  // namespace

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

// The code sets a page is read as; csUtf8 pages are converted first and
// read as Shift_JIS.
template std::string_view TokenReader::Read<csShiftJis>();
template std::string_view TokenReader::Read<csEucJp>();
template std::string_view TokenReader::Read<csJis>();
template std::string_view TokenReader::Read<csUnknown>();

}  // namespace zvek
