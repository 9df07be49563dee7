// The settings file as the Qt window keeps it: an INI file read and written
// through QSettings, by the keys of the window logic.
#pragma once

#include <QString>

#include "window/Settings.h"

namespace zvek {

// "zveklc.ini" beside the program when that file exists and may be written
// (a portable copy), otherwise zveklc/zveklc.ini in the user's config folder.
QString SettingsFilePath(const QString& programDir);

// Missing keys, values that are not numbers and an unreadable file give the
// defaults.
WindowSettings ReadSettings(const QString& path);
// Failures to write are ignored: the settings are a convenience.
void WriteSettings(const QString& path, const WindowSettings& settings);

}  // namespace zvek
