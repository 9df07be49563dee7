#include "platform/Association.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/DesktopEntry.h"
#include "platform/Files.h"
#include "platform/Launch.h"

namespace zvek {

namespace {

namespace fs = std::filesystem;

constexpr const char* kMimePackage = "/mime/packages/zveklc-taglyr.xml";
constexpr const char* kDesktopId = "zveklc.desktop";
constexpr const char* kConverterKey = "X-ZVEKLC-Converter";
constexpr const char* kConvertGroup = "Desktop Action convert";
// Ours are a kilobyte; the cap keeps a planted giant from being read.
constexpr std::size_t kMaxOwnFileBytes = 1024 * 1024;

// Relative entries in the XDG variables are to be ignored.
bool Absolute(std::string_view path) { return !path.empty() && path[0] == '/'; }

std::vector<std::string> SplitList(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != separator) continue;
        if (i > start) parts.emplace_back(text.substr(start, i - start));
        start = i + 1;
    }
    return parts;
}

std::string DesktopPath(const std::string& folder) { return folder + "/applications/" + kDesktopId; }

// ---- the desktop entry's text ----

// A path as one quoted argument of an Exec key: inside the quotes '"', '`',
// '$' and '\' take a backslash, and a literal '%' is "%%" since a single
// one starts a field code.
std::string QuoteExecArgument(std::string_view path) {
    std::string out = "\"";
    for (const char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
        if (c == '%') out += '%';
    }
    return out + "\"";
}

std::string OpenCommand(const std::string& program) { return QuoteExecArgument(program) + " %f"; }
std::string ConvertCommand(const std::string& program) { return QuoteExecArgument(program) + " -convert %f"; }

// A string value as the file holds it: backslashes are escaped once more
// (so a backslash inside a quoted Exec argument is written as four).
std::string EscapeValue(std::string_view value) {
    std::string out;
    for (const char c : value) {
        if (c == '\\') out += '\\';
        out += c;
    }
    return out;
}

// A desktop file has no way to hold a line break or other control
// character in a command.
bool UsablePath(std::string_view path) {
    if (!Absolute(path)) return false;
    for (const char c : path)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return true;
}

std::string MimePackageText() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
           "  <mime-type type=\"text/x-zvek-taglyr\">\n"
           "    <comment>ZVEK TagFile</comment>\n"
           "    <comment xml:lang=\"ja\">ZVEK タグファイル</comment>\n"
           "    <sub-class-of type=\"text/plain\"/>\n"
           "    <generic-icon name=\"text-x-generic\"/>\n"
           "    <glob pattern=\"*.taglyr\" case-sensitive=\"false\"/>\n"
           "  </mime-type>\n"
           "</mime-info>\n";
}

std::string DesktopEntryText(const std::string& program) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=ZVEK Lyrics Converter\n"
           "Exec=" +
           EscapeValue(OpenCommand(program)) +
           "\n"
           "Icon=zveklc\n"
           "Terminal=false\n"
           "Categories=AudioVideo;Audio;\n"
           "MimeType=text/x-zvek-taglyr;\n"
           "Actions=convert;\n" +
           std::string(kConverterKey) + "=" + EscapeValue(program) +
           "\n"
           "\n"
           "[" +
           kConvertGroup +
           "]\n"
           "Name=Convert\n"
           "Name[ja]=変換\n"
           "Exec=" +
           EscapeValue(ConvertCommand(program)) + "\n";
}

// ---- reading a desktop entry back ----

struct DesktopEntry {
    bool hasConvertGroup = false;
    bool hasConverter = false;
    bool listsConvert = false;
    std::optional<std::string> exec;
};

std::optional<DesktopEntry> ReadDesktopEntry(const std::string& path) {
    std::string text;
    try {
        text = ReadRegularFile(path, kMaxOwnFileBytes);
    } catch (const FileError&) {
        return std::nullopt;
    }
    const DesktopEntryFile file = ParseDesktopEntry(text);
    DesktopEntry entry;
    for (const std::string& group : file.groups)
        entry.hasConvertGroup = entry.hasConvertGroup || group == kConvertGroup;
    entry.hasConverter = file.Find(kConverterKey) != nullptr;
    if (const std::string* exec = file.Find("Exec")) entry.exec = *exec;
    if (const std::string* actions = file.Find("Actions"))
        for (const std::string& action : SplitList(*actions, ';'))
            if (action == "convert") entry.listsConvert = true;
    return entry;
}

