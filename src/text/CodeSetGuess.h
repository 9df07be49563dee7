// Shift-JIS or EUC-JP: which of the two a text without a byte-order mark is
// in. Short Japanese texts are often valid in both (EUC-JP's kana and kanji
// bytes read as Shift-JIS half-width katakana and rare kanji), so where both
// readings are possible the one that looks more like Japanese wins.
#pragma once

#include <string_view>

namespace zvek {

enum class JapaneseCodeSet { ShiftJis, EucJp };

struct CodeSetGuess {
    JapaneseCodeSet codeSet = JapaneseCodeSet::ShiftJis;
    // False when the bytes were valid in both and neither reading clearly
    // looked better: the user should be told which one was assumed.
    bool certain = true;
};

// EUC-JP when the bytes are valid EUC-JP and either not valid Shift-JIS or
// more like Japanese read as EUC-JP; Shift-JIS otherwise (bytes valid in
// neither included: they are taken as they stand). Text without bytes
// above 0x7F is Shift-JIS, certain. One pass over the bytes per reading,
// no allocation.
CodeSetGuess GuessSjisOrEuc(std::string_view bytes);

}  // namespace zvek
