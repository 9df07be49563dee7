// The private folder's rules, the same on every system: one lock around it,
// file names without folders, and the sweep of folders left behind.
#include "platform/TempFiles.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "platform/Files.h"

namespace zvek {

namespace {

// The process id in a folder name of ours ("zveklc-PID-XXXXXX").
std::optional<std::uint32_t> OwnerOf(std::string_view name, std::size_t pidDigits) {
    if (!name.starts_with(detail::kTempFolderPrefix)) return std::nullopt;
    name.remove_prefix(detail::kTempFolderPrefix.size());
    const std::size_t dash = name.find('-');
    if (dash == 0 || dash > pidDigits || dash == std::string_view::npos ||
        name.size() - dash - 1 != detail::kTempRandomPart)
        return std::nullopt;
    std::uint64_t pid = 0;
    for (const char c : name.substr(0, dash)) {
        if (c < '0' || c > '9') return std::nullopt;
        pid = pid * 10 + static_cast<unsigned>(c - '0');
    }
    return pid > 0 && pid <= 0xFFFFFFFFu ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(pid)) : std::nullopt;
}

}  // namespace

// A folder is left behind when no process has its number any more and no
// process holds it (which also covers an owner this process cannot see, in
// another process namespace sharing the folder).
void detail::RemoveFoldersOfEndedProcesses(const std::string& base, std::size_t pidDigits) {
    for (const std::string& name : NamesIn(base, kTempFolderPrefix)) {
        const std::optional<std::uint32_t> pid = OwnerOf(name, pidDigits);
        if (pid && !ProcessRuns(*pid)) RemoveIfUnheld(JoinPath(base, name));
    }
}

detail::PrivateDir& detail::Dir() {
    static PrivateDir dir;
    return dir;
}

std::string PrivateTempDir() {
    detail::PrivateDir& dir = detail::Dir();
    std::lock_guard lock(dir.mutex);
    return dir.Get();
}

std::string UniqueTempFile(std::string_view suffix) {
    if (std::ranges::any_of(suffix, IsPathDelimiter)) throw std::invalid_argument("a file-name suffix holds no folder");
    detail::PrivateDir& dir = detail::Dir();
    std::lock_guard lock(dir.mutex);
    return detail::NewFileIn(dir.Get(), suffix);
}

void RemovePrivateTempDir() {
    detail::PrivateDir& dir = detail::Dir();
    std::lock_guard lock(dir.mutex);
    dir.Remove();
}

}  // namespace zvek
