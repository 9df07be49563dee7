// The Wine prefix's drives and Windows' case-blind file names, for the
// registry reader and the player's settings file alike.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zvek {

struct Drive {
    char letter;         // upper case
    std::string target;  // canonical, no trailing "/" except for "/" itself
};

// The prefix's drive letters with the folders they stand for, in letter order.
std::vector<Drive> Drives(const std::string& prefix);

// `name` inside `folder`: the exact name when it exists, else the first
// entry that differs from it only in the case of A-Z.
std::optional<std::filesystem::path> FindEntry(const std::filesystem::path& folder, const std::string& name);

}  // namespace zvek
