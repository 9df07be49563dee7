#include "platform/ShowInBrowser.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>
#include <system_error>
#include <tuple>
#include <vector>

#include "platform/DesktopEntry.h"
#include "platform/Files.h"
#include "platform/Launch.h"
#include "text/Sjis.h"

namespace zvek {

namespace {

namespace fs = std::filesystem;

// xdg-mime is a shell script that asks the desktop; it answers in well under
// a second, but a wedged desktop service must not freeze the window.
constexpr auto kQueryTimeout = std::chrono::seconds(5);
constexpr std::size_t kQueryOutputLimit = 64 * 1024;
// A desktop entry is a few kilobytes; anything far larger is not one.
constexpr std::size_t kDesktopFileLimit = 1024 * 1024;

// The desktop file id of the text/html handler, e.g. "firefox.desktop".
std::optional<std::string> HtmlHandlerId() {
    const auto out = RunProgramOutput({"xdg-mime", "query", "default", "text/html"}, kQueryTimeout, kQueryOutputLimit);
    if (!out) return std::nullopt;
    std::string_view id = *out;
    id = id.substr(0, id.find('\n'));
    id = TrimChars(id.substr(0, id.find(';')), " \t\r\n");
    // An id names a file in an applications folder and nothing else.
    constexpr std::string_view kSuffix = ".desktop";
    if (id.size() <= kSuffix.size() || id.size() > 255 || id.substr(id.size() - kSuffix.size()) != kSuffix ||
        id.front() == '.' || id.find('/') != std::string_view::npos || id.find('\0') != std::string_view::npos)
        return std::nullopt;
    return std::string(id);
}

std::vector<fs::path> ApplicationFolders() {
    std::vector<fs::path> folders;
    for (const std::string& folder : DataFolders()) folders.push_back(fs::path(folder) / "applications");
    return folders;
}

// A desktop file id may stand for a file in a subfolder: "kde-foo.desktop"
// is also applications/kde/foo.desktop. Each "-" may be a folder or not, so
// the ways to read an id double with every dash; a folder that links back
// into the tree would make them all real. So each folder (by device and
// inode) is searched for each rest of the id once, from the shallowest place
// it was reached, and never deeper than real menus nest.
class DesktopFileSearch {
public:
    explicit DesktopFileSearch(const std::string& id) : id_(id) {}

    std::optional<fs::path> Find(const fs::path& folder) { return Find(folder, 0, 0); }

private:
    static constexpr int kMaxDepth = 8;

    std::optional<fs::path> Find(const fs::path& folder, std::size_t offset, int depth) {
        struct stat info {};
        if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
        const auto [tried, fresh] = tried_.try_emplace({info.st_dev, info.st_ino, offset}, depth);
        if (!fresh && tried->second <= depth) return std::nullopt;
        tried->second = depth;

        std::error_code ec;
        const std::string rest = id_.substr(offset);
        if (fs::is_regular_file(folder / rest, ec)) return folder / rest;
        if (depth == kMaxDepth) return std::nullopt;
        for (std::size_t dash = id_.find('-', offset + 1); dash != std::string::npos; dash = id_.find('-', dash + 1))
            if (auto found = Find(folder / id_.substr(offset, dash - offset), dash + 1, depth + 1)) return found;
        return std::nullopt;
    }

