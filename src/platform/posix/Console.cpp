#include "platform/Console.h"

#include <unistd.h>

namespace zvek {

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

// A terminal here takes the UTF-8 bytes as they are.
bool WriteTerminalText(int, std::string_view) { return false; }

}  // namespace zvek
