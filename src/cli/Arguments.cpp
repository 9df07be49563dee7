#include "cli/Arguments.h"

#include <algorithm>
#include <filesystem>

#include "cli/Commands.h"
#include "platform/Files.h"
#include "platform/FsPath.h"
#include "text/Sjis.h"

namespace zvek {

namespace {

using Setter = void (*)(Options&, const std::string& value);

struct Option {
    std::string_view shortName;  // "-r", or empty
    std::string_view longName;   // "--reference"
    std::string_view valueName;  // empty for an option that takes no value
    // Its lines under "Options:"; empty for those told of with their command.
    std::string_view help;
    // Null for the options answered before the command line is read (-h,
    // --version); anywhere else they are unknown.
    Setter set;
};

void SetEncoding(Options& options, const std::string& code) {
    const std::string lower = LowerAscii(code);
    if (lower == "sjis" || lower == "shift_jis" || lower == "cp932") options.utf8 = false;
    else if (lower == "utf8" || lower == "utf-8") options.utf8 = true;
    else throw UsageError{"unknown code set '" + code + "' (sjis or utf8)"};
}

const Option kOptions[] = {
    {"-r", "--reference", "REF",
     "the reference page: a local .htm/.html page, any text file,\n"
     "or an http:// or https:// address. Without -r: the\n"
     "document's URL= value when it is a web address; then, for\n"
     "untag, the tag file's Reference= value when it is a web\n"
     "address or the bare name of an .htm/.html file beside the\n"
     "tag file. The reference used is named on standard error.",
     [](Options& o, const std::string& value) { o.reference = value; }},
    {"", "--partial", "",
     "untag: also write the result when some entries stay unresolved\n"
     "(the exit status stays 13)",
     [](Options& o, const std::string&) { o.partial = true; }},
    {"-o", "--output", "PATH",
     "where to write; \"-\" = standard output; DIR/ (a trailing\n"
     "slash, or with several INPUTs an existing folder) = into DIR\n"
     "under the default names. Default: the converted document's\n"
     "name in the input's folder (the name Save As would propose).\n"
     "Never overwrites an existing file unless --force, and a\n"
     "default output is never the input itself (give -o).",
     [](Options& o, const std::string& value) { o.output = value; }},
    {"-e", "--encoding", "sjis|utf8",
     "code set of the output. Default: sjis (what the\n"
     "player reads); utf8 when standard output is a terminal;\n"
     "unlrc: utf8.",
     SetEncoding},
    {"-f", "--force", "", "allow overwriting", [](Options& o, const std::string&) { o.force = true; }},
    {"-q", "--quiet", "", "no progress on standard error (warnings still show)",
     [](Options& o, const std::string&) { o.quiet = true; }},
    {"-h", "--help", "", "show this help", nullptr},
    {"", "--version", "", "show the version", nullptr},
    {"", "--artist", "", "", [](Options& o, const std::string&) { o.artist = true; }},
    {"", "--ms", "", "",
     [](Options& o, const std::string&) {
         if (o.command->kind != Kind::Export) throw UsageError{"--ms belongs to 'unlrc'"};
         o.lrc.milliseconds = true;
     }},
};

constexpr std::string_view kInputsAndStatuses =
    "INPUT: paths, converted one by one in order (a failure is reported and the\n"
    "rest still converted); or \"-\" alone for standard input (a conversion then\n"
    "needs -o FILE). Two INPUTs written to one file, or an output that is another\n"
    "INPUT, is a usage error even with --force, and nothing is written. Input in\n"
    "UTF-8, or UTF-16 with a byte-order mark, is read as such; characters without\n"
    "a Shift-JIS form become \"?\" (counted on stderr).\n"
    "Exit status (of the first failure): 0 success; 2 input file not found or a\n"
    "folder; 12 page not fetched; 13 tag file converted only in part; 1 any other\n"
    "failure; 64 usage error.\n";

// Whether `arg` is `option`; its value, if it takes one, in `value`: from
// "-xVALUE", "--name=VALUE", or the next argument after "-x" or "--name".
bool Matches(const Option& option, const std::vector<std::string_view>& args, std::size_t& i, std::string& value) {
    const std::string_view arg = args[i], shortName = option.shortName, longName = option.longName;
    if (option.valueName.empty()) return arg == longName || (!shortName.empty() && arg == shortName);
    if (arg.starts_with(longName)) {
        if (arg.size() > longName.size() && arg[longName.size()] != '=') return false;
        if (arg.size() > longName.size()) return value = arg.substr(longName.size() + 1), true;
    } else if (shortName.empty() || !arg.starts_with(shortName)) {
        return false;
    } else if (arg.size() > shortName.size()) {
        return value = arg.substr(shortName.size()), true;
    }
    if (++i >= args.size()) throw UsageError{"option '" + std::string(arg) + "' needs a value"};
    value = args[i];
    return true;
}

// What the options ask of the command and its INPUTs, once all are read.
void Check(Options& options, const std::string& name) {
    const Kind kind = options.command->kind;
    const bool writes = Writes(kind);
    if ((kind == Kind::Lrc || kind == Kind::Export || kind == Kind::Html) && (options.reference || options.partial))
        throw UsageError{"'" + name + "' takes no reference"};
    if (!writes && (options.output || options.reference || options.force || options.partial || options.utf8))
        throw UsageError{"'" + name + "' writes no file and takes no reference"};
    if (options.artist && kind != Kind::Search) throw UsageError{"--artist belongs to 'search'"};
    if (kind == Kind::Browser) {
        if (!options.inputs.empty()) throw UsageError{"'browser' takes no INPUT"};
        return;
    }
    if (options.inputs.empty()) throw UsageError{"no INPUT given"};
    if (options.output && options.output->empty()) throw UsageError{"the output path is empty"};
    if (options.reference && options.reference->empty()) throw UsageError{"the reference is empty"};
    const bool several = options.inputs.size() > 1;
    std::error_code ec;
    if (options.output && *options.output != "-")
        options.outputFolder = IsPathDelimiter(options.output->back()) ||
                               (several && std::filesystem::is_directory(FsPath(*options.output), ec));
    if (several && options.output && !options.outputFolder)
        throw UsageError{"-o with several INPUTs must name a folder (end it with '/')"};
    for (const auto& input : options.inputs) {
        if (input != "-") continue;
        if (several) throw UsageError{"standard input ('-') can only be the one INPUT"};
        if (writes && !options.NamedOutput())
            throw UsageError{"reading standard input needs -o FILE (or -o - for standard output)"};
    }
    if (kind == Kind::Export) options.lrc.shiftJis = options.utf8 && !*options.utf8;
}

// An entry of the usage text: `head`, and beside it, from `column` on (or
// two blanks after a longer head), the lines of `help`.
void AddEntry(std::string& out, std::string_view head, std::string_view help, std::size_t column) {
    out += head;
    std::size_t at = head.size() - (head.rfind('\n') + 1);  // npos + 1 is 0
    for (std::string_view line : SplitLines(help)) {
        out.append(std::max(column, at + 2) - at, ' ');
        out.append(line);
        out += '\n';
        at = 0;
    }
}

}  // namespace

Options ParseArguments(const std::vector<std::string_view>& args) {
    Options options;
    if (args.empty()) throw UsageError{"no command given"};
    for (const auto& command : Commands())
        if (command.name == args[0]) options.command = &command;
    if (!options.command) throw UsageError{"unknown command '" + std::string(args[0]) + "'"};

    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg.front() != '-') {
            options.inputs.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string value;
        const auto option = std::find_if(std::begin(kOptions), std::end(kOptions),
                                         [&](const Option& o) { return o.set && Matches(o, args, i, value); });
        if (option == std::end(kOptions)) throw UsageError{"unknown option '" + std::string(arg) + "'"};
        option->set(options, value);
    }
    Check(options, std::string(args[0]));
    return options;
}

bool AsksForHelp(const std::vector<std::string_view>& args) {
    return std::any_of(args.begin(), args.end(), [](std::string_view a) { return a == "-h" || a == "--help"; });
}

bool AsksForVersion(const std::vector<std::string_view>& args) { return !args.empty() && args[0] == "--version"; }

std::string UsageText() {
    std::string out = "Usage: zveklc-cli COMMAND [OPTIONS] INPUT...\n";
    for (const auto& command : Commands()) {
        std::string head = "  " + std::string(command.name);
        if (!command.synopsis.empty()) head += " " + std::string(command.synopsis) + "\n";
        AddEntry(out, head, command.help, 11);
    }
    out += "Options:\n";
    for (const auto& option : kOptions) {
        if (option.help.empty()) continue;
        // "-x," or blanks in its place, so that the long names line up.
        std::string head = option.shortName.empty() ? "     " : "  " + std::string(option.shortName) + ",";
        head += " " + std::string(option.longName);
        if (!option.valueName.empty()) head += " " + std::string(option.valueName);
        AddEntry(out, head, option.help, 21);
    }
    return out += kInputsAndStatuses;
}

}  // namespace zvek
