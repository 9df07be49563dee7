#include "web/Code.h"

#include <array>
#include <cstddef>

#include "text/Sjis.h"

namespace zvek {

std::string SjisToEucString(std::string_view s) {
    std::string out;
    // Every half-width katakana doubles; nothing else grows.
    out.reserve(s.size() * 2);
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n && p[i] != 0;) {
        const unsigned char b = p[i];
        // A NUL ends the text even in the middle of a pair: the lone lead
        // byte goes out as it is, like one at the very end.
        if (IsLeadByte(b) && i + 1 < n && p[i + 1] != 0) {
            AppendCharCode(out, SjisToEuc(static_cast<CharCode>((b << 8) | p[i + 1])));
            i += 2;
        } else {
            AppendCharCode(out, SjisToEuc(b));
            ++i;
        }
    }
    return out;
}

namespace {

// Width folding follows what the Japanese Windows width mapping does to
// code page 932 text:
//  - ASCII 0x20-0x7E becomes the CP932 form of U+3000 / U+FF01-U+FF5E, so
//    '"' and '\'' become the IBM extension characters 0xFA57 and 0xFA56 and
//    '~' becomes 0x8160 (U+FF5E). 0x5C is left alone on the way to full
//    width: on a Japanese system it is both the yen sign and the backslash,
//    and neither full-width form is taken for it.
//  - On the way back every CP932 code of those characters folds, the NEC
//    duplicates 0xEEFC and 0xEEFB included, and so do the curly closing
//    quotes 0x8166 and 0x8168 and the full-width yen 0x818F (the byte 0x5C).
//    The full-width backslash 0x815F stays.
//  - Half-width katakana and their punctuation become the full-width forms;
//    a katakana followed by a sound mark becomes the voiced character when
//    CP932 has one (so ﾜﾞ and ｦﾞ stay two characters), and voiced katakana
//    split again on the way back. ヵ, ヶ, ヮ, ヰ and ヱ have no half-width
//    form and stay.

// Full-width codes of ASCII 0x20-0x7E, 0 where there is none.
constexpr std::array<CharCode, 0x5F> kAsciiFull = {
    0x8140, 0x8149, 0xFA57, 0x8194, 0x8190, 0x8193, 0x8195, 0xFA56,  //  !"#$%&'
    0x8169, 0x816A, 0x8196, 0x817B, 0x8143, 0x817C, 0x8144, 0x815E,  // ()*+,-./
    0x824F, 0x8250, 0x8251, 0x8252, 0x8253, 0x8254, 0x8255, 0x8256,  // 01234567
    0x8257, 0x8258, 0x8146, 0x8147, 0x8183, 0x8181, 0x8184, 0x8148,  // 89:;<=>?
    0x8197, 0x8260, 0x8261, 0x8262, 0x8263, 0x8264, 0x8265, 0x8266,  // @ABCDEFG
    0x8267, 0x8268, 0x8269, 0x826A, 0x826B, 0x826C, 0x826D, 0x826E,  // HIJKLMNO
    0x826F, 0x8270, 0x8271, 0x8272, 0x8273, 0x8274, 0x8275, 0x8276,  // PQRSTUVW
    0x8277, 0x8278, 0x8279, 0x816D, 0x0000, 0x816E, 0x814F, 0x8151,  // XYZ[\]^_
    0x814D, 0x8281, 0x8282, 0x8283, 0x8284, 0x8285, 0x8286, 0x8287,  // `abcdefg
    0x8288, 0x8289, 0x828A, 0x828B, 0x828C, 0x828D, 0x828E, 0x828F,  // hijklmno
    0x8290, 0x8291, 0x8292, 0x8293, 0x8294, 0x8295, 0x8296, 0x8297,  // pqrstuvw
    0x8298, 0x8299, 0x829A, 0x816F, 0x8162, 0x8170, 0x8160,          // xyz{|}~
};

// Full-width codes of the half-width katakana 0xA1-0xDF.
constexpr std::array<CharCode, 0x3F> kKanaFull = {
    0x8142, 0x8175, 0x8176, 0x8141, 0x8145, 0x8392, 0x8340,          // ｡｢｣､･ｦｧ
    0x8342, 0x8344, 0x8346, 0x8348, 0x8383, 0x8385, 0x8387, 0x8362,  // ｨｩｪｫｬｭｮｯ
    0x815B, 0x8341, 0x8343, 0x8345, 0x8347, 0x8349, 0x834A, 0x834C,  // ｰｱｲｳｴｵｶｷ
    0x834E, 0x8350, 0x8352, 0x8354, 0x8356, 0x8358, 0x835A, 0x835C,  // ｸｹｺｻｼｽｾｿ
    0x835E, 0x8360, 0x8363, 0x8365, 0x8367, 0x8369, 0x836A, 0x836B,  // ﾀﾁﾂﾃﾄﾅﾆﾇ
    0x836C, 0x836D, 0x836E, 0x8371, 0x8374, 0x8377, 0x837A, 0x837D,  // ﾈﾉﾊﾋﾌﾍﾎﾏ
    0x837E, 0x8380, 0x8381, 0x8382, 0x8384, 0x8386, 0x8388, 0x8389,  // ﾐﾑﾒﾓﾔﾕﾖﾗ
    0x838A, 0x838B, 0x838C, 0x838D, 0x838F, 0x8393, 0x814A, 0x814B,  // ﾘﾙﾚﾛﾜﾝﾞﾟ
};

constexpr unsigned char kVoicedMark = 0xDE;
constexpr unsigned char kSemiVoicedMark = 0xDF;
constexpr CharCode kVu = 0x8394;  // ヴ

struct FullTables {
    std::array<CharCode, 256> full{};        // single byte -> full-width code
    std::array<CharCode, 256> voiced{};      // byte + ﾞ -> one full-width code
    std::array<CharCode, 256> semiVoiced{};  // byte + ﾟ -> one full-width code
};

constexpr FullTables MakeFullTables() {
    FullTables t;
    for (unsigned c = 0x20; c <= 0x7E; ++c) t.full[c] = kAsciiFull[c - 0x20];
    for (unsigned c = 0xA1; c <= 0xDF; ++c) t.full[c] = kKanaFull[c - 0xA1];
    // In CP932 the voiced forms directly follow their katakana: ガ = カ + 1,
    // パ = ハ + 2.
    for (unsigned c = 0xB6; c <= 0xC4; ++c) t.voiced[c] = t.full[c] + 1;  // ｶ-ﾄ
    for (unsigned c = 0xCA; c <= 0xCE; ++c) {                             // ﾊ-ﾎ
        t.voiced[c] = t.full[c] + 1;
        t.semiVoiced[c] = t.full[c] + 2;
    }
    t.voiced[0xB3] = kVu;  // ｳﾞ
    return t;
}

constexpr FullTables kFull = MakeFullTables();

// Sound marks as bits (ﾞ 1, ﾟ 2), and for every byte the marks it combines
// with; the combined code itself comes from kCombined, indexed by the mark.
constexpr std::array<std::uint8_t, 256> MakeMarkBits() {
    std::array<std::uint8_t, 256> t{};
    t[kVoicedMark] = 1;
    t[kSemiVoicedMark] = 2;
    return t;
}

constexpr std::array<std::uint8_t, 256> MakeCombinesWith() {
    std::array<std::uint8_t, 256> t{};
    for (unsigned b = 0; b < 256; ++b)
        t[b] = static_cast<std::uint8_t>((kFull.voiced[b] ? 1 : 0) | (kFull.semiVoiced[b] ? 2 : 0));
    return t;
}

constexpr std::array<std::uint8_t, 256> kMarkBits = MakeMarkBits();
constexpr std::array<std::uint8_t, 256> kCombinesWith = MakeCombinesWith();
constexpr std::array<std::array<CharCode, 256>, 3> kCombined = {std::array<CharCode, 256>{}, kFull.voiced,
                                                                kFull.semiVoiced};

// The way back, per pair: for every lead byte that has foldable characters a
// row of 256 entries indexed by the trail byte. An entry holds the first
// half-width byte in its low half and the second one (a sound mark) or 0 in
// its high half; 0 means "keep the pair".
struct HalfTables {
    std::array<std::uint8_t, 256> rowOf{};  // lead byte -> row number, 0 = none
    std::array<std::array<std::uint16_t, 256>, 6> rows{};
};

constexpr HalfTables MakeHalfTables() {
    HalfTables t;
    std::uint8_t used = 0;
    auto set = [&t, &used](CharCode code, std::uint16_t half) {
        const unsigned lead = code >> 8;
        if (t.rowOf[lead] == 0) t.rowOf[lead] = ++used;
        t.rows[t.rowOf[lead]][code & 0xFF] = half;
    };
    for (unsigned c = 0x20; c <= 0x7E; ++c)
        if (kFull.full[c]) set(kFull.full[c], static_cast<std::uint16_t>(c));
    for (unsigned c = 0xA1; c <= 0xDF; ++c) set(kFull.full[c], static_cast<std::uint16_t>(c));
    for (unsigned c = 0xA1; c <= 0xDF; ++c) {
        if (kFull.voiced[c]) set(kFull.voiced[c], static_cast<std::uint16_t>(kVoicedMark << 8 | c));
        if (kFull.semiVoiced[c]) set(kFull.semiVoiced[c], static_cast<std::uint16_t>(kSemiVoicedMark << 8 | c));
    }
    set(0xEEFC, '"');  // NEC-selected duplicates of ＂ and ＇
    set(0xEEFB, '\'');
    set(0x8168, '"');   // ”
    set(0x8166, '\'');  // ’
    set(0x818F, '\\');  // ￥: 0x5C is the yen sign in CP932
    return t;
}

constexpr HalfTables kHalf = MakeHalfTables();

constexpr std::array<std::uint8_t, 256> MakeLeadTable() {
    std::array<std::uint8_t, 256> t{};
    for (unsigned b = 0; b < 256; ++b) t[b] = IsLeadByte(static_cast<unsigned char>(b));
    return t;
}

constexpr std::array<std::uint8_t, 256> kLead = MakeLeadTable();

// Both foldings run over whole pages, so they write through a raw pointer
// into a string sized once for the worst case and cut to length at the end.
// The steps choose with table look-ups and selects rather than branches:
// whether the next character has one byte or two is a coin toss in mixed
// Japanese text, and mispredicted branches cost more than the work.
// FoldPairs runs `step` wherever the byte after the current one exists and
// `last` on a last byte left alone; both write at `o` (there is always room
// for two bytes) and move it on, and `step` says how far the input moves.
template <typename Step, typename Last>
std::string FoldPairs(std::string_view s, std::size_t room, Step step, Last last) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::string out(room, '\0');
    auto* const begin = reinterpret_cast<unsigned char*>(out.data());
    auto* o = begin;
    std::size_t i = 0;
    while (i + 1 < n) i += step(p[i], p[i + 1], o);
    if (i < n) last(p[i], o);
    out.resize(static_cast<std::size_t>(o - begin));
    return out;
}

}  // namespace

