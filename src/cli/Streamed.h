// The command-line conversions that need no document: the input is read
// once, and the output written as it is made through one reused buffer.
// What they write is what the document route writes, byte for byte; inputs
// they do not take are left to that route.
#pragma once

#include <optional>
#include <string>

#include "cli/ConsoleHost.h"
#include "cli/ExitStatus.h"
#include "cli/Options.h"

namespace zvek {

// Runs a command that can stream (Command::stream) on the file `input`,
// written to `output` ("-": standard output, written straight to the
// descriptor) in Shift-JIS, with the messages, refusals and exit status of
// the document route. Returns nullopt, having written nothing, when the
// command or the input is not for this route (standard input, a missing
// file, UTF-8 output, a name already taken, ...).
std::optional<ExitStatus> TryStreamed(const Options& options, const std::string& input, const std::string& output,
                                      ConsoleHost& host);

}  // namespace zvek
