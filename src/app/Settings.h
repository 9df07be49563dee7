// The window's settings: its geometry and the folders the two file dialogs
// start in, kept in section "ZVEKLC" of an INI file.
#pragma once

#include <QString>
#include <string>

class QSize;

namespace zvek {

struct WindowSettings {
    int left = -1;
    int top = -1;
    int width = 480;
    int height = 350;
    std::string openDir;
    std::string saveDir;
};

// "zveklc.ini" beside the program when that file exists and may be written
// (a portable copy), otherwise zveklc/zveklc.ini in the user's config folder.
QString SettingsFilePath(const QString& programDir);

// Missing keys, values that are not numbers and an unreadable file give the
// defaults.
WindowSettings ReadSettings(const QString& path);
// Failures to write are ignored: the settings are a convenience.
void WriteSettings(const QString& path, const WindowSettings& settings);

// Puts a window that would not fit the screen back on it: a size not
// smaller than the screen becomes the default, and a window that would
// reach past an edge is centred.
void FitToScreen(WindowSettings& settings, const QSize& screen);

}  // namespace zvek
