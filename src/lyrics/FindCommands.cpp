#include "lyrics/FindCommands.h"

#include "text/Codec.h"
#include "web/Inet.h"
#include "web/LyricsSites.h"
#include "web/WebAddress.h"

namespace zvek {

std::vector<std::string> FindLyricsAddresses(const LyricsDocument& doc, SearchField field) {
    const std::string keyword = doc.Value(field == SearchField::Artist ? "Artist" : "Title");
    if (keyword.empty()) return {SiteAddress(UtaNetHost(), kTopPagePath), SiteAddress(UtaMapHost(), kTopPagePath)};
    return {UtaMapSearchAddress(keyword, field), UtaNetSearchAddress(keyword, field)};
}

void FindLyrics(LyricsDocument& doc, SearchField field) {
    for (const auto& address : FindLyricsAddresses(doc, field)) doc.host().OpenInBrowser(address);
}

void MenuOpenURLClick(LyricsDocument& doc) {
    // The host takes UTF-8; an address is ASCII anyway unless someone typed
    // a non-ASCII path, which the browser then encodes as UTF-8.
    const std::string value = doc.Value("URL");
    if (!IsHttpAddress(value)) return;
    doc.host().OpenInBrowser(ResolveUtaNetUrl(SjisToUtf8(value)));
}

}  // namespace zvek
