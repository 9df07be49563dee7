// Starting other programs. The arguments reach the program exactly as given,
// one entry each: no shell ever sees them, so an address or a path from a
// document cannot turn into a command. (Windows passes one command line,
// which the arguments are quoted into by the rules CommandLineToArgvW reads
// back; a batch file, which cmd.exe would read by rules of its own, is
// never started.)
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zvek {

// Starts argv[0] (looked up in PATH when it has no folder) and lets it run
// on by itself, in a session (on Windows, a process group) of its own.
// False when it could not be started.
bool StartProgram(const std::vector<std::string>& argv);

// Runs argv[0] and waits for it; its exit status, or -1 when it could not be
// started or did not exit normally. Its standard input is /dev/null (NUL).
int RunProgram(const std::vector<std::string>& argv);

// Runs argv[0] and returns what it wrote to its standard output; nothing
// when it could not be started, did not exit with 0, wrote more than
// `limit` bytes or took longer than `timeout` (it is then killed).
std::optional<std::string> RunProgramOutput(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                                            std::size_t limit);

}  // namespace zvek
