// The conversions among plain lyrics text, WinAmp-style timed lyrics and
// player lyrics. Each works in place on the document.
#pragma once

namespace zvek {

class LyricsDocument;

// Plain text -> player lyrics, every line at time 0 under the template.
void ConvertTextToZVEK(LyricsDocument& doc);
// Player lyrics -> plain text: one text line per lyrics string.
void ConvertZVEKToText(LyricsDocument& doc);
// WinAmp-style "[mm:ss:xx]words" lines -> player lyrics.
void ConvertWinAmpToZVEK(LyricsDocument& doc);

// The steps of the text conversion, on the selected lines.
void RetimeSelection(LyricsDocument& doc);
void NormalizeSelection(LyricsDocument& doc);

}  // namespace zvek
