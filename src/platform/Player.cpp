#include "platform/Player.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "text/Codec.h"
#include "text/Sjis.h"

namespace zvek {

namespace {

namespace fs = std::filesystem;

char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return LowerChar(x) == LowerChar(y); });
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

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
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
        case 'a': units += u'\a'; break;
        case 'b': units += u'\b'; break;
        case 'e': units += u'\x1b'; break;
        case 'f': units += u'\f'; break;
        case 'n': units += u'\n'; break;
        case 'r': units += u'\r'; break;
        case 't': units += u'\t'; break;
        case 'v': units += u'\v'; break;
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

namespace {

// ---- drives ----

struct Drive {
    char letter;         // upper case
    std::string target;  // canonical, no trailing "/" except for "/" itself
};

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

// `name` inside `folder`: the exact name when it exists, else the first
// entry that differs from it only in the case of A-Z.
std::optional<fs::path> FindEntry(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    fs::path exact = folder / name;
    if (fs::exists(exact, ec)) return exact;
    for (fs::directory_iterator it(folder, ec), last; !ec && it != last; it.increment(ec))
        if (SameNameIgnoringCase(it->path().filename().string(), name)) return it->path();
    return std::nullopt;
}

// ---- the settings file ----

struct IniLine {
    std::size_t begin, contentEnd, end;  // end: after the line break, if any
};

std::vector<IniLine> IniLines(std::string_view text) {
    std::vector<IniLine> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t brk = text.find_first_of("\r\n", start);
        if (brk == std::string_view::npos) {
            lines.push_back({start, text.size(), text.size()});
            break;
        }
        const std::size_t next = brk + (text.compare(brk, 2, "\r\n") == 0 ? 2 : 1);
        lines.push_back({start, brk, next});
        start = next;
    }
    return lines;
}

// The section name of a "[name]" line; nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view trimmed) {
    if (trimmed.empty() || trimmed[0] != '[') return std::nullopt;
    std::string_view rest = trimmed.substr(1);
    const std::size_t close = FindChar(rest, ']');
    return Trim(close == std::string_view::npos ? rest : rest.substr(0, close));
}

bool IsEntry(std::string_view trimmed) { return !trimmed.empty() && trimmed[0] != ';'; }

std::string_view EntryKey(std::string_view trimmed) {
    const std::size_t eq = FindChar(trimmed, '=');
    return Trim(eq == std::string_view::npos ? trimmed : trimmed.substr(0, eq));
}

std::string_view EntryValue(std::string_view trimmed) {
    const std::size_t eq = FindChar(trimmed, '=');
    return eq == std::string_view::npos ? std::string_view() : Trim(trimmed.substr(eq + 1));
}

// Where key `name` of the first [Tool] section stands.
struct ToolEntry {
    bool sectionFound = false;
    std::optional<IniLine> key;     // the key's line
    std::size_t insertAt = 0;       // after the section's last entry (or its header)
};

ToolEntry FindToolEntry(std::string_view text, std::string_view name) {
    ToolEntry found;
    bool inTool = false;
    for (const IniLine& line : IniLines(text)) {
        const std::string_view trimmed = Trim(text.substr(line.begin, line.contentEnd - line.begin));
        if (const auto section = SectionName(trimmed)) {
            if (inTool) break;  // only the first [Tool] counts, as for the player
            if (EqualsIgnoreCase(*section, "Tool")) {
                inTool = found.sectionFound = true;
                found.insertAt = line.end;
            }
            continue;
        }
        if (!inTool || !IsEntry(trimmed)) continue;
        if (EqualsIgnoreCase(EntryKey(trimmed), name)) {
            found.key = line;
            break;
        }
        found.insertAt = line.end;
    }
    return found;
}

// A UTF-8 name or value as the file holds it; nothing when it has no
// Shift-JIS form (a "?" in its place would break a path).
std::optional<std::string> ToSjis(const std::string& utf8) {
    std::size_t replaced = 0;
    std::string sjis = Utf8ToSjis(utf8, false, &replaced);
    if (replaced) return std::nullopt;
    return sjis;
}

}  // namespace

std::string WinePrefix() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return prefix;
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.wine";
    return {};
}