// Both of our files name the tag file type; a file of the user's that
// happens to lie under one of our names does not.
bool WrittenByUs(const std::string& path) {
    try {
        return ReadRegularFile(path, kMaxOwnFileBytes).find(kTagLyrMimeType) != std::string::npos;
    } catch (const FileError&) {
        return false;
    }
}

// Whether an Exec line starts with the full path of a program that is not
// there (any longer). A bare name is the desktop's to find in its PATH.
bool NamesMissingProgram(std::string_view exec) {
    const auto args = SplitExec(exec);
    if (!args || args->empty() || !Absolute(args->front())) return false;
    std::string program;
    for (std::size_t i = 0; i < args->front().size(); ++i) {
        program += args->front()[i];
        if (args->front()[i] == '%') ++i;  // "%%" is one literal '%'
    }
    return !FileExists(program);
}

// ---- telling the desktop ----

std::optional<std::string> FindInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    for (const std::string& dir : SplitList(path ? path : "/usr/local/bin:/usr/bin:/bin", ':')) {
        const std::string candidate = dir + "/" + name;
        struct stat st {};
        if (Absolute(dir) && ::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

// The tools answer in a moment; one that hangs must not hold the start-up
// check, which the window's close waits for.
constexpr auto kToolTimeout = std::chrono::seconds(5);

void RunIfPresent(std::vector<std::string> argv) {
    if (const auto program = FindInPath(argv[0])) {
        argv[0] = *program;
        // A tool that fails leaves the files in place; the next login picks them up.
        RunProgramOutput(argv, kToolTimeout, 64 * 1024);
    }
}

}  // namespace

std::string ForeignTagLyrAssociationFile() {
    const std::string home = UserDataFolder();
    if (home.empty()) return {};
    for (const std::string& path : {home + kMimePackage, DesktopPath(home)})
        if (NameTaken(path) && !WrittenByUs(path)) return path;
    return {};
}

bool detail::AssociationCanName(const std::string& programPath) {
    return !UserDataFolder().empty() && UsablePath(programPath);
}

bool detail::WriteAssociationPieces(const std::string& programPath) {
    const std::string home = UserDataFolder();
    std::error_code ec;
    fs::create_directories(home + "/mime/packages", ec);
    fs::create_directories(home + "/applications", ec);
    try {
        WriteOwnFile(home + kMimePackage, MimePackageText());
        WriteOwnFile(DesktopPath(home), DesktopEntryText(programPath));
    } catch (const FileError&) {
        return false;
    }
    RunIfPresent({"update-mime-database", home + "/mime"});
    RunIfPresent({"update-desktop-database", home + "/applications"});
    RunIfPresent({"xdg-mime", "default", kDesktopId, kTagLyrMimeType});
    return true;
}

std::optional<AssociationState> detail::FoundAssociation(const std::string& programPath) {
    if (UserDataFolder().empty()) return AssociationState::Failed;
    bool haveMimePackage = false;
    std::optional<std::string> desktopFile;  // the one the desktop uses: the first found
    for (const std::string& folder : DataFolders()) {
        haveMimePackage = haveMimePackage || FileExists(folder + kMimePackage);
        if (!desktopFile && FileExists(DesktopPath(folder))) desktopFile = DesktopPath(folder);
    }
    if (!haveMimePackage || !desktopFile) return std::nullopt;
    const auto entry = ReadDesktopEntry(*desktopFile);
    if (!entry || !entry->hasConverter || !entry->listsConvert || !entry->hasConvertGroup) return std::nullopt;
    if (entry->exec && *entry->exec == OpenCommand(programPath)) return AssociationState::Complete;
    if (entry->exec && NamesMissingProgram(*entry->exec)) return std::nullopt;
    return AssociationState::Elsewhere;
}

}  // namespace zvek
