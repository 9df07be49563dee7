#include "lyrics/LyricsFormat.h"

#include <string>

#include "text/Sjis.h"

namespace zvek {

const std::array<std::string_view, 15> kLyricsTemplate = {
    "[Spec]",
    "Title=",
    "Artist=",
    "Lyrics=",
    "Music=",
    "Presenter=",
    "Comment=",
    "",
    "Size=246,38",
    "Adjust=0",
    // Font="ＭＳ Ｐゴシック",-16,SHIFTJIS,Normal
    "Font=\"\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e\",-16,SHIFTJIS,Normal",
    "Alignment=Center",
    "WordWrap=1",
    "",
    "[Text]",
};

bool IsTextSectionLine(std::string_view line) { return LowerAscii(line) == "[text]"; }
bool IsSpecSectionLine(std::string_view line) { return LowerAscii(line) == "[spec]"; }

bool HasDisplayDirective(std::string_view words) {
    const std::string lower = LowerAscii(words);
    for (auto directive : kDisplayDirectives)
        if (ContainsText(lower, directive)) return true;
    return false;
}

}  // namespace zvek