std::string WindowsToLinuxPath(const std::string& prefix, const std::string& windowsPath) {
    std::string_view path = windowsPath;
    // Some installers store the path quoted, as a command line would have it.
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    if (path.starts_with("\\\\?\\")) path.remove_prefix(4);
    if (path.size() < 3 || !std::isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':' ||
        (path[2] != '\\' && path[2] != '/'))
        return {};  // relative, or a network path: no drive of ours
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

std::string PlayerSettingsPath(const std::string& playerPath) {
    if (playerPath.empty()) return {};
    std::string path = ChangeFileExt(playerPath, ".ini");
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        const std::string dir = ExtractFileDir(path);
        if (const auto entry = FindEntry(dir.empty() ? "." : dir, ExtractFileName(path))) {
            if (fs::is_regular_file(*entry, ec)) path = (fs::path(dir) / entry->filename()).string();
        }
    }
    return path;
}

std::string PlayerToolValue(std::string_view text, const std::string& name) {
    const auto sjisName = ToSjis(name);
    if (!sjisName) return {};
    const ToolEntry entry = FindToolEntry(text, Trim(*sjisName));
    if (!entry.key) return {};
    std::string_view value = EntryValue(Trim(text.substr(entry.key->begin, entry.key->contentEnd - entry.key->begin)));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return SjisToUtf8(value);
}

std::optional<std::string> WithPlayerTool(std::string text, const std::string& name, const std::string& value) {
    const auto sjisName = ToSjis(name);
    const auto sjisValue = ToSjis(value);
    if (!sjisName || !sjisValue) return std::nullopt;
    const std::string_view trimmedName = Trim(*sjisName);
    if (trimmedName.empty() || trimmedName[0] == '[' || trimmedName[0] == ';' ||
        FindChar(trimmedName, '=') != std::string_view::npos)
        return std::nullopt;  // the player would read some other line than we wrote
    for (const std::string* part : {&*sjisName, &*sjisValue})
        if (part->find_first_of("\r\n") != std::string::npos) return std::nullopt;

    const ToolEntry entry = FindToolEntry(text, trimmedName);
    if (entry.key) {
        // The key keeps the spelling the file gives it.
        const std::size_t length = entry.key->contentEnd - entry.key->begin;
        const std::string key(EntryKey(Trim(std::string_view(text).substr(entry.key->begin, length))));
        text.replace(entry.key->begin, length, key + "=" + *sjisValue);
    } else {
        std::string added;
        const std::size_t at = entry.sectionFound ? entry.insertAt : text.size();
        if (at > 0 && text[at - 1] != '\n' && text[at - 1] != '\r') added += "\r\n";
        if (!entry.sectionFound) added += "[Tool]\r\n";
        added += std::string(trimmedName) + "=" + *sjisValue + "\r\n";
        text.insert(at, added);
    }
    return text;
}

std::string ReadPlayerTool(const std::string& playerPath, const std::string& name) {
    const std::string file = PlayerSettingsPath(playerPath);
    if (file.empty()) return {};
    try {
        return PlayerToolValue(ReadRegularFile(file, kMaxOutsideFileBytes), name);
    } catch (const FileError&) {
        return {};
    }
}

bool RegisterPlayerTool(const std::string& playerPath, const std::string& name, const std::string& value) {
    const std::string file = PlayerSettingsPath(playerPath);
    if (file.empty()) return false;
    try {
        // The player's file is the player's: written through a link to it,
        // never in place of a pipe or device that stands under its name.
        const auto text = WithPlayerTool(NameTaken(file) ? ReadRegularFile(file, kMaxOutsideFileBytes) : std::string(),
                                         name, value);
        if (text) WriteOwnFile(file, *text);
        return text.has_value();
    } catch (const FileError&) {
        return false;
    }
}

std::string PlayerToolCommand(const std::string& programPath) {
    std::string shown = programPath;
    const std::string prefix = WinePrefix();
    if (!prefix.empty()) {
        std::error_code ec;
        const std::string program = fs::weakly_canonical(programPath, ec).string();
        const std::vector<Drive> drives = Drives(prefix);
        const Drive* best = nullptr;
        for (const Drive& drive : drives) {
            const bool holds = drive.target == "/" ||
                               (program.starts_with(drive.target) &&
                                (program.size() == drive.target.size() || program[drive.target.size()] == '/'));
            if (!ec && holds && (!best || drive.target.size() > best->target.size())) best = &drive;
        }
        if (best) {
            std::string rest = program.substr(best->target == "/" ? 0 : best->target.size());
            if (rest.empty()) rest = "/";
            std::replace(rest.begin(), rest.end(), '/', '\\');
            shown = std::string(1, best->letter) + ":" + rest;
        }
    }
    return "\"" + shown + "\" /ZVEK";
}

}  // namespace zvek
