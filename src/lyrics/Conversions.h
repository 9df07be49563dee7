// The conversions among plain lyrics text, WinAmp-style timed lyrics and
// player lyrics. Each works in place on the document.
#pragma once

#include <functional>
#include <string>
#include <string_view>

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

// The same steps on one line: time 0 with the words kept as written; and a
// timed line's words cleaned, a list string by string (false, with the line
// untouched, for an untimed line or one without words).
std::string RetimeLine(std::string_view line);
bool NormalizeLine(std::string& line);
// One line of plain text as ConvertTextToZVEK turns it: trimmed, retimed,
// normalized.
std::string TextLineToZVEK(std::string_view line);
// ConvertTextToZVEK for a text that is in no document: the lines it would
// leave there, template first, given to `line` one by one as they are made.
void TextToZVEKLines(std::string_view text, const std::function<void(std::string_view)>& line);

}  // namespace zvek
