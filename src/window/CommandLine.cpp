#include "window/CommandLine.h"

#include <unistd.h>

#include <cstdlib>

#include <string_view>

#include "lyrics/LyricsDocument.h"
#include "platform/Files.h"
#include "tags/TagConversions.h"
#include "text/Sjis.h"

namespace zvek {

namespace {

bool IsOptionWord(std::string_view word) {
    return EqualsIgnoreCase(word, "convert") || EqualsIgnoreCase(word, "noopen") || EqualsIgnoreCase(word, "zvek");
}

// Makes a folder current for its lifetime and then goes back.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& dir) {
        if (dir.empty()) return;
        char* here = ::getcwd(nullptr, 0);
        if (!here) return;
        saved_ = here;
        std::free(here);
        if (::chdir(dir.c_str()) != 0) saved_.clear();
    }
    ~CurrentDirectory() {
        if (!saved_.empty() && ::chdir(saved_.c_str()) != 0) {
            // Nothing sensible is left to do: the folder we came from is gone.
        }
    }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

private:
    std::string saved_;
};

}  // namespace

CommandLine ScanArguments(const std::vector<std::string>& args) {
    CommandLine line;
    for (std::string arg : args) {
        // The slash forms of the options stay accepted, but a path that
        // starts with "/" is a path.
        if (arg.size() > 1 && arg[0] == '/' && IsOptionWord(std::string_view(arg).substr(1))) arg[0] = '-';
        if (EqualsIgnoreCase(arg, "-convert")) line.convert = true;
        if (arg.empty() || arg[0] == '-') continue;
        if (line.document.empty()) line.document = arg;
        else if (line.reference.empty()) line.reference = arg;
        else if (line.output.empty()) line.output = arg;
    }
    return line;
}

bool ConvertUnattended(LyricsDocument& doc, const std::string& reference, const std::string& output, bool bringToTop) {
    if (doc.ResultCode != kResultOk || reference.empty()) return false;
    const CurrentDirectory inDocumentFolder(ExtractFileDir(doc.FileName()));
    const bool restore = LowerAscii(ExtractFileExt(doc.FileName())) == ".taglyr";
    const bool converted = restore ? RestoreFromTagFile(doc, reference) : MakeTagFile(doc, reference);
    if (bringToTop) doc.host().BringToTop();
    // A busy site leaves the result code at 0 but converts nothing.
    if (!converted || doc.ResultCode != kResultOk) return false;
    if (output.empty()) return doc.MenuSaveAsClick();
    doc.SaveFile(output);
    return true;
}

}  // namespace zvek
