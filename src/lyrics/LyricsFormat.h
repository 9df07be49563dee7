// The player lyrics file: its template, section lines and display directives.
#pragma once

#include <array>
#include <string_view>

namespace zvek {

// The fifteen lines that open every new player lyrics file (Shift-JIS).
extern const std::array<std::string_view, 15> kLyricsTemplate;

// A section line is the name in brackets alone: no blanks around it, any case.
bool IsTextSectionLine(std::string_view line);  // "[Text]"
bool IsSpecSectionLine(std::string_view line);  // "[Spec]"

// Words holding one of the player's display directives ("font=", "color=",
// "#fade", ...) in any case: such a line is an instruction, not lyrics.
bool HasDisplayDirective(std::string_view words);

}  // namespace zvek
