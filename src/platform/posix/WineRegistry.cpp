// Reading the Wine prefix: its registry files, and its drives, through
// which a Windows path becomes a Linux path.
#include "platform/WineRegistry.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "platform/Player.h"
#include "platform/WineDrives.h"
#include "text/Codec.h"

namespace zvek {

namespace {

namespace fs = std::filesystem;

char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerChar(x) == LowerChar(y); });
}

// ---- Wine's registry files ----
//
// Wine writes its registry as text: a key is a line "[Name\\Sub] stamp",
// followed by its values, one a line: @="..." for the default value,
// "Name"="..." for the others, str(2):"..." for an expandable string, and
// dword:, hex: forms for everything else. Non-ASCII characters are written
// as \x escapes of UTF-16 code units.

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads an escaped string from `pos` up to the unescaped `end` character and
// leaves `pos` after it; the text as UTF-8. Nothing when the string does not
// end on this line, when it holds bytes Wine never writes raw (non-ASCII)
// or a broken surrogate pair. A NUL ends the string, as it ends a C string.
std::optional<std::string> ReadEscaped(std::string_view line, std::size_t& pos, char end) {
    std::u16string units;
    for (;;) {
        if (pos >= line.size()) return std::nullopt;
        const char c = line[pos++];
        if (c == end) break;
        if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
        if (c != '\\') {
            units += static_cast<char16_t>(c);
            continue;
        }
        if (pos >= line.size()) return std::nullopt;
        const char e = line[pos++];
        switch (e) {
        case 'a':
            units += u'\a';
            break;
        case 'b':
            units += u'\b';
            break;
        case 'e':
            units += u'\x1b';
            break;
        case 'f':
            units += u'\f';
            break;
        case 'n':
            units += u'\n';
            break;
        case 'r':
            units += u'\r';
            break;
        case 't':
            units += u'\t';
            break;
        case 'v':
            units += u'\v';
            break;
        case 'x': {
            // One to four hex digits; Wine writes four when a hex digit follows.
            if (pos >= line.size() || HexDigit(line[pos]) < 0) {
                units += u'x';
                break;
            }
            unsigned value = 0;
            for (int i = 0; i < 4 && pos < line.size() && HexDigit(line[pos]) >= 0; ++i)
                value = value * 16 + static_cast<unsigned>(HexDigit(line[pos++]));
            units += static_cast<char16_t>(value);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                unsigned value = static_cast<unsigned>(e - '0');
                for (int i = 0; i < 2 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7'; ++i)
                    value = value * 8 + static_cast<unsigned>(line[pos++] - '0');
                units += static_cast<char16_t>(value);
            } else if (static_cast<unsigned char>(e) >= 0x80) {
                return std::nullopt;
            } else {
                units += static_cast<char16_t>(e);  // \\ \" \[ \] and any other: the character itself
            }
        }
    }
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u == 0) break;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return std::nullopt;
            AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(units[++i]) - 0xDC00));
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return std::nullopt;
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

// RegistryDefaultValues of a registry file; a file that cannot be read has no values.
std::vector<std::string> ReadDefaultValues(const std::string& file, const std::vector<std::string>& wanted) {
    try {
        return RegistryDefaultValues(ReadRegularFile(file, kMaxOutsideFileBytes), wanted);
    } catch (const FileError&) {
        return std::vector<std::string>(wanted.size());
    }
}

}  // namespace

std::vector<std::string> RegistryDefaultValues(std::string_view text, const std::vector<std::string>& wanted) {
    std::vector<std::string> values(wanted.size());
    std::size_t current = wanted.size();  // the wanted key we are in, if any
    for (std::string_view rest = text; !rest.empty();) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        if (line[0] == '[') {
            current = wanted.size();
            std::size_t pos = 1;
            const auto name = ReadEscaped(line, pos, ']');
            if (!name) continue;
            for (std::size_t i = 0; i < wanted.size(); ++i)
                if (SameNameIgnoringCase(*name, wanted[i])) current = i;
            continue;
        }
        if (current == wanted.size() || line[0] != '@' || line.size() < 2 || line[1] != '=') continue;
        std::string_view data = std::string_view(line).substr(2);
        // An expandable string is still a string; nothing here expands it.
        if (data.starts_with("str(1):") || data.starts_with("str(2):")) data.remove_prefix(7);
        if (data.empty() || data[0] != '"') continue;
        std::size_t pos = 1;
        if (auto value = ReadEscaped(data, pos, '"')) values[current] = std::move(*value);
        if (current == 0 && !values[0].empty()) break;
    }
    return values;
}

// ---- drives ----

std::vector<Drive> Drives(const std::string& prefix) {
    std::vector<Drive> drives;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(prefix) / "dosdevices", ec), last; !ec && it != last; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // "c:" is a drive; "c::" is the raw device behind it, and "com1" a port.
        if (name.size() != 2 || name[1] != ':' || !std::isalpha(static_cast<unsigned char>(name[0]))) continue;
        std::error_code canonicalError;
        const fs::path target = fs::canonical(it->path(), canonicalError);
        if (canonicalError || !fs::is_directory(target, canonicalError)) continue;
        drives.push_back({static_cast<char>(std::toupper(static_cast<unsigned char>(name[0]))), target.string()});
    }
    std::sort(drives.begin(), drives.end(), [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return drives;
}

std::optional<fs::path> FindEntry(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    fs::path exact = folder / name;
    if (fs::exists(exact, ec)) return exact;
    for (fs::directory_iterator it(folder, ec), last; !ec && it != last; it.increment(ec))
        if (SameNameIgnoringCase(it->path().filename().string(), name)) return it->path();
    return std::nullopt;
}

std::string WinePrefix() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return prefix;
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.wine";
    return {};
}

std::string WindowsToLinuxPath(const std::string& prefix, const std::string& windowsPath) {
    const auto drivePath = PlayerDrivePath(windowsPath);
    if (!drivePath) return {};  // relative, or a network path: no drive of ours
    const std::string_view path = *drivePath;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    std::optional<fs::path> current;
    for (const Drive& drive : Drives(prefix))
        if (drive.letter == letter) current = drive.target;
    if (!current) return {};
    const fs::path root = *current;

    std::vector<std::string> parts;
    std::size_t start = 3;
    for (std::size_t i = 3; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '\\' && path[i] != '/') continue;
        std::string part(path.substr(start, i - start));
        start = i + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(std::move(part));
    }
    if (parts.empty()) return {};
    for (const std::string& part : parts) {
        const auto entry = FindEntry(*current, part);
        if (!entry) return {};
        current = *entry;
    }
    std::error_code ec;
    if (!fs::exists(*current, ec) || fs::is_directory(*current, ec)) return {};
    return current->string();
}

std::string FindPlayerPath() {
    const std::string prefix = WinePrefix();
    if (prefix.empty()) return {};
    const auto machine = ReadDefaultValues(
        prefix + "/system.reg", {"software\\microsoft\\windows\\currentversion\\app paths\\zvek.exe",
                                 "software\\wow6432node\\microsoft\\windows\\currentversion\\app paths\\zvek.exe"});
    for (const std::string& value : machine) {
        if (value.empty()) continue;
        if (std::string path = WindowsToLinuxPath(prefix, value); !path.empty()) return path;
    }
    const auto user = ReadDefaultValues(prefix + "/user.reg", {"software\\halde\\zvek"});
    return user[0].empty() ? std::string() : WindowsToLinuxPath(prefix, user[0]);
}

}  // namespace zvek
