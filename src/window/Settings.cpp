#include "window/Settings.h"

namespace zvek {

namespace {

constexpr SettingsKey kKeys[] = {
    {"Left", &WindowSettings::left, nullptr},       {"Top", &WindowSettings::top, nullptr},
    {"Width", &WindowSettings::width, nullptr},     {"Height", &WindowSettings::height, nullptr},
    {"OpenDir", nullptr, &WindowSettings::openDir}, {"SaveDir", nullptr, &WindowSettings::saveDir},
};

}  // namespace

std::span<const SettingsKey> SettingsKeys() { return kKeys; }

void FitToScreen(WindowSettings& s, int screenWidth, int screenHeight) {
    const WindowSettings defaults;
    const long long sw = screenWidth;
    const long long sh = screenHeight;
    if (s.width < 0 || s.width >= sw) s.width = defaults.width;
    if (s.height < 0 || s.height >= sh) s.height = defaults.height;
    if (s.left < 0 || s.left + static_cast<long long>(s.width) >= sw) s.left = static_cast<int>((sw - s.width) / 2);
    if (s.top < 0 || s.top + static_cast<long long>(s.height) >= sh) s.top = static_cast<int>((sh - s.height) / 2);
}

}  // namespace zvek
