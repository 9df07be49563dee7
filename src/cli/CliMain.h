// The command-line program behind its entry point: each platform's entry
// hands over the arguments (after the program's name) as UTF-8.
#pragma once

#include <string_view>
#include <vector>

namespace zvek {

// Runs the command line and closes standard output; the exit status.
int CliMain(const std::vector<std::string_view>& args);

}  // namespace zvek
