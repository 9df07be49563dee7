// The two conversions between player lyrics and tag files, and the
// decisions of the commands that start them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zvek {

class LyricsDocument;

// References are web addresses or file paths in the native (UTF-8) form, as
// every path in the core; values taken from the document are converted
// before they are passed in.

// Player lyrics -> tag file, with `reference` (a web address, a saved
// .htm/.html page or any text file) as the page the entries point into.
// False after a failure, already reported through the host; the document is
// then unchanged. Words the page does not hold are written as they stand,
// and the host is warned how many characters that was (UnfoundCharsNote).
bool MakeTagFile(LyricsDocument& doc, const std::string& reference);
std::string UnfoundCharsNote(std::size_t count);

// Tag file -> player lyrics, resolving every entry in the reference's page
// text. False when the reference could not be read, when it is the site's
// busy page, or when some entries stayed unresolved (ResultCode 13; the
// document then holds the result with those entries as written).
bool RestoreFromTagFile(LyricsDocument& doc, const std::string& reference);

// A document is a tag file when its text holds "[TagLyr]" (exact case).
bool IsTagFile(const LyricsDocument& doc);

// The document's "URL=" value (UTF-8) when it is an http:// or https://
// address (scheme in any case), else "". A shared tag file is anybody's
// text: any other value could name a local file to be copied into the
// output, so it counts as no "URL=" wherever the program takes a reference
// from the document itself.
std::string DocumentReferenceUrl(const LyricsDocument& doc);

// The reference a tag file names itself in "Reference=", as far as it may be
// trusted: an http:// or https:// address, or the bare name of a saved page
// (".htm"/".html", no folder, not hidden) that exists beside `tagFilePath`;
// otherwise "". Nothing else in a shared tag file may choose a file to read.
std::string TagFileReference(const LyricsDocument& doc, const std::string& tagFilePath);

// The name of the file a tag file is rebuilt into, from its "LyrFile="
// value (Shift-JIS): only the value's file-name part, and only when that is
// a player lyrics name (no leading ".", extension .lyr, .lyrics, .words,
// .zveklyr, .zvekwrd or .txt in any case); otherwise "", and the tag file's
// own name with ".lyr" is used.
std::string LyrFileName(std::string_view value);

// The tag conversion commands: "&Tag→ZVEK..." and "&ZVEK→Tag..." ask for a
// local reference file (never the document itself; "&Tag→ZVEK..." on a
// document that is no tag file says so and asks nothing); the URL command converts with the document's "URL="
// page, in the direction the document's kind calls for.
void MenuTagToZVEKClick(LyricsDocument& doc);
void MenuZVEKToTagClick(LyricsDocument& doc);
void MenuConvertFromURLClick(LyricsDocument& doc);
// Converts with the page the user's browser shows, in the direction the
// document's kind calls for; says so when no page is shown.
void MenuConvertFromIEClick(LyricsDocument& doc);
// Converts with `reference` in the direction the document's kind calls for.
bool ConvertWithReference(LyricsDocument& doc, const std::string& reference);

}  // namespace zvek
