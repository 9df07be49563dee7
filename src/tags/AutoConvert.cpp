#include "tags/AutoConvert.h"

#include <utility>

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

const char* AutoConversionNote(const LyricsDocument& doc, AutoAction action) {
    switch (action) {
    case AutoAction::FromUrl:
        return IsTagFile(doc) ? "Convert Auto: Tag→ZVEK（文書の URL= のページで）"
                              : "Convert Auto: ZVEK→Tag（文書の URL= のページで）";
    case AutoAction::TagToZVEK:
        return "Convert Auto: Tag→ZVEK";
    case AutoAction::ZVEKToTag:
        return "Convert Auto: ZVEK→Tag";
    case AutoAction::WinAmp:
        return "Convert Auto: WinAmp→ZVEK";
    case AutoAction::Text:
        break;
    }
    return "Convert Auto: Text→ZVEK";
}

void MenuConvertAutoClick(LyricsDocument& doc) {
    constexpr std::pair<AutoAction, void (*)(LyricsDocument&)> kConversions[] = {
        {AutoAction::FromUrl, MenuConvertFromURLClick}, {AutoAction::TagToZVEK, MenuTagToZVEKClick},
        {AutoAction::ZVEKToTag, MenuZVEKToTagClick},    {AutoAction::WinAmp, ConvertWinAmpToZVEK},
        {AutoAction::Text, ConvertTextToZVEK},
    };
    const AutoAction action = DecideAutoConversion(doc);
    for (const auto& [which, convert] : kConversions)
        if (which == action) return convert(doc);
}

}  // namespace zvek
