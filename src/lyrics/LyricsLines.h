// Reading and writing single lines of a player lyrics file: time tags,
// the split into time and words, quoting, and quoted lists.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zvek {

// A time is whole milliseconds; anything below 0 means "no time".
inline constexpr int kNoTime = -1;

// Reads a time tag ("mm:ss:xxx", "mm:ss" or "mm:ss.ff"), ignoring blanks
// around it and anything from the first "=" on. Returns kNoTime when the text
// is not a time or the time is outside 0..2^31-1.
int ParseTimeTag(std::string_view text);
// "%.2d:%.2d:%.3d" of minutes, seconds and milliseconds; `time` >= 0.
std::string FormatTimeTag(int time);

// Splits a player lyrics line into its time and its words (everything after
// the first "="). A line that is not timed gives kNoTime and the whole line.
// Unless `keepQuotes`, the words come back unquoted (UnquoteValue).
int SplitLyricsLine(std::string_view line, std::string& words, bool keepQuotes);

// Splits a line as the editor's commands read it: into its time tag text
// (empty when the line does not start with a valid time tag) and its words,
// the whole line or what follows the first "=" of a timed line, unquoted
// unless `keepQuotes`.
std::string SplitTagAndWords(std::string_view line, std::string& words, bool keepQuotes);

// The time tag, "=" and the words (quoted if they need it); the words alone
// when `time` is below 0.
std::string MakeLyricsLine(int time, std::string_view words);
// A timed line whose words are `list`: one string plain, several as a
// comma-separated list of quoted strings.
std::string JoinLyricsLine(int time, const std::vector<std::string>& list);

// Encloses `s` in double quotes, each double quote inside written twice.
std::string Enquote(std::string_view s);
// Encloses words in double quotes (doubling the quotes inside) when they
// begin or end with a blank or a full-width space, so that it survives.
std::string QuoteWords(std::string_view words);
// The words without their enclosing quotes, inner doubled quotes undone.
std::string UnquoteWords(std::string_view words);
void UnquoteWordsInPlace(std::string& words);
// UnquoteWords, except that a quoted list is returned unchanged.
std::string UnquoteValue(std::string_view words);
// The words with each comma that separates two quoted strings (and the
// blanks and tabs around it) replaced by one CR.
std::string BreakQuotedList(std::string_view words);
// The words are a list of quoted strings (at least one separating comma).
bool IsQuotedList(std::string_view words);
// BreakQuotedList, split into its strings.
std::vector<std::string> SplitQuotedList(std::string_view words);
// One string of a list: unquoted, and without blanks or full-width spaces at
// either end.
std::string CleanWords(std::string_view string);

// Characters that the tag-file writer carries literally, and characters that
// end a run of words and belong to it: Shift-JIS texts, one character after
// the other (one or two bytes each).
extern const std::string_view LiteralChars;
extern const std::string_view ClosingChars;
// `c` (one whole character) is one of the characters of `set`.
bool InCharSet(std::string_view set, std::string_view c);

}  // namespace zvek
