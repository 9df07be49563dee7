#include "text/Codec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "text/Cp932Table.h"
#include "text/Sjis.h"

namespace zvek {
namespace {

constexpr std::uint16_t kNoCode = 0xFFFF;  // no CP932 form (0xFF is never a lead byte)
constexpr char16_t kNoChar = 0;            // a pair is never decoded to U+0000
constexpr char16_t kKeepBytes = 0xFFFF;    // nor to U+FFFF
constexpr int kLeadRows = 31 + 29;         // 0x81-0x9F and 0xE0-0xFC

constexpr int LeadRow(unsigned char lead) { return lead < 0xA0 ? lead - 0x81 : lead - 0xE0 + 31; }

constexpr bool IsRawPua(char32_t c) { return c >= kRawBytePua && c <= kRawBytePua + 0xFF; }

// Everything the conversions need, filled once from the code page's table
// (Cp932Table) so that the hot loops are plain table look-ups.
struct Tables {
    // What a byte on its own becomes: its character, or U+F700 + byte when it
    // is not a character by itself (lead bytes included).
    char16_t single[256];
    // What a lead byte and trail byte become: a character that comes back as
    // the same two bytes; kKeepBytes for a character that does not (both
    // bytes then travel raw, so half a kanji never shows up as "@" or a
    // katakana); kNoChar when the pair is no character at all, and only the
    // lead byte is raw.
    char16_t pair[kLeadRows][256];
    // CP932 form of each BMP code point: a byte (< 0x100), lead << 8 | trail,
    // or kNoCode. U+F700..U+F7FF are always kNoCode: whether they carry a raw
    // byte is the caller's choice, made outside the table.
    std::uint16_t encode[0x10000];

    Tables();
};

// The code after `code` in the table's order: single bytes count up, and
// the double-byte codes of a lead byte run through the trail bytes
// 0x40-0x7E, 0x80-0xFC before the next lead byte.
constexpr unsigned NextCode(unsigned code) {
    if (code < 0x100) return code + 1;
    return (code & 0xFF) == 0x7E ? code + 2 : (code & 0xFF) == 0xFC ? code + 0x44 : code + 1;
}

Tables::Tables() {
    for (int b = 0; b < 256; ++b) single[b] = static_cast<char16_t>(kRawBytePua + b);
    std::memset(pair, 0, sizeof pair);
    std::fill(std::begin(encode), std::end(encode), kNoCode);

    // A character is written with the first code that reads as it.
    const auto add = [this](unsigned code, char16_t c) {
        if (code < 0x100) {
            single[code] = c;
        } else {
            pair[LeadRow(static_cast<unsigned char>(code >> 8))][code & 0xFF] = c;
        }
        if (encode[c] == kNoCode) encode[c] = static_cast<std::uint16_t>(code);
    };
    for (const cp932::Run& run : cp932::kRuns) {
        char16_t c = run.c;
        for (unsigned code = run.first; code <= run.last; code = NextCode(code)) add(code, c++);
    }
    for (const cp932::Row& row : cp932::kRows) {
        unsigned code = row.lead << 8 | 0x40;
        for (const char16_t* cell = row.cells; *cell; ++cell, code = NextCode(code))
            if (*cell != cp932::kNone) add(code, *cell);
    }
    for (const cp932::OneWay& oneWay : cp932::kOneWay) encode[oneWay.c] = oneWay.code;

    // A character read from a code it is not written with (a duplicate:
    // NEC row 13 vs JIS symbols, NEC-selected IBM extensions vs IBM
    // extensions) keeps the bytes, or saving would silently rewrite them.
    for (int b = 0; b < 256; ++b)
        if (!IsRawPua(single[b]) && encode[single[b]] != b) single[b] = static_cast<char16_t>(kRawBytePua + b);
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsLeadByte(static_cast<unsigned char>(lead))) continue;
        char16_t* cells = pair[LeadRow(static_cast<unsigned char>(lead))];
        for (int trail = 0; trail < 256; ++trail)
            if (cells[trail] != kNoChar && encode[cells[trail]] != (lead << 8 | trail)) cells[trail] = kKeepBytes;
    }
}

const Tables& GetTables() {
    static const Tables tables;
    return tables;
}

// ---- UTF-8 ----

constexpr char32_t kBadUtf8 = 0xFFFFFFFF;

// Reads one UTF-8 sequence at p (p < end) into *c and returns its length.
// An ill-formed sequence (stray continuation byte, truncated, overlong,
// surrogate, above U+10FFFF, or an old 5/6-byte form) yields kBadUtf8 and
// is consumed as far as its lead byte announced it, so it counts as one
// character, the way a user sees it.
inline std::size_t ReadUtf8(const unsigned char* p, const unsigned char* end, char32_t* c) {
    const unsigned char b = *p;
    if (b < 0x80) {
        *c = b;
        return 1;
    }
    std::size_t need;
    char32_t value;
    char32_t min;
    if (b < 0xC0) {
        *c = kBadUtf8;
        return 1;
    } else if (b < 0xE0) {
        need = 1, value = b & 0x1F, min = 0x80;
    } else if (b < 0xF0) {
        need = 2, value = b & 0x0F, min = 0x800;
    } else if (b < 0xF8) {
        need = 3, value = b & 0x07, min = 0x10000;
    } else if (b < 0xFC) {
        need = 4, value = 0, min = kBadUtf8;
    } else if (b < 0xFE) {
        need = 5, value = 0, min = kBadUtf8;
    } else {
        *c = kBadUtf8;
        return 1;
    }
    std::size_t len = 1;
    while (len <= need && p + len < end && (p[len] & 0xC0) == 0x80) {
        value = value << 6 | (p[len] & 0x3F);
        ++len;
    }
    const bool good = len == need + 1 && value >= min && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
    *c = good ? value : kBadUtf8;
    return len;
}

