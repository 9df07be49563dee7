// LRC files, the timed lyrics most players and lyrics sites use, in and out
// of player lyrics. The WinAmp conversion stays as it is for the scripts that
// rely on it; this reader is the forgiving one for what is found in the wild.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Host.h"

namespace zvek {

class LyricsDocument;

// The Shift-JIS text of an LRC file's bytes: a UTF-8 or UTF-16 byte-order
// mark is honoured and removed; otherwise UTF-8 when the bytes are valid
// UTF-8 with a multi-byte sequence, EUC-JP when they are valid EUC-JP but not
// valid Shift-JIS, else Shift-JIS as it stands. `replaced` counts characters
// that had no Shift-JIS form and became "?".
std::string LrcTextFromBytes(std::string bytes, std::size_t& replaced);

// Reads a time stamp's text ("mm:ss.xx", "m:ss", "hh:mm:ss.xxx",
// "mm:ss:xx", blanks anywhere ignored) into milliseconds, or kNoTime.
int ParseLrcTime(std::string_view text);

// LRC lines (Shift-JIS) -> a whole player lyrics file: the template with the
// header tags' values, then one timed line per stamp, sorted by time.
// `invalidStamps` counts the lines whose stamp could not be read (they are
// kept as untimed text).
std::vector<std::string> LrcToZVEK(std::vector<std::string> lrc, int& invalidStamps);

// The note for lines whose stamp could not be read.
std::string InvalidStampsNote(int count);

// The Convert menu's "&LRC→ZVEK" on the document, in place.
void ConvertLrcToZVEK(LyricsDocument& doc);

struct LrcWriteOptions {
    bool milliseconds = false;  // three fraction digits instead of two
    bool shiftJis = false;      // CP932 for old devices instead of UTF-8
};

// Player lyrics lines -> the bytes of an LRC file (every line ends CR LF).
// `skipped` counts the lines that LRC has no place for: comments, display
// directives and untimed lines.
std::string ZVEKToLrc(const std::vector<std::string>& lines, const LrcWriteOptions& options, int& skipped);

// The hundredths (or milliseconds) stamp of a time, "[mm:ss.xx]".
std::string FormatLrcStamp(int time, bool milliseconds);

// The File menu's own save dialog for "LRCに書き出す(&L)...".
FileDialog MakeLrcSaveDialog();
// Asks where to write the document as LRC and writes it there; the document
// itself is left as it is. True when a file was written.
bool MenuSaveLrcClick(LyricsDocument& doc, FileDialog& dialog);

}  // namespace zvek
