// The desktop program's command line and the unattended conversion it can
// ask for: "zveklc DOCUMENT [REFERENCE [OUTPUT]]" with the options
// "-convert", "-noopen" and "-zvek" anywhere among them.
#pragma once

#include <string>
#include <vector>

namespace zvek {

class LyricsDocument;

struct CommandLine {
    std::string document;   // the first file argument
    std::string reference;  // the second
    std::string output;     // the third; later ones are ignored
    bool convert = false;   // "-convert": the document's URL= page is the reference
};

// Scans the arguments (without the program's own path). Options are
// compared without regard to case; "/convert", "/noopen" and "/zvek" count
// as the dash forms. Any other argument starting with "-" is ignored; every
// other argument, an absolute path included, is a file argument.
CommandLine ScanArguments(const std::vector<std::string>& args);

// Converts the opened document with `reference` and saves the result:
// to `output` when given, else through Save As. Runs only when the document
// opened (ResultCode 0). The document's folder is the current directory
// meanwhile, so relative reference and output paths are taken from there.
// A ".taglyr" document is restored, any other made into a tag file. A
// failed conversion saves nothing. True when the result was saved.
bool ConvertUnattended(LyricsDocument& doc, const std::string& reference, const std::string& output, bool bringToTop);

}  // namespace zvek