// Writes `c` at `out` and returns the end of its bytes.
inline char* PutUtf8(char* out, char32_t c) {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | c >> 6);
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | c >> 12);
        *out++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | c >> 18);
        *out++ = static_cast<char>(0x80 | (c >> 12 & 0x3F));
        *out++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// ---- Shift-JIS -> Unicode ----

// Calls put(char16_t) for each character of the text; bytes that are not a
// round-tripping character come out as U+F700 + byte.
template <typename Put>
inline void DecodeSjis(std::string_view sjis, Put put) {
    const Tables& t = GetTables();
    const auto* p = reinterpret_cast<const unsigned char*>(sjis.data());
    const auto* end = p + sjis.size();
    while (p < end) {
        const unsigned char b = *p;
        if (IsLeadByte(b) && p + 1 < end) {
            const char16_t c = t.pair[LeadRow(b)][p[1]];
            if (c != kNoChar) {
                if (c == kKeepBytes) {
                    put(static_cast<char16_t>(kRawBytePua + b));
                    put(static_cast<char16_t>(kRawBytePua + p[1]));
                } else {
                    put(c);
                }
                p += 2;
                continue;
            }
            // Only the lead byte is raw: the next byte may begin a character.
        }
        put(t.single[b]);
        ++p;
    }
}

// ---- Unicode -> Shift-JIS ----

// Writes the Shift-JIS form of a BMP code point (surrogates excluded).
inline char* PutSjis(char* out, const Tables& t, char16_t c, bool rawBytes, std::size_t& replaced) {
    const std::uint16_t code = t.encode[c];
    if (code < 0x100) {
        *out++ = static_cast<char>(code);
    } else if (code != kNoCode) {
        *out++ = static_cast<char>(code >> 8);
        *out++ = static_cast<char>(code & 0xFF);
    } else if (rawBytes && IsRawPua(c)) {
        *out++ = static_cast<char>(c - kRawBytePua);
    } else {
        *out++ = '?';
        ++replaced;
    }
    return out;
}

}  // namespace

void PrepareCodec() { GetTables(); }

std::u16string SjisToUtf16(std::string_view sjis) {
    // Never more characters than bytes.
    std::u16string out(sjis.size(), u'\0');
    char16_t* o = out.data();
    DecodeSjis(sjis, [&o](char16_t c) { *o++ = c; });
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

std::string SjisToUtf8(std::string_view sjis) {
    // At most three UTF-8 bytes per Shift-JIS byte (a raw byte is U+F7xx).
    std::string out(sjis.size() * 3, '\0');
    char* o = out.data();
    DecodeSjis(sjis, [&o](char16_t c) { o = PutUtf8(o, c); });
    out.resize(static_cast<std::size_t>(o - out.data()));
    if (out.capacity() > 2 * out.size() + 64) out.shrink_to_fit();
    return out;
}

std::string Utf16ToSjis(std::u16string_view text, bool rawBytes, std::size_t* replaced) {
    const Tables& t = GetTables();
    std::size_t count = 0;
    std::string out(text.size() * 2, '\0');
    char* o = out.data();
    const char16_t* p = text.data();
    const char16_t* end = p + text.size();
    while (p < end) {
        const char16_t c = *p++;
        if (c >= 0xD800 && c <= 0xDFFF) {
            // A pair is one character beyond the BMP; either way it is one "?".
            if (c <= 0xDBFF && p < end && *p >= 0xDC00 && *p <= 0xDFFF) ++p;
            *o++ = '?';
            ++count;
            continue;
        }
        o = PutSjis(o, t, c, rawBytes, count);
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    if (replaced) *replaced = count;
    return out;
}

std::string Utf8ToSjis(std::string_view utf8, bool rawBytes, std::size_t* replaced) {
    const Tables& t = GetTables();
    std::size_t count = 0;
    // Every UTF-8 sequence is at least as long as its Shift-JIS form or "?".
    std::string out(utf8.size(), '\0');
    char* o = out.data();
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        char32_t c;
        p += ReadUtf8(p, end, &c);
        if (c > 0xFFFF) {  // beyond the BMP, or ill-formed
            *o++ = '?';
            ++count;
            continue;
        }
        o = PutSjis(o, t, static_cast<char16_t>(c), rawBytes, count);
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    if (replaced) *replaced = count;
    return out;
}

bool LooksLikeUtf8(std::string_view bytes) {
    if (StripUtf8Bom(bytes).size() != bytes.size()) return true;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    bool multiByte = false;
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        char32_t c;
        p += ReadUtf8(p, end, &c);
        if (c == kBadUtf8) return false;
        multiByte = true;
    }
    return multiByte;
}

std::string_view StripUtf8Bom(std::string_view bytes) {
    constexpr std::string_view kBom{"\xEF\xBB\xBF", 3};
    return bytes.substr(0, 3) == kBom ? bytes.substr(3) : bytes;
}

bool HasUtf16Bom(std::string_view bytes) { return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"); }

std::string Utf16WithBomToSjis(std::string_view bytes, std::size_t* replaced) {
    const bool bigEndian = bytes.starts_with("\xFE\xFF");
    bytes.remove_prefix(2);
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto a = static_cast<unsigned char>(bytes[2 * i]);
        const auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
        text[i] = static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    }
    if (bytes.size() % 2 != 0) text.push_back(u'\xFFFF');  // a character cut in half
    return Utf16ToSjis(text, false, replaced);
}

void AppendUtf8(std::string& out, char32_t c) {
    char bytes[4];
    out.append(bytes, PutUtf8(bytes, c));
}

}  // namespace zvek
