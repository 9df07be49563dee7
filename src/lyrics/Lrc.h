// LRC files, the timed lyrics most players and lyrics sites use, in and out
// of player lyrics. The WinAmp conversion stays as it is for the scripts that
// rely on it; this reader is the forgiving one for what is found in the wild.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Host.h"

namespace zvek {

class LyricsDocument;

// The Shift-JIS text of an LRC file's bytes: a UTF-8 or UTF-16 byte-order
// mark is honoured and removed; otherwise UTF-8 when the bytes are valid
// UTF-8 with a multi-byte sequence, else Shift-JIS or EUC-JP as
// GuessSjisOrEuc tells. `replaced` counts characters that had no Shift-JIS
// form and became "?"; a no-break space becomes a blank. `codeSetNote`, when
// given, is set to the note for the user that says which code set was
// assumed when that was only a guess (bytes that read as both), and emptied
// otherwise.
std::string LrcTextFromBytes(std::string bytes, std::size_t& replaced, std::string* codeSetNote = nullptr);

// Reads a time stamp's text ("mm:ss.xx", "m:ss", "hh:mm:ss.xxx",
// "mm:ss:xx", blanks anywhere ignored) into milliseconds, or kNoTime.
int ParseLrcTime(std::string_view text);

// A line's words are written once for each of its stamps, so a few
// kilobytes of stamps in front of long words would ask for gigabytes. A file
// is refused when those copies would make the lyrics more than
// kLrcMaxGrowth times as large as its text (CR LF counted) plus
// kLrcGrowthAllowance: each stamp after a line's first counts its words and
// 12 bytes for the time tag and line end. A real file, even one whose chorus
// lines carry a dozen stamps each, stays far below.
inline constexpr std::size_t kLrcMaxGrowth = 8;
inline constexpr std::size_t kLrcGrowthAllowance = 64 * 1024;

// An LRC file the reader refuses; what() is the message for the user.
class LrcError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the LRC reader had to do to a file's lines: `invalidStamps` lines
// whose stamp could not be read (kept as untimed text), `changedLines` lines
// whose text the player format would have read as its own syntax (a quoted
// list, a display directive, a time tag on an untimed line): their ASCII
// sign became its full-width twin.
struct LrcReadCounts {
    int invalidStamps = 0;
    int changedLines = 0;
};

// LRC lines (Shift-JIS) -> a whole player lyrics file: the template with the
// header tags' values, then one timed line per stamp, sorted by time. Every
// line is written so that the player format reads back the words it had.
// Throws LrcError (TooManyStampsNote) for a file whose stamps would make the
// lyrics too large, before any work on the lines.
std::vector<std::string> LrcToZVEK(std::vector<std::string> lrc, LrcReadCounts& counts);

// The note for the user on what `counts` holds; empty when it is all zero.
std::string LrcReadNote(const LrcReadCounts& counts);
// The message of a file refused for its stamps; `line` is the line (from 1)
// at which the lyrics passed the limit.
std::string TooManyStampsNote(std::size_t line);

// The Convert menu's "&LRC→ZVEK" on the document, in place. A refused file
// throws LrcError and leaves the document as it was.
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
