// The command line of zveklc-cli: its options as one table, which both
// parses the arguments and gives the usage text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Commands.h"
#include "lyrics/Lrc.h"

namespace zvek {

struct Options {
    const Command* command = nullptr;
    std::vector<std::string> inputs;
    std::optional<std::string> output;
    bool outputFolder = false;  // -o names a folder the outputs go into
    std::optional<std::string> reference;
    std::optional<bool> utf8;  // -e
    bool force = false;
    bool quiet = false;
    bool partial = false;
    bool artist = false;
    LrcWriteOptions lrc;

    // -o names the one file to write.
    bool NamedOutput() const { return output && !outputFolder; }
};

// A wrong command line, or a batch that may not run as asked.
struct UsageError {
    std::string message;
};

// The options and INPUTs after the command (args[0]). Throws UsageError.
Options ParseArguments(const std::vector<std::string_view>& args);

// What the command line asks before anything else: help anywhere, or the
// version as the first argument.
bool AsksForHelp(const std::vector<std::string_view>& args);
bool AsksForVersion(const std::vector<std::string_view>& args);

std::string UsageText();

}  // namespace zvek
