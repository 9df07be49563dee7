#include "text/Codec.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "support/TestSupport.h"
#include "text/Sjis.h"

namespace zvek {
namespace {

std::u16string Raw(std::string_view bytes) {
    std::u16string out;
    for (unsigned char b : bytes) out += static_cast<char16_t>(kRawBytePua + b);
    return out;
}

void ExpectLossless(const std::string& sjis) {
    EXPECT_EQ(std::tuple(Utf16ToSjis(SjisToUtf16(sjis)), Utf8ToSjis(SjisToUtf8(sjis), true)), std::tuple(sjis, sjis));
}

// The reference code page 932 the table is checked against: what a code
// reads as and what a character is written as, empty where there is none.
#ifdef _WIN32
std::u16string ReferenceRead(std::string_view code) {
    wchar_t out[2];
    const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, code.data(), static_cast<int>(code.size()), out, 2);
    return n == 1 ? std::u16string(1, static_cast<char16_t>(out[0])) : u"";
}
std::string ReferenceWrite(char16_t c) {
    const wchar_t in = c;
    char out[4];
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &in, 1, out, 4, nullptr, &usedDefault);
    return n > 0 && !usedDefault ? std::string(out, static_cast<std::size_t>(n)) : "";
}
// Characters Windows (as Wine has it) reads or writes otherwise than glibc:
// U+0080 is 0x80 both ways, U+F8F0-U+F8F3 are written 0xA0 and 0xFD-0xFF
// (and not read back), and without best fit the one-way characters are
// not written at all.
constexpr std::u16string_view kNotAsReference = u"\u0080\uF8F0\uF8F1\uF8F2\uF8F3¢£¥¬—‖‾−〜";
#else
// glibc's CP932, which the table is made from.
std::string Reference(const char* to, const char* from, std::string_view in) try {
    return test::Iconv(to, from, in);
} catch (const std::runtime_error&) {
    return "";
}
std::u16string ReferenceRead(std::string_view code) {
    const std::string out = Reference("UTF-16LE", "CP932", code);
    if (out.size() != 2) return u"";
    return std::u16string(1, static_cast<char16_t>(std::uint8_t(out[0]) | std::uint8_t(out[1]) << 8));
}
std::string ReferenceWrite(char16_t c) {
    const char in[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return Reference("CP932", "UTF-16LE", {in, 2});
}
constexpr std::u16string_view kNotAsReference;  // none: the table is made from it
#endif

// Where code page 932 is not one-to-one: characters written with a code that
// reads as another character, and codes that read as a character written
// with another code (the codec keeps their two bytes raw).
const std::pair<char16_t, unsigned> kOneWay[] = {{u'¢', 0x8191}, {u'£', 0x8192}, {u'¥', 0x5C},
                                                 {u'¬', 0x81CA}, {u'—', 0x815C}, {u'‖', 0x8161},
                                                 {u'‾', 0x7E},   {u'−', 0x817C}, {u'〜', 0x8160}};
const std::pair<unsigned, unsigned> kDuplicates[] = {{0x8790, 0x8792}, {0x8795, 0x8797}, {0x879A, 0x879C},
                                                     {0xED40, 0xEEFC}, {0xFA4A, 0xFA54}, {0xFA58, 0xFA5B}};

std::string Code(unsigned code) {
    const char bytes[2] = {static_cast<char>(code >> 8), static_cast<char>(code)};
    return code < 0x100 ? std::string(1, bytes[1]) : std::string(bytes, 2);
}

// Every single byte and every pair with a lead byte reads as the reference
// has it. A pair is one character, or (a duplicate) two raw bytes, or (no
// character at all) a raw lead byte with the trail byte read on its own.
// Each survives alone and all of them in one text, where every kind of pair
// stands next to every other.
TEST(Codec, EveryCodeReadsAsTheReference) {
    std::string all;
    for (unsigned code = 0; code < 0xFD00; ++code) {
        if (code > 0xFF && !IsLeadByte(static_cast<unsigned char>(code >> 8))) continue;
        const std::string bytes = Code(code);
        const std::u16string reference = ReferenceRead(bytes);
        if (reference.size() == 1 && kNotAsReference.find(reference[0]) != kNotAsReference.npos) continue;
        const bool duplicate = !reference.empty() && std::ranges::any_of(kDuplicates, [&](auto range) {
            return range.first <= code && code <= range.second;
        });
        EXPECT_EQ(!reference.empty() && ReferenceWrite(reference[0]) != bytes, duplicate) << std::hex << code;
        const std::u16string expected = duplicate || (reference.empty() && code < 0x100) ? Raw(bytes)
                                        : reference.empty() ? Raw(bytes.substr(0, 1)) + SjisToUtf16(bytes.substr(1))
                                                            : reference;
        EXPECT_EQ(SjisToUtf16(bytes), expected) << std::hex << code;
        ExpectLossless(bytes);
        if (code > 0xFF) all += bytes;
    }
    ExpectLossless(all);
}

// Every BMP character is written as the reference writes it, and reads back
// as itself unless it is one of the one-way characters.
TEST(Codec, EveryCharacterIsWrittenAsTheReference) {
    for (unsigned c = 0; c < 0x10000; ++c) {
        const char16_t ch = static_cast<char16_t>(c);
        if ((c >= 0xD800 && c <= 0xDFFF) || kNotAsReference.find(ch) != kNotAsReference.npos) continue;
        const std::string reference = ReferenceWrite(ch);
        EXPECT_EQ(Utf16ToSjis({&ch, 1}, false), reference.empty() ? "?" : reference) << std::hex << c;
        const auto oneWay = std::ranges::find(kOneWay, ch, &std::pair<char16_t, unsigned>::first);
        EXPECT_EQ(!reference.empty() && ReferenceRead(reference) != std::u16string(1, ch) ? reference : "",
                  oneWay != std::end(kOneWay) ? Code(oneWay->second) : "")
            << std::hex << c;
    }
}

TEST(Codec, UnmappableCharactersBecomeQuestionMarks) {
    // {text, raw bytes kept, Shift-JIS, characters replaced}
    const std::tuple<std::u16string, bool, std::string, std::size_t> cases[] = {
        {u"a😀b", true, "a?b", 1},      // beyond the BMP: one "?" per character
        {u"é\uF782", false, "??", 2},  // raw-byte code points are ordinary without rawBytes
        {u"\uF782\uF7A0", true, "\x82\xA0", 0},
        {u"\xD800"
         u"a\xDC00",
         true, "?a?", 2},  // lone surrogates
        {u"a\xDBFF", true, "a?", 1}};
    for (const auto& [text, raw, sjis, count] : cases) {
        std::size_t replaced = 99;
        EXPECT_EQ(Utf16ToSjis(text, raw, &replaced), sjis);
        EXPECT_EQ(replaced, count);
    }
}

TEST(Codec, IllFormedUtf8CountsOncePerSequence) {
    // {UTF-8, raw bytes kept, Shift-JIS, sequences replaced}
    const std::tuple<std::string, bool, std::string, std::size_t> cases[] = {
        {"😀!", false, "?!", 1},
        {"\xC0\x80|\xE0\x80\xAF|\xF0\x80\x80\x80", false, "?|?|?", 3},  // overlong
        {"\xED\xA0\x80|\xED\xBF\xBF", false, "?|?", 2},                 // surrogates
        {"\xF4\x90\x80\x80|\xF8\x88\x80\x80\x80", false, "?|?", 2},     // above U+10FFFF
        {"\x80\xBF|\xFE|\xFF", false, "??|?|?", 4},                     // stray bytes
        {"\xE3\x81"
         "a\xE3",
         false, "?a?", 2},                                  // truncated
        {"\xEF\x9E\x82\xEF\x9E\xA0", true, "\x82\xA0", 0},  // U+F782 U+F7A0
        {"\xEF\x9E\x82", false, "?", 1}};
    for (const auto& [utf8, raw, sjis, count] : cases) {
        std::size_t replaced = 99;
        EXPECT_EQ(Utf8ToSjis(utf8, raw, &replaced), sjis) << testing::PrintToString(utf8);
        EXPECT_EQ(replaced, count) << testing::PrintToString(utf8);
    }
    EXPECT_EQ(Utf8ToSjis("\xE3\x81"), "?");  // no counter given
    // A view cut inside a sequence is truncated there, whatever follows in memory.
    EXPECT_EQ(Utf8ToSjis(std::string_view("\xE3\x81\x82", 2)), "?");
    EXPECT_FALSE(LooksLikeUtf8(std::string_view("\xE3\x81\x82", 2)));
}

}  // namespace
}  // namespace zvek
