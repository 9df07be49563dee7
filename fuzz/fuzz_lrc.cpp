// The LRC reader on hostile input: the bytes go through code set detection
// and the reader, and whatever timed lines come out must survive being
// written as LRC and read again with the same stamps (to 10 ms); written
// out, they are never refused. Run it with a -max_len of a few hundred
// kilobytes now and then: stamps times words only grow large past the
// default 4096 bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "lyrics/Lrc.h"
#include "lyrics/LyricsFormat.h"
#include "lyrics/LyricsLines.h"
#include "text/Sjis.h"

namespace {

std::vector<int> Times(const std::vector<std::string>& lyrics) {
    std::vector<int> times;
    std::string words;
    for (std::size_t i = 15; i < lyrics.size(); ++i) {
        const int time = zvek::SplitLyricsLine(lyrics[i], words, true);
        // Words holding a display directive are instructions, which LRC
        // has no place for.
        if (time >= 0 && !zvek::HasDisplayDirective(words)) times.push_back((time + 5) / 10);
    }
    return times;
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
    int invalid = 0;
    std::vector<std::string> lyrics;
    try {
        lyrics = zvek::LrcToZVEK(zvek::SplitLines(text), invalid);
    } catch (const zvek::LrcError&) {
        return 0;  // refused for its stamps: nothing more to check
    }
    if (lyrics.size() < 15) std::abort();
    if (!PlainText(text)) return 0;

    // Lines whose words hold a quoted list come back as one line per string,
    // and an untimed line may read as a timed one once it is player lyrics,
    // so only the set of distinct stamps has to match.
    int skipped = 0;
    const std::string lrc = zvek::ZVEKToLrc(lyrics, {.shiftJis = true}, skipped);
    const std::vector<std::string> again = zvek::LrcToZVEK(zvek::SplitLines(lrc), invalid);
    std::vector<int> before = Times(lyrics), after = Times(again);
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    before.erase(std::unique(before.begin(), before.end()), before.end());
    after.erase(std::unique(after.begin(), after.end()), after.end());
    if (before != after) std::abort();
    return 0;
}
