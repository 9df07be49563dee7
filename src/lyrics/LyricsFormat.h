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

// The player's display directives, lower case. Words holding one of them in
// any case make the line an instruction, not lyrics.
inline constexpr std::array<std::string_view, 7> kDisplayDirectives = {
    "font=", "alignment=", "wordwrap=", "color=", "backcolor=", "#fade", "#white"};
bool HasDisplayDirective(std::string_view words);

}  // namespace zvek
