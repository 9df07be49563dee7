// Japanese character codes: Shift_JIS, EUC-JP and JIS X 0208 (ISO-2022-JP),
// and width folding of Shift_JIS text.
//
// A character code is 16 bits: a single-byte character has high byte 0, a
// double-byte character has its first byte in the high half. The
// per-character conversions are plain arithmetic and validate nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zvek {

using CharCode = std::uint16_t;

constexpr CharCode SjisToJis(CharCode code) {
    if ((code >> 8) == 0) return code;
    unsigned lead = (2u * (code >> 8)) & 0xFF;
    unsigned trail = ((code & 0xFF) - 0x1Fu) & 0xFF;
    if (trail < 0x80) trail = (trail + 0xDE + (trail < 0x61 ? 1 : 0)) & 0xFF;
    return static_cast<CharCode>((((lead << 8) | trail) + 0x1FA1u) & 0x7F7F);
}

constexpr CharCode JisToSjis(CharCode code) {
    if ((code >> 8) == 0) return code;
    const unsigned sum = (code + 0xA17Eu) & 0xFFFF;
    unsigned high = sum >> 8;
    unsigned low = sum & 0xFF;
    if ((high & 1) == 0) low = (low - 0x5E - (low < 0xDE ? 1 : 0)) & 0xFF;
    high = (high >> 1) ^ 0xE0;
    return static_cast<CharCode>((high << 8) | low);
}

constexpr CharCode JisToEuc(CharCode code) {
    if ((code >> 8) != 0) return static_cast<CharCode>(code | 0x8080);
    if (code >= 0xA1 && code <= 0xDF) return static_cast<CharCode>(0x8E00 | code);
    return code;
}

constexpr CharCode EucToJis(CharCode code) {
    if ((code >> 8) == 0) return code;
    if ((code >> 8) == 0x8E) return static_cast<CharCode>(code & 0xFF);
    return static_cast<CharCode>(code & 0x7F7F);
}

constexpr CharCode SjisToEuc(CharCode code) { return JisToEuc(SjisToJis(code)); }
constexpr CharCode EucToSjis(CharCode code) { return JisToSjis(EucToJis(code)); }

// Appends `code` to `out`: two bytes (high, low) when its high byte is not 0,
// otherwise its low byte alone.
inline void AppendCharCode(std::string& out, CharCode code) {
    if (code >> 8) out.push_back(static_cast<char>(code >> 8));
    out.push_back(static_cast<char>(code & 0xFF));
}

// `s` converted to EUC-JP, up to its end or its first NUL byte.
std::string SjisToEucString(std::string_view s);

// `s` with every character that has a full-width (double-byte) form replaced
// by it: ASCII 0x20-0x7E but 0x5C (yen sign or backslash, so neither) and the
// half-width katakana, a katakana followed by a voiced or semi-voiced sound
// mark becoming one full-width character. Pairs are never split.
std::string ToFullWidth(std::string_view s);
// The reverse: full-width forms become single bytes, voiced katakana split
// into the katakana and its sound mark.
std::string ToHalfWidth(std::string_view s);

}  // namespace zvek
