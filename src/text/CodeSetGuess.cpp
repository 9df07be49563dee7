#include "text/CodeSetGuess.h"

#include <cstdint>
#include <optional>

#include "text/Sjis.h"

namespace zvek {
namespace {

// Each reading is scored by what its characters cost, roughly in bits: how
// unlikely each is in Japanese lyrics. Bytes that are one reading's kana
// are the other's half-width katakana and kanji from the far end of the
// table, so the wrong reading pays several times as much.
constexpr int kAscii = 2;
constexpr int kHiragana = 3;
constexpr int kKatakana = 5;
constexpr int kCommonPunctuation = 6;
constexpr int kOtherSymbol = 10;
constexpr int kFullWidthLetter = 9;
constexpr int kLevel1Kanji = 8;
constexpr int kLevel2Kanji = 13;
constexpr int kForeignLetter = 14;  // Greek, Cyrillic
constexpr int kBoxDrawing = 16;
constexpr int kVendorChar = 16;  // circled numbers, IBM kanji
constexpr int kUnassigned = 20;  // no character, a user-defined one, JIS X 0212
// Kanji come in words of one or two: a longer run costs more per kanji.
constexpr int kKanjiRunStep = 2;
// Text with kanji but not a single kana is seldom Japanese: it is what
// half-width katakana look like read as EUC-JP.
constexpr int kNoKana = 10;
// Half-width katakana: the kana themselves, ｦ, the long-vowel mark and
// small kana after a kana, a sound mark after a kana that takes it, the
// half-width ｡｢｣､･, and a mark where none can stand.
constexpr int kHalfWidthKana = 6;
constexpr int kHalfWidthWo = 8;
constexpr int kHalfWidthAfterKana = 7;
constexpr int kSoundMark = 4;
constexpr int kHalfWidthPunctuation = 11;
constexpr int kMisplacedMark = 16;
// EUC-JP files hardly ever hold half-width katakana; Shift-JIS ones do.
constexpr int kEucHalfWidth = 6;
// Below this difference either reading could be the right one.
constexpr std::int64_t kSureMargin = 16;
// Only the start of a text is scored, the rest merely checked: a few pages
// of lyrics settle the matter, and a large file is read no slower than
// checking it takes.
constexpr std::size_t kScoredBytes = 16 * 1024;

// Row 1's brackets, the ideographic space, comma and full stop, "・" "？"
// "！" "ー" "―" "〜" "…" and the like: what lyrics are punctuated with.
constexpr bool CommonPunctuation(unsigned cell) {
    return cell <= 10 || cell == 28 || cell == 29 || cell == 33 || cell == 36 || cell == 37 ||
           (cell >= 42 && cell <= 43) || (cell >= 54 && cell <= 59);
}

// The cost of JIS X 0208 row and cell (1..94; Shift-JIS's lead bytes from
// 0xF0 reach rows beyond: user-defined characters, then IBM's kanji).
int JisCost(unsigned row, unsigned cell) {
    switch (row) {
    case 1:
        return CommonPunctuation(cell) ? kCommonPunctuation : kOtherSymbol;
    case 2:
        return kOtherSymbol;
    case 3:
        return (cell >= 16 && cell <= 25) || (cell >= 33 && cell <= 58) || (cell >= 65 && cell <= 90) ? kFullWidthLetter
                                                                                                      : kUnassigned;
    case 4:
        return cell <= 83 ? kHiragana : kUnassigned;
    case 5:
        return cell <= 86 ? kKatakana : kUnassigned;
    case 6:
    case 7:
        return kForeignLetter;
    case 8:
        return cell <= 32 ? kBoxDrawing : kUnassigned;
    case 13:
        return kVendorChar;
    default:
        break;
    }
    if (row < 16) return kUnassigned;
    if (row < 47 || (row == 47 && cell <= 51)) return kLevel1Kanji;
    if (row < 84 || (row == 84 && cell <= 6)) return kLevel2Kanji;
    if ((row >= 89 && row <= 92) || row >= 115) return kVendorChar;
    return kUnassigned;
}

constexpr bool IsHalfWidthKana(unsigned char b) { return b >= 0xA6 && b <= 0xDF; }
// ｳ, ｶ-ﾄ and ﾊ-ﾎ take the voiced sound mark ﾞ; only ﾊ-ﾎ take ﾟ.
constexpr bool TakesMark(unsigned char kana, unsigned char mark) {
    return (kana >= 0xCA && kana <= 0xCE) || (mark == 0xDE && (kana == 0xB3 || (kana >= 0xB6 && kana <= 0xC4)));
}

class Score {
public:
    void Ascii() {
        cost_ += kAscii;
        kanjiRun_ = 0;
        lastHalf_ = 0;
    }

