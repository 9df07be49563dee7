// The player's settings file, edited as the player reads it. The file is
// the player's: every byte we do not mean to change stays as it was.
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "platform/Player.h"
#include "text/Codec.h"
#include "text/Ini.h"
#include "text/Sjis.h"

namespace zvek {

namespace {

// ---- the settings file ----

struct LineSpan {
    std::size_t begin, contentEnd, end;  // end: after the line break, if any
};

std::vector<LineSpan> LineSpans(std::string_view text) {
    std::vector<LineSpan> lines;
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

// Where key `name` of the first [Tool] section stands.
struct ToolEntry {
    bool sectionFound = false;
    std::optional<LineSpan> key;  // the key's line
    std::size_t insertAt = 0;     // after the section's last entry (or its header)
};

ToolEntry FindToolEntry(std::string_view text, std::string_view name) {
    ToolEntry found;
    bool inTool = false;
    for (const LineSpan& line : LineSpans(text)) {
        const IniLine ini = ReadIniLine(text.substr(line.begin, line.contentEnd - line.begin));
        if (ini.kind == IniLine::Kind::Section) {
            if (inTool) break;  // only the first [Tool] counts, as for the player
            if (EqualsIgnoreCase(ini.name, "Tool")) {
                inTool = found.sectionFound = true;
                found.insertAt = line.end;
            }
            continue;
        }
        if (!inTool || ini.kind != IniLine::Kind::Entry) continue;
        if (EqualsIgnoreCase(ini.name, name)) {
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

std::optional<std::string_view> PlayerDrivePath(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.starts_with("\\\\?\\")) value.remove_prefix(4);
    const bool drive =
        value.size() >= 3 && ((value[0] >= 'A' && value[0] <= 'Z') || (value[0] >= 'a' && value[0] <= 'z'));
    if (!drive || value[1] != ':' || (value[2] != '\\' && value[2] != '/')) return std::nullopt;
    return value;
}

std::string PlayerToolValue(std::string_view text, const std::string& name) {
    const auto sjisName = ToSjis(name);
    if (!sjisName) return {};
    const ToolEntry entry = FindToolEntry(text, Trim(*sjisName));
    if (!entry.key) return {};
    std::string_view value = ReadIniLine(text.substr(entry.key->begin, entry.key->contentEnd - entry.key->begin)).value;
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
        const std::string key(ReadIniLine(std::string_view(text).substr(entry.key->begin, length)).name);
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
        const auto text =
            WithPlayerTool(NameTaken(file) ? ReadRegularFile(file, kMaxOutsideFileBytes) : std::string(), name, value);
        if (text) WriteOwnFile(file, *text);
        return text.has_value();
    } catch (const FileError&) {
        return false;
    }
}

}  // namespace zvek
