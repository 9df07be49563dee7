// The commands of zveklc-cli, as one table: what each reads, what it does to
// the document, where its result goes by default, and what the usage text
// says of it. The parser and the usage text read the same table.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "cli/ExitStatus.h"

namespace zvek {

class ConsoleHost;
class LyricsDocument;
struct Options;

// Runs a conversion on the opened document; false when it failed (the
// document's ResultCode, when set, says how).
using Action = bool (*)(LyricsDocument&, const Options&, const std::string& input);

// What a command reads and what it gives back.
enum class Kind : std::uint8_t {
    Convert,  // a document in, the converted document out
    Html,     // an HTML page in, its page text out
    Search,   // a document in, addresses on standard output
    Browser,  // nothing in, the browser's address on standard output
    Lrc,      // an LRC file in whatever code set, player lyrics out
    Export,   // a document in, other bytes out; the document stays as it is
};

// The commands whose result can be written as it is made, without a
// document (cli/Streamed.h).
enum class Stream : std::uint8_t { No, PageText, TextToLyrics };

struct Command {
    std::string_view name;
    std::string_view synopsis;  // what the usage shows after the name, where it is more than INPUT
    std::string_view help;      // its lines for the usage text
    Action run;
    Kind kind = Kind::Convert;
    // The default output is the input with this extension; empty: the
    // converted document's own name, for the commands whose result is named
    // by what the file holds (untag, auto) and those that write no file.
    std::string_view outputExt = {};
    Stream stream = Stream::No;
};

std::span<const Command> Commands();

// Whether the command writes a file (or standard output) with its result.
bool Writes(Kind kind);

// The addresses the Find menu would open, in the same order.
ExitStatus RunSearch(const LyricsDocument& doc, const Options& options);
// The address of the page the browser shows, on one line.
ExitStatus RunBrowser(const ConsoleHost& host);

}  // namespace zvek
