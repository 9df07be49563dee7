#include "window/Settings.h"

#include <charconv>

#include "text/Ini.h"
#include "text/Sjis.h"

namespace zvek {

namespace {

constexpr SettingsKey kKeys[] = {
    {"Left", &WindowSettings::left, nullptr},       {"Top", &WindowSettings::top, nullptr},
    {"Width", &WindowSettings::width, nullptr},     {"Height", &WindowSettings::height, nullptr},
    {"OpenDir", nullptr, &WindowSettings::openDir}, {"SaveDir", nullptr, &WindowSettings::saveDir},
};

const SettingsKey* KeyNamed(std::string_view name) {
    for (const SettingsKey& key : kKeys)
        if (EqualsIgnoreCase(name, key.name)) return &key;
    return nullptr;
}

}  // namespace

std::span<const SettingsKey> SettingsKeys() { return kKeys; }

WindowSettings SettingsFromIni(std::string_view text) {
    WindowSettings settings;
    bool inSection = false;
    ForEachLine(text, [&](std::string_view line) {
        const IniLine ini = ReadIniLine(line);
        if (ini.kind == IniLine::Kind::Section) inSection = EqualsIgnoreCase(ini.name, kSettingsSection);
        const SettingsKey* key = ini.kind == IniLine::Kind::Entry && inSection ? KeyNamed(ini.name) : nullptr;
        if (!key) return;
        if (key->text) {
            settings.*key->text = std::string(ini.value);
            return;
        }
        int number = 0;
        const char* end = ini.value.data() + ini.value.size();
        const auto [stop, error] = std::from_chars(ini.value.data(), end, number);
        if (error == std::errc() && stop == end) settings.*key->number = number;
    });
    return settings;
}

std::string IniWithSettings(std::string_view text, const WindowSettings& settings) {
    std::string ours = std::string("[") + kSettingsSection + "]\r\n";
    for (const SettingsKey& key : kKeys)
        ours += std::string(key.name) + "=" + (key.text ? settings.*key.text : std::to_string(settings.*key.number)) +
                "\r\n";
    std::string out;
    bool inSection = false, written = false;
    ForEachLine(text, [&](std::string_view line) {
        const IniLine ini = ReadIniLine(line);
        if (ini.kind == IniLine::Kind::Section) {
            inSection = EqualsIgnoreCase(ini.name, kSettingsSection);
            if (inSection && !written) {
                out += ours;
                written = true;
                return;
            }
        }
        if (inSection && ini.kind == IniLine::Kind::Entry && KeyNamed(ini.name)) return;
        out.append(line).append("\r\n");
    });
    return written ? out : out + ours;
}

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
