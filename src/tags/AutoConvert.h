// Convert Auto: one command that looks at what the document holds and runs
// the conversion that fits it.
#pragma once

namespace zvek {

class LyricsDocument;

enum class AutoAction {
    FromUrl,    // the document names its reference page ("URL=" http/https)
    TagToZVEK,  // a tag file: ask for its reference
    ZVEKToTag,  // player lyrics: ask for a reference
    WinAmp,     // WinAmp-style timed lyrics
    Text,       // anything else is plain lyrics text
};

// The first test that holds decides, on the document as it is now.
AutoAction DecideAutoConversion(const LyricsDocument& doc);

// What the user is told was chosen: "Convert Auto: Tag→ZVEK", ...
const char* AutoConversionNote(const LyricsDocument& doc, AutoAction action);

// Runs the decided conversion, with the window's dialogs where it needs a
// reference file.
void MenuConvertAutoClick(LyricsDocument& doc);

}  // namespace zvek
