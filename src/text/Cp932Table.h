// Code page 932 as data: what every code reads as and which code every
// character is written with, the same on every platform. Cp932Table.cpp is
// generated from glibc's iconv "CP932" by scripts/gen-cp932-table.py, which
// checks that these rules give exactly iconv's conversions both ways; only
// the codec (Codec.cpp) reads it, to build its look-up tables.
#pragma once

#include <cstdint>
#include <span>

namespace zvek::cp932 {

// Codes `first`..`last` read as the characters c, c + 1, ... A double-byte
// code is lead << 8 | trail; the trail bytes run 0x40-0xFC without 0x7F.
struct Run {
    std::uint16_t first, last;
    char16_t c;
};

// What the double-byte codes of one lead byte read as, in trail-byte order
// (0x40-0x7E, 0x80-0xFC); `kNone` marks a code that is no character, and
// the codes after the end of a shorter row are none either.
struct Row {
    unsigned char lead;
    const char16_t* cells;
};
inline constexpr char16_t kNone = u'_';

// A character written as `code` although `code` reads as another one.
struct OneWay {
    char16_t c;
    std::uint16_t code;
};

// A character is written with the first code that reads as it, in the
// order of kRuns, then kRows, and otherwise with its kOneWay code.
extern const std::span<const Run> kRuns;
extern const std::span<const Row> kRows;
extern const std::span<const OneWay> kOneWay;

}  // namespace zvek::cp932
