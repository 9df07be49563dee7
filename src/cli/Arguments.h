// The command line of zveklc-cli: its options as one table, which with the
// command table both parses the arguments and gives the usage text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/Options.h"

namespace zvek {

// The options and INPUTs after the command (args[0]). Throws UsageError.
Options ParseArguments(const std::vector<std::string_view>& args);

// What the command line asks before anything else: help anywhere, or the
// version as the first argument.
bool AsksForHelp(const std::vector<std::string_view>& args);
bool AsksForVersion(const std::vector<std::string_view>& args);

std::string UsageText();

}  // namespace zvek
