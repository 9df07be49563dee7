// Taking the page the user's browser shows into the document.
#pragma once

namespace zvek {

class LyricsDocument;

// The message when no browser page can be found.
inline constexpr const char* kNoBrowserPageText = "インターネットエクスプローラーで歌詞ページを表示させてください";

// Opens the page the browser shows as text: a web page is downloaded into
// the private temporary folder, its text opened and the file removed, so
// the document has no file name; a local page opens under its own name.
void MenuOpenIEClick(LyricsDocument& doc);

}  // namespace zvek
