#include "platform/SettingsLocation.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/Files.h"

namespace zvek {

std::string WindowSettingsPath(const std::string& programDir) {
    const std::string portable = JoinPath(programDir, "zveklc.ini");
    if (FileExists(portable) && ::access(portable.c_str(), W_OK) == 0) return portable;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return std::string(config) + "/zveklc/zveklc.ini";
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return std::string(home) + "/.config/zveklc/zveklc.ini";
    return {};
}

}  // namespace zvek
