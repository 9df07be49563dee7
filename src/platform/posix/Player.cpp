// Where the player is, and how it sees us, when it runs under Wine beside
// us: the player's files are reached through the prefix's drives.
#include "platform/Player.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "platform/WineDrives.h"
#include "platform/WineRegistry.h"

namespace zvek {

namespace fs = std::filesystem;

// The player sees file names without regard to case, so its settings file
// may be spelled otherwise than its executable.
std::string PlayerSettingsPath(const std::string& playerPath) {
    if (playerPath.empty()) return {};
    std::string path = ChangeFileExt(playerPath, ".ini");
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        const std::string dir = ExtractFileDir(path);
        if (const auto entry = FindEntry(dir.empty() ? "." : dir, ExtractFileName(path))) {
            if (fs::is_regular_file(*entry, ec)) path = (fs::path(dir) / entry->filename()).string();
        }
    }
    return path;
}

std::string PlayerToolCommand(const std::string& programPath) {
    std::string shown = programPath;
    const std::string prefix = WinePrefix();
    if (!prefix.empty()) {
        std::error_code ec;
        const std::string program = fs::weakly_canonical(programPath, ec).string();
        const std::vector<Drive> drives = Drives(prefix);
        const Drive* best = nullptr;
        for (const Drive& drive : drives) {
            const bool holds =
                drive.target == "/" || (program.starts_with(drive.target) &&
                                        (program.size() == drive.target.size() || program[drive.target.size()] == '/'));
            if (!ec && holds && (!best || drive.target.size() > best->target.size())) best = &drive;
        }
        if (best) {
            std::string rest = program.substr(best->target == "/" ? 0 : best->target.size());
            if (rest.empty()) rest.push_back('/');  // the drive itself
            std::replace(rest.begin(), rest.end(), '/', '\\');
            shown = std::string(1, best->letter) + ":" + rest;
        }
    }
    return "\"" + shown + "\" /ZVEK";
}

// A Wine window cannot be reached from here: the notification is dropped,
// exactly as when the player is not running, and the player reads the entry
// at its next start.
PlayerWindow::PlayerWindow() = default;
bool PlayerWindow::Find() { return false; }
bool PlayerWindow::Post(std::uintptr_t, std::intptr_t) { return false; }

}  // namespace zvek