    const std::string& id_;
    std::map<std::tuple<dev_t, ino_t, std::size_t>, int> tried_;
};

std::optional<std::string> ReadSmallFile(const fs::path& path) {
    try {
        return ReadRegularFile(path.string(), kDesktopFileLimit);
    } catch (const FileError&) {
        return std::nullopt;
    }
}

// The Exec key of the [Desktop Entry] group; its argument quoting comes after.
std::optional<std::string> ReadExec(const std::string& text) {
    const DesktopEntryFile file = ParseDesktopEntry(text);
    const std::string* exec = file.Find("Exec");
    return exec ? std::optional<std::string>(*exec) : std::nullopt;
}

std::string FileNameLower(std::string_view path) {
    if (const std::size_t slash = path.rfind('/'); slash != std::string_view::npos) path.remove_prefix(slash + 1);
    std::string name(path);
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return name;
}

// Browsers that understand --new-window: the Firefox family and the
// Chromium family. The program may be wrapped in "env VAR=... program" (as
// snap packages do) or be a Flatpak application.
bool TakesNewWindow(const std::vector<std::string>& args, std::size_t addressAt) {
    std::size_t i = 0;
    if (FileNameLower(args[0]) == "env") {
        for (i = 1; i < addressAt && (args[i].find('=') != std::string::npos || args[i].starts_with('-')); ++i) {}
    }
    if (i >= addressAt) return false;
    std::string program = FileNameLower(args[i]);
    if (program == "flatpak") {
        program.clear();
        bool afterRun = false;
        for (std::size_t j = i + 1; j < addressAt && program.empty(); ++j) {
            if (args[j].starts_with("--command=")) program = FileNameLower(args[j].substr(10));
            else if (args[j] == "run") afterRun = true;
            else if (afterRun && !args[j].starts_with('-')) program = FileNameLower(args[j]);
        }
    }
    for (const char* family : {"firefox", "iceweasel", "librewolf", "waterfox", "chromium", "chrome", "brave",
                               "vivaldi", "msedge", "microsoft-edge", "microsoft.edge", "opera"})
        if (program.find(family) != std::string::npos) return true;
    return false;
}

// The argument vector for an Exec line and an address that passed the gate.
std::vector<std::string> BuildCommand(const std::vector<std::string>& execArgs, const std::string& url) {
    std::vector<std::string> args;
    std::size_t addressAt = std::string::npos;
    for (const std::string& arg : execArgs) {
        if (arg.size() == 2 && arg[0] == '%' && std::string_view("%uUfF").find(arg[1]) == std::string_view::npos)
            continue;  // a code standing alone that gives nothing
        if (arg.size() == 2 && arg[0] == '%' && arg[1] != '%') {
            if (addressAt == std::string::npos) addressAt = args.size();
            args.push_back(url);
            continue;
        }
        std::string expanded;
        for (std::size_t i = 0; i < arg.size(); ++i) {
            if (arg[i] != '%') {
                expanded += arg[i];
            } else if (++i == arg.size()) {
                break;
            } else if (arg[i] == '%') {
                expanded += '%';
            } else if (std::string_view("uUfF").find(arg[i]) != std::string_view::npos) {
                return {};  // the address inside a larger argument, such as a script
            }
        }
        args.push_back(std::move(expanded));
    }
    if (args.empty() || args[0].empty()) return {};
    if (addressAt == std::string::npos) {
        addressAt = args.size();
        args.push_back(url);
    }
    bool hasNewWindow = false;
    for (const auto& arg : args) hasNewWindow = hasNewWindow || arg == "--new-window" || arg == "-new-window";
    if (!hasNewWindow && TakesNewWindow(args, addressAt)) {
        // Flatpak forwards what stands between @@u and @@ as addresses; the
        // option belongs before that bracket.
        std::size_t at = addressAt;
        if (at > 0 && (args[at - 1] == "@@u" || args[at - 1] == "@@")) --at;
        args.insert(args.begin() + static_cast<std::ptrdiff_t>(at), "--new-window");
    }
    return args;
}

// Starts the handler with an address the gate let through.
bool StartHandler(const std::string& address) {
    const auto id = HtmlHandlerId();
    if (!id) return false;
    DesktopFileSearch search(*id);
    for (const fs::path& folder : ApplicationFolders()) {
        const auto file = search.Find(folder);
        if (!file) continue;
        // The first entry found hides those of the same id further down the
        // list, whether it is usable or not.
        const auto text = ReadSmallFile(*file);
        const auto exec = text ? ReadExec(*text) : std::nullopt;
        const auto execArgs = exec ? SplitExec(*exec) : std::nullopt;
        if (!execArgs) return false;
        const std::vector<std::string> command = BuildCommand(*execArgs, address);
        return !command.empty() && StartProgram(command);
    }
    return false;
}

bool StartBrowser(const std::optional<std::string>& address) {
    return address && (StartHandler(*address) || StartProgram({"xdg-open", *address}));
}

}  // namespace

std::vector<std::string> BrowserCommand(std::string_view exec, std::string_view url) {
    const auto address = BrowserAddress(url);
    const auto execArgs = address ? SplitExec(exec) : std::nullopt;
    return execArgs ? BuildCommand(*execArgs, *address) : std::vector<std::string>();
}

bool LaunchHtmlHandler(const std::string& url) {
    const auto address = BrowserAddress(url);
    return address && StartHandler(*address);
}

bool OpenInBrowser(const std::string& url) { return StartBrowser(BrowserAddress(url)); }

bool OpenLocalPageInBrowser(const std::string& path) { return StartBrowser(LocalPageAddress(path)); }

}  // namespace zvek
