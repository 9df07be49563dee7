// Where a window keeps its settings file.
#pragma once

#include <string>

namespace zvek {

// The settings file of the program in `programDir`: "zveklc.ini" beside the
// program when that file exists and may be written (a portable copy), else
// zveklc/zveklc.ini in the user's settings folder: %APPDATA% on Windows,
// $XDG_CONFIG_HOME (when absolute) or ~/.config on Linux. Empty when there
// is neither. The folder is made by whoever writes the file.
std::string WindowSettingsPath(const std::string& programDir);

}  // namespace zvek
