// Where the user's browsers keep their profiles.
#pragma once

#include <filesystem>
#include <vector>

namespace zvek {

// The folders that may hold a Firefox profiles.ini. Windows: %APPDATA%'s
// Mozilla\Firefox, and the same folder of the Microsoft Store's Firefox under
// %LOCALAPPDATA%. Linux: ~/.mozilla/firefox, the snap's and the Flatpak's,
// and the XDG configuration folder newer versions use. Only absolute
// variables count.
std::vector<std::filesystem::path> FirefoxProfileRoots();

}  // namespace zvek
