// The LRC reader on hostile input: the bytes go through code set detection
// and the reader, and every timed line that comes out must survive being
// written as LRC and read again: the same times and the same words, in the
// same order, with nothing left for the reader to change. Run it with a
// -max_len of a few hundred kilobytes now and then: stamps times words only
// grow large past the default 4096 bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "lyrics/Lrc.h"
#include "lyrics/LyricsLines.h"
#include "text/Sjis.h"

namespace {

std::vector<std::pair<int, std::string>> TimedLines(const std::vector<std::string>& lyrics) {
    std::vector<std::pair<int, std::string>> timed;
    std::string words;
    for (std::size_t i = 15; i < lyrics.size(); ++i) {
        const int time = zvek::SplitLyricsLine(lyrics[i], words, false);
        if (time >= 0) timed.emplace_back(time, words);
    }
    return timed;
}

// Proper Shift-JIS text: every lead byte has its trail byte, and no control
// bytes but tabs and line ends. Broken bytes may pair up differently once
// written next to a bracket, so only such text has to come back the same.
bool PlainText(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b < 0x20 && b != '\t' && b != '\r' && b != '\n') || b == 0x7F) return false;
        if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
            if (i + 1 == s.size()) return false;
            const auto t = static_cast<unsigned char>(s[++i]);
            if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
        } else if (b >= 0x80 && (b < 0xA1 || b > 0xDF)) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t replaced = 0;
    const std::string text = zvek::LrcTextFromBytes(std::string(input), replaced);
    zvek::LrcReadCounts invalid;
    std::vector<std::string> lyrics;
    try {
        lyrics = zvek::LrcToZVEK(zvek::SplitLines(text), invalid);
    } catch (const zvek::LrcError&) {
        return 0;  // refused for its stamps: nothing more to check
    }
    if (lyrics.size() < 15) std::abort();
    if (!PlainText(text)) return 0;

    // Words that hold "<" may hold what reads as a word time once the
    // first has gone; only other text has to come back the same.
    if (text.find('<') != std::string::npos) return 0;
    int skipped = 0;
    const std::string lrc = zvek::ZVEKToLrc(lyrics, {.milliseconds = true, .shiftJis = true}, skipped);
    zvek::LrcReadCounts again;
    if (TimedLines(lyrics) != TimedLines(zvek::LrcToZVEK(zvek::SplitLines(lrc), again))) std::abort();
    if (again.changedLines != 0) std::abort();
    return 0;
}