    void Jis(unsigned row, unsigned cell) {
        int c = JisCost(row, cell);
        lastHalf_ = 0;
        if (row == 4 || row == 5) sawKana_ = true;
        if (c == kLevel1Kanji || c == kLevel2Kanji) {
            sawKanji_ = true;
            c += kKanjiRunStep * (kanjiRun_ < 2 ? kanjiRun_ : 2);
            ++kanjiRun_;
        } else {
            kanjiRun_ = 0;
        }
        cost_ += c;
    }

    void HalfWidth(unsigned char b, int extra) {
        int c = kHalfWidthKana;
        if (b <= 0xA5) c = kHalfWidthPunctuation;
        else if (b == 0xA6) c = kHalfWidthWo;
        else if (b <= 0xB0) c = lastHalf_ != 0 ? kHalfWidthAfterKana : kMisplacedMark;
        else if (b >= 0xDE) c = TakesMark(lastHalf_, b) ? kSoundMark : kMisplacedMark;
        cost_ += c + extra;
        kanjiRun_ = 0;
        lastHalf_ = IsHalfWidthKana(b) ? b : 0;
        sawKana_ = sawKana_ || lastHalf_ != 0;
    }

    void Unassigned() {
        cost_ += kUnassigned;
        kanjiRun_ = 0;
        lastHalf_ = 0;
    }

    std::int64_t Total() const { return cost_ + (sawKanji_ && !sawKana_ ? kNoKana : 0); }

private:
    std::int64_t cost_ = 0;
    int kanjiRun_ = 0;
    unsigned char lastHalf_ = 0;
    bool sawKana_ = false;
    bool sawKanji_ = false;
};

// The cost of the bytes read as Shift-JIS, or nothing when they are not.
std::optional<std::int64_t> SjisCost(std::string_view s) {
    Score score;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        const bool scored = i < kScoredBytes;
        if (b < 0x80) {
            if (scored) score.Ascii();
        } else if (b >= 0xA1 && b <= 0xDF) {
            if (scored) score.HalfWidth(b, 0);
        } else {
            if (!IsLeadByte(b) || i + 1 >= s.size()) return std::nullopt;
            const auto t = static_cast<unsigned char>(s[++i]);
            if (t < 0x40 || t == 0x7F || t > 0xFC) return std::nullopt;
            if (!scored) continue;
            unsigned row = 2u * (b <= 0x9F ? b - 0x81u : b - 0xC1u) + 1;
            unsigned cell = t - 0x3Fu - (t >= 0x80 ? 1 : 0);
            if (t >= 0x9F) {
                ++row;
                cell = t - 0x9Eu;
            }
            score.Jis(row, cell);
        }
    }
    return score.Total();
}

// The cost of the bytes read as EUC-JP, or nothing when they are not.
std::optional<std::int64_t> EucCost(std::string_view s) {
    Score score;
    const auto at = [&](std::size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u; };
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        const bool scored = i < kScoredBytes;
        if (b < 0x80) {
            if (scored) score.Ascii();
            continue;
        }
        const unsigned t = at(i + 1);
        if (t < 0xA1 || t > 0xFE) return std::nullopt;
        if (b == 0x8E) {
            if (t > 0xDF) return std::nullopt;
            if (scored) score.HalfWidth(static_cast<unsigned char>(t), kEucHalfWidth);
        } else if (b == 0x8F) {  // JIS X 0212, three bytes
            if (at(i + 2) < 0xA1 || at(i + 2) > 0xFE) return std::nullopt;
            if (scored) score.Unassigned();
            ++i;
        } else if (b >= 0xA1 && b <= 0xFE) {
            if (scored) score.Jis(b - 0xA0u, t - 0xA0u);
        } else {
            return std::nullopt;
        }
        ++i;
    }
    return score.Total();
}

bool HasHighByte(std::string_view s) {
    for (const char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

}  // namespace

CodeSetGuess GuessSjisOrEuc(std::string_view bytes) {
    if (!HasHighByte(bytes)) return {};
    const std::optional<std::int64_t> euc = EucCost(bytes);
    if (!euc) return {};
    const std::optional<std::int64_t> sjis = SjisCost(bytes);
    if (!sjis) return {JapaneseCodeSet::EucJp, true};
    const std::int64_t diff = *sjis - *euc;
    return {diff > 0 ? JapaneseCodeSet::EucJp : JapaneseCodeSet::ShiftJis, diff >= kSureMargin || diff <= -kSureMargin};
}

}  // namespace zvek
