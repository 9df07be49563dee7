// Conversions between the core's Shift-JIS (code page 932) text and Unicode,
// used only at the edges: the editor, terminal messages, UTF-8 input files
// and UTF-8 file names.
//
// Shift-JIS -> Unicode is lossless: every byte that is not part of a valid
// CP932 character (and every character that would not come back as the same
// bytes) maps to the private-use code point U+F700 + byte, and the way back
// turns such code points into those bytes again, so a text survives
// open -> edit -> save byte for byte. A lead byte whose pair is no character
// is raw on its own and the next byte starts over; a character with a
// duplicate code (0xED40.. against 0xFA5C.., 0x8790 against 0x81E0, ...)
// keeps both bytes raw.
//
// The conversion tables are built from the code page's own table
// (Cp932Table, glibc's CP932 on every platform) on first use (tens of
// microseconds, thread-safe); after that every call is plain table look-ups.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zvek {

// Base of the private-use range that carries raw bytes: U+F700 + byte.
inline constexpr char16_t kRawBytePua = 0xF700;

// Builds the tables now rather than on first use, e.g. on a spare thread
// while a window is being set up.
void PrepareCodec();

std::u16string SjisToUtf16(std::string_view sjis);
std::string SjisToUtf8(std::string_view sjis);

// Unicode -> Shift-JIS. Characters with no Shift-JIS form become "?", and
// `*replaced`, when given, is set to how many there were. With `rawBytes`,
// code points U+F700..U+F7FF become the byte they carry (the editor's round
// trip); without it they are ordinary unmappable characters (UTF-8 input
// files). Characters beyond the BMP, lone surrogates and ill-formed UTF-8
// are unmappable too, one "?" each: an ill-formed UTF-8 sequence (overlong,
// surrogate, above U+10FFFF, truncated) is one character as far as its
// lead byte announced it, and a stray continuation byte is one on its own.
std::string Utf16ToSjis(std::u16string_view text, bool rawBytes = true, std::size_t* replaced = nullptr);
std::string Utf8ToSjis(std::string_view utf8, bool rawBytes = false, std::size_t* replaced = nullptr);

// Appends code point `c` as UTF-8; a lone surrogate as its three bytes.
void AppendUtf8(std::string& out, char32_t c);

// A text is taken as UTF-8 when it starts with the byte-order mark, or when
// it is entirely valid UTF-8 and holds at least one multi-byte sequence.
bool LooksLikeUtf8(std::string_view bytes);
// Drops a leading UTF-8 byte-order mark, if any.
std::string_view StripUtf8Bom(std::string_view bytes);

// True when `bytes` start with a UTF-16 byte-order mark (either order).
bool HasUtf16Bom(std::string_view bytes);
// The Shift-JIS text of UTF-16 bytes that start with a byte-order mark, as
// Utf16ToSjis without raw bytes; `*replaced` counts the "?" (a stray last
// byte is one).
std::string Utf16WithBomToSjis(std::string_view bytes, std::size_t* replaced = nullptr);

}  // namespace zvek
