#include "platform/BrowserProfiles.h"

#include <cstdlib>

namespace zvek {

std::vector<std::filesystem::path> FirefoxProfileRoots() {
    std::vector<std::filesystem::path> roots;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') {
        const std::filesystem::path h(home);
        roots.push_back(h / ".mozilla/firefox");
        roots.push_back(h / "snap/firefox/common/.mozilla/firefox");
        roots.push_back(h / ".var/app/org.mozilla.firefox/.mozilla/firefox");
    }
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        roots.push_back(std::filesystem::path(config) / "mozilla/firefox");
    else if (home && home[0] == '/') roots.push_back(std::filesystem::path(home) / ".config/mozilla/firefox");
    return roots;
}

}  // namespace zvek
