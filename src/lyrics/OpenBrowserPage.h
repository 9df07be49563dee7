// Taking the page the user's browser shows into the document.
#pragma once

#include <optional>
#include <string>

namespace zvek {

class Host;
class LyricsDocument;

// The message when no browser page can be found.
inline constexpr const char* kNoBrowserPageText = "ブラウザで歌詞ページを表示させてください";

// The page the browser shows, as the program opens it (NormalizeBrowserUrl):
// nothing when the user stopped the asking, or, said in an error box, when
// the browser shows no page the program takes.
std::optional<std::string> ShownBrowserPage(Host& host);

// Opens the page the browser shows as text: a web page is downloaded and its
// text opened, so the document has no file name; a local page opens under
// its own name.
void MenuOpenIEClick(LyricsDocument& doc);

}  // namespace zvek
