// Where zveklc-cli writes its results and how it tells what went wrong:
// the rules the document route and the streamed route share.
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/Options.h"

namespace zvek {

class ConsoleHost;

bool IsFolder(const std::string& path);

// The name the result takes when -o names no file: the command's extension
// on the input or, where the command has none, the `converted` document's
// name (the name Save As would propose), in the input's folder.
std::string DefaultName(const Command& command, const std::string& input, const LyricsDocument* converted);
// Where the result goes: the file -o names, or `defaultName`, moved into the
// folder -o names if it names one.
std::string OutputPath(const Options& options, const std::string& defaultName);
// Shift-JIS is what the player reads; a terminal shows UTF-8.
bool WantsUtf8(const Options& options, const std::string& output);

// The folder -o names, made where it is missing (a failure shows when writing into it).
void MakeOutputFolder(const Options& options);
// Writes `bytes` to `output`: a new file, or with --force over whatever is
// there (replaced whole, never left half-written).
ExitStatus WriteOutput(const std::string& output, std::string_view bytes, const Options& options, ConsoleHost& host);
// Says that `output` is written.
void ReportSaved(ConsoleHost& host, const std::string& output);
// Says why an INPUT failed; its status.
ExitStatus ReportFailure(const ConsoleHost& host, const std::exception& e);

// Two results for one file, or a result over another INPUT, would with
// --force silently undo the batch's own work or replace an INPUT before it
// is read: such a batch is refused (UsageError) before anything is written.
// `outputs[i]` is where INPUT i goes; empty where it writes nothing.
void CheckBatch(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs);

}  // namespace zvek