std::string ToFullWidth(std::string_view s) {
    const auto step = [](unsigned b, unsigned next, unsigned char*& o) {
        const unsigned lead = kLead[b];
        const unsigned mark = kMarkBits[next];
        const unsigned combines = (kCombinesWith[b] & mark) != 0;
        const unsigned full = kFull.full[b];
        const unsigned combined = kCombined[mark][b];  // 0 unless it combines
        // Masks instead of ifs, or the compiler brings the branches back.
        // Unchanged is one byte or the pair.
        const unsigned keep = 0u - (full == 0);
        const unsigned single = 0u - (combined == 0);
        const unsigned value = ((((b << 8 | next) & keep) | full) & single) | combined;
        o[0] = static_cast<unsigned char>(value >> 8);
        o[1] = static_cast<unsigned char>(value);
        o += 1 + (lead | (full != 0));
        // Kept apart from the look-ups of the output: the next position
        // depends only on the two bytes and two small tables.
        return 1 + (lead | combines);
    };
    const auto last = [](unsigned b, unsigned char*& o) {
        if (const CharCode full = kFull.full[b]) {
            *o++ = static_cast<unsigned char>(full >> 8);
            *o++ = static_cast<unsigned char>(full);
        } else {
            *o++ = static_cast<unsigned char>(b);
        }
    };
    return FoldPairs(s, 2 * s.size(), step, last);
}

std::string ToHalfWidth(std::string_view s) {
    const auto step = [](unsigned b, unsigned next, unsigned char*& o) {
        const unsigned lead = kLead[b];
        // Row 0 is all zeros, and only lead bytes have another row.
        const unsigned half = kHalf.rows[kHalf.rowOf[b]][next];
        const unsigned keep = 0u - (half == 0);
        o[0] = static_cast<unsigned char>((b & keep) | (half & 0xFF));
        o[1] = static_cast<unsigned char>((next & keep) | (half >> 8));
        o += 1 + ((lead & keep) | ((half >> 8) != 0));
        return 1 + lead;
    };
    // A single byte or a lone lead byte stays.
    const auto last = [](unsigned b, unsigned char*& o) { *o++ = static_cast<unsigned char>(b); };
    // A folded pair gives one or two bytes, so the text never grows.
    return FoldPairs(s, s.size(), step, last);
}

}  // namespace zvek
