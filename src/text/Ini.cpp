#include "text/Ini.h"

#include "text/Sjis.h"

namespace zvek {

IniLine ReadIniLine(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() == ';') return {};
    if (line.front() == '[') {
        const std::string_view rest = line.substr(1);
        const std::size_t close = FindChar(rest, ']');
        return {IniLine::Kind::Section, Trim(close == std::string_view::npos ? rest : rest.substr(0, close)), {}};
    }
    const std::size_t eq = FindChar(line, '=');
    if (eq == std::string_view::npos) return {IniLine::Kind::Entry, line, {}};
    return {IniLine::Kind::Entry, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))};
}

}  // namespace zvek
