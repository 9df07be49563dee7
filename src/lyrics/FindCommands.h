// The Find menu: look for the song's words on the two lyrics sites, keyed
// by the document's "Title=" or "Artist=" value, and open the page its
// "URL=" line names. Everything is shown in the user's browser through the
// host; nothing is reported.
#pragma once

#include <string>
#include <vector>

#include "lyrics/LyricsDocument.h"
#include "web/SearchAddresses.h"

namespace zvek {

// What FindLyrics opens, in order: the UtaMap search and then the UtaNet
// search; for an empty value the UtaNet top page and then UtaMap's.
std::vector<std::string> FindLyricsAddresses(const LyricsDocument& doc, SearchField field);
void FindLyrics(LyricsDocument& doc, SearchField field);

// Opens the "URL=" page; a UtaNet lyrics page under whichever of its two
// paths the server answers. Nothing happens unless the value is an http or
// https address.
void MenuOpenURLClick(LyricsDocument& doc);

}  // namespace zvek
