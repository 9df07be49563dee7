// The window's settings: its geometry and the folders the two file dialogs
// start in, kept in section "ZVEKLC" of an INI file. Each platform reads and
// writes the file its own way, by these keys.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace zvek {

struct WindowSettings {
    int left = -1;
    int top = -1;
    int width = 480;
    int height = 350;
    std::string openDir;
    std::string saveDir;
};

inline constexpr const char* kSettingsSection = "ZVEKLC";

// A key of the section: a number or a text. A number that is missing or not
// a number reads as the default's value.
struct SettingsKey {
    const char* name;
    int WindowSettings::*number;
    std::string WindowSettings::*text;
};
// In the order they are written, every one at every close.
std::span<const SettingsKey> SettingsKeys();

// The settings as a window that keeps them in an INI file of its own reads
// them, and that file with the settings put into their section (every
// other line kept as it was).
WindowSettings SettingsFromIni(std::string_view text);
std::string IniWithSettings(std::string_view text, const WindowSettings& settings);

// Puts a window that would not fit the screen back on it: a size not
// smaller than the screen becomes the default, and a window that would
// reach past an edge is centred.
void FitToScreen(WindowSettings& settings, int screenWidth, int screenHeight);

}  // namespace zvek
