#include "window/CommandLine.h"

#include <filesystem>
#include <string_view>

#include "lyrics/LyricsDocument.h"
#include "platform/Files.h"
#include "platform/FsPath.h"
#include "tags/TagConversions.h"
#include "text/Sjis.h"

namespace zvek {

namespace {

bool IsOptionWord(std::string_view word) {
    return EqualsIgnoreCase(word, "convert") || EqualsIgnoreCase(word, "noopen") || EqualsIgnoreCase(word, "zvek");
}

// Makes a folder current for its lifetime and then goes back. Through
// std::filesystem, which takes the folder's name as UTF-16 on Windows.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& dir) {
        if (dir.empty()) return;
        std::error_code ec;
        saved_ = std::filesystem::current_path(ec);
        if (ec) return;
        std::filesystem::current_path(FsPath(dir), ec);
        if (ec) saved_.clear();
    }
    ~CurrentDirectory() {
        // A folder we came from that is gone leaves nothing sensible to do.
        std::error_code ec;
        if (!saved_.empty()) std::filesystem::current_path(saved_, ec);
    }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

private:
    std::filesystem::path saved_;
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
