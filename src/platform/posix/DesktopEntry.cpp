#include "platform/DesktopEntry.h"

#include <cstdlib>

#include "text/Sjis.h"

namespace zvek {

namespace {

// Other backslashes stay: the Exec key's argument quoting comes after.
std::string Unescape(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (const char next = value[++i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            out += '\\', out += next;
        }
    }
    return out;
}

}  // namespace

std::string UserDataFolder() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/') return data;
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return std::string(home) + "/.local/share";
    return {};
}

std::vector<std::string> DataFolders() {
    std::vector<std::string> folders;
    if (std::string user = UserDataFolder(); !user.empty()) folders.push_back(std::move(user));
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string_view rest = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        if (!dir.empty() && dir.front() == '/') folders.emplace_back(dir);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
    return folders;
}

const std::string* DesktopEntryFile::Find(std::string_view key) const {
    for (const auto& [name, value] : keys)
        if (name == key) return &value;
    return nullptr;
}

DesktopEntryFile ParseDesktopEntry(std::string_view text) {
    DesktopEntryFile file;
    bool inEntry = false;
    bool seenEntry = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            const std::string_view group = line.substr(1, line.find(']') - 1);
            file.groups.emplace_back(group);
            // Only the first [Desktop Entry] counts; a repeated group is not the entry's.
            inEntry = group == "Desktop Entry" && !seenEntry;
            seenEntry = seenEntry || inEntry;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inEntry || eq == std::string_view::npos) continue;
        file.keys.emplace_back(TrimChars(line.substr(0, eq), " \t"), Unescape(TrimChars(line.substr(eq + 1), " \t")));
    }
    return file;
}

std::optional<std::vector<std::string>> SplitExec(std::string_view exec) {
    std::vector<std::string> args;
    std::string current;
    bool started = false, quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < exec.size() &&
                       std::string_view("\"`$\\").find(exec[i + 1]) != std::string_view::npos) {
                current += exec[++i];
            } else if (c == '%') {
                // Only a literal percent sign may stand inside quotes: a field
                // code there lands in the middle of some program's text.
                if (i + 1 == exec.size() || exec[i + 1] != '%') return std::nullopt;
                current += exec.substr(i++, 2);
            } else {
                current += c;
            }
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (started) args.push_back(std::move(current));
            current.clear();
            started = false;
        } else if (c == '"') {
            quoted = started = true;
        } else {
            current += c;
            started = true;
        }
    }
    if (quoted) return std::nullopt;
    if (started) args.push_back(std::move(current));
    return args;
}

}  // namespace zvek
