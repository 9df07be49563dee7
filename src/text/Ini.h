// Lines of an initialisation file (the player's settings, a browser's
// profiles.ini), read one at a time so that a caller that edits the file in
// place keeps every other byte as it stands.
#pragma once

#include <string_view>

namespace zvek {

struct IniLine {
    enum class Kind { Other, Section, Entry };
    Kind kind = Kind::Other;
    std::string_view name;   // the section's name, or the entry's key
    std::string_view value;  // the entry's value
};

// One line (without its line break): "[name]" (a missing "]" is forgiven,
// as the player forgives it), "key=value", or anything else, a ";" comment
// and a blank line included. Blanks around names and values are not part of
// them; only a "[" or "=" where a character begins counts.
IniLine ReadIniLine(std::string_view line);

}  // namespace zvek
