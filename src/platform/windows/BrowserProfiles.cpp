#include "platform/BrowserProfiles.h"

#include "platform/windows/Win32.h"

#include <optional>
#include <string>

namespace zvek {

namespace {

// A folder from the environment, when it names a drive's folder: a network
// folder could hold the window for as long as the network takes.
std::optional<std::filesystem::path> FolderVariable(const wchar_t* name) {
    std::wstring buffer(1024, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < 3 || length >= buffer.size()) return std::nullopt;
    buffer.resize(length);
    const std::filesystem::path folder(buffer);
    if (!folder.is_absolute() || folder.root_name().native().size() != 2) return std::nullopt;
    return folder;
}

}  // namespace

std::vector<std::filesystem::path> FirefoxProfileRoots() {
    std::vector<std::filesystem::path> roots;
    if (const auto roaming = FolderVariable(L"APPDATA")) roots.push_back(*roaming / L"Mozilla" / L"Firefox");
    if (const auto local = FolderVariable(L"LOCALAPPDATA"))
        roots.push_back(*local / L"Packages" / L"Mozilla.Firefox_n80bbvh6b1yt2" / L"LocalCache" / L"Roaming" /
                        L"Mozilla" / L"Firefox");
    return roots;
}

}  // namespace zvek
