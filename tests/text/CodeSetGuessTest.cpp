// Shift-JIS or EUC-JP, on short lyrics files whose bytes read as both.
#include "text/CodeSetGuess.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "support/TestSupport.h"
#include "web/Code.h"

namespace zvek {
namespace {

constexpr auto kEuc = JapaneseCodeSet::EucJp;
constexpr auto kSjis = JapaneseCodeSet::ShiftJis;

TEST(CodeSetGuessTest, TheReadingThatLooksLikeJapaneseWins) {
    // {the file's lines (UTF-8 here), the code set they are written in, the
    // guess is sure}; every file but the last four is valid in both.
    const std::tuple<const char*, JapaneseCodeSet, bool> cases[] = {
        // EUC-JP lyrics that were taken for Shift-JIS half-width katakana.
        {"[00:18.32]「思い出も変わらない」\r\n", kEuc, true},
        {"[00:36.36]baby　ブルーに\r\n", kEuc, true},
        {"[00:57.72]ドアより朝まで忘れないロックと\r\n", kEuc, true},
        {"[ti:桜の季節]\r\n[00:05.00]夢を見ていた\r\n", kEuc, true},
        // Two kanji alone could be either: a guess, still the right one.
        {"[00:42.42]手旅\r\n", kEuc, false},
        // Old Shift-JIS files in half-width katakana stay Shift-JIS.
        {"[00:46.67]ｳﾐ ｷｽ\r\n", kSjis, false},
        {"[00:24.06]Hey ﾄﾋﾞﾗ ｺｴ ﾑﾈ\r\n", kSjis, false},
        {"[00:02.00]ｶｰﾄﾞ ﾁｮｯﾄ ﾒｰﾙｽ\r\n", kSjis, false},
        {"[00:01.00]ｱｲｼﾃﾙﾖ\r\n[00:03.00]ｷﾐｦ ﾜｽﾚﾅｲ\r\n", kSjis, true},
        // Valid in one code set only, or in none, or plain ASCII: no doubt.
        {"[00:10.00]あいしてる\r\n", kEuc, true},
        {"[00:10.00]あいしてる\r\n", kSjis, true},
        {"[00:10.00]love\r\n", kSjis, true}};
    for (const auto& [utf8, written, certain] : cases) {
        const std::string bytes = written == kEuc ? SjisToEucString(test::Sjis(utf8)) : test::Sjis(utf8);
        const CodeSetGuess guess = GuessSjisOrEuc(bytes);
        EXPECT_EQ(std::tuple(guess.codeSet, guess.certain), std::tuple(written, certain)) << utf8;
    }
    // Bytes valid in neither are taken as they stand.
    const CodeSetGuess broken = GuessSjisOrEuc("[00:01.00]\xA4\xA2\x80\xFF");
    EXPECT_EQ(std::tuple(broken.codeSet, broken.certain), std::tuple(kSjis, true));
}

}  // namespace
}  // namespace zvek
