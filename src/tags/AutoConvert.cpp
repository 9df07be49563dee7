#include "tags/AutoConvert.h"

#include "lyrics/Conversions.h"
#include "lyrics/LyricsDocument.h"
#include "tags/TagConversions.h"

namespace zvek {

AutoAction DecideAutoConversion(const LyricsDocument& doc) {
    // Only a web address names a reference; anything else is as good as none.
    if (!DocumentReferenceUrl(doc).empty()) return AutoAction::FromUrl;
    if (doc.Contains("[TagLyr]")) return AutoAction::TagToZVEK;
    if (doc.Contains("[Spec]")) return AutoAction::ZVEKToTag;
    if (doc.Contains("[[[Music Info]]]") || doc.Contains("[00:")) return AutoAction::WinAmp;
    return AutoAction::Text;
}

void MenuConvertAutoClick(LyricsDocument& doc) {
    switch (DecideAutoConversion(doc)) {
    case AutoAction::FromUrl:
        MenuConvertFromURLClick(doc);
        break;
    case AutoAction::TagToZVEK:
        MenuTagToZVEKClick(doc);
        break;
    case AutoAction::ZVEKToTag:
        MenuZVEKToTagClick(doc);
        break;
    case AutoAction::WinAmp:
        ConvertWinAmpToZVEK(doc);
        break;
    case AutoAction::Text:
        ConvertTextToZVEK(doc);
        break;
    }
}

}  // namespace zvek
