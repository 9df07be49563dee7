// Standard output and standard error as a terminal shows them.
#pragma once

#include <string_view>

namespace zvek {

// Whether the descriptor is a terminal (a console window on Windows; the
// NUL device, which the C library counts as one there, is none).
bool IsTerminal(int fd);

// Writes UTF-8 text to the terminal behind `fd` as characters rather than
// bytes, where the system needs that: a Windows console shows bytes in its
// code page, but characters whatever the code page. False when the text
// was not written that way (no such terminal, not UTF-8): the caller
// writes the bytes.
bool WriteTerminalText(int fd, std::string_view utf8);

}  // namespace zvek
