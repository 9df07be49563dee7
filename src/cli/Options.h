// What the command line of zveklc-cli asks for (cli/Arguments reads it).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lyrics/Lrc.h"

namespace zvek {

struct Command;

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

}  // namespace zvek
