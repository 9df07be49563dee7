// zveklc-cli: every conversion from a shell or a script, without a window
// and without questions. Its options, output names and exit statuses are a
// contract that outside scripts rely on.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cli/CliMain.h"
#include "cli/ConsoleHost.h"
#include "cli/Streamed.h"
#include "tags/AutoConvert.h"
#include "lyrics/Conversions.h"
#include "lyrics/Lrc.h"
#include "lyrics/LyricsDocument.h"
#include "lyrics/FindCommands.h"
#include "text/Codec.h"
#include "text/Sjis.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/FsPath.h"
#include "tags/TagConversions.h"
#include "web/BrowserCurrentPage.h"

namespace zvek {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitNotFound = 2;
constexpr int kExitUsage = 64;

constexpr std::string_view kUsage =
    "Usage: zveklc-cli COMMAND [OPTIONS] INPUT...\n"
    "  text     plain lyrics text -> player lyrics (.lyr)\n"
    "  untext   player lyrics -> plain text (default output: INPUT with .txt)\n"
    "  winamp   WinAmp-style timed lyrics -> player lyrics (.lyr)\n"
    "  lrc      LRC lyrics (UTF-8, UTF-16, Shift-JIS or EUC-JP) -> player lyrics (.lyr);\n"
    "           refused when its stamps would make the lyrics over 8 times its size\n"
    "  unlrc    player lyrics -> LRC (INPUT with .lrc); UTF-8 unless -e sjis;\n"
    "           --ms writes milliseconds instead of hundredths\n"
    "  tag      player lyrics -> tag file (.TagLyr); needs a reference\n"
    "  untag    tag file -> player lyrics (the name in its LyrFile=, else .lyr);\n"
    "           needs a reference\n"
    "  auto     decides as Convert Auto does (and says what it decided)\n"
    "  html     the page text of an HTML file (INPUT with .txt)\n"
    "  search [--artist] INPUT\n"
    "           prints the UtaMap and then the UtaNet search address for the\n"
    "           document's Title= (--artist: Artist=) value; the two top pages\n"
    "           (UtaNet first) when the value is empty. Writes no file.\n"
    "  browser  prints the address of the page the web browser shows (no INPUT)\n"
    "Options:\n"
    "  -r, --reference REF  the reference page: a local .htm/.html page, any text file,\n"
    "                     or an http:// or https:// address. Without -r: the\n"
    "                     document's URL= value when it is a web address; then, for\n"
    "                     untag, the tag file's Reference= value when it is a web\n"
    "                     address or the bare name of an .htm/.html file beside the\n"
    "                     tag file. The reference used is named on standard error.\n"
    "      --partial      untag: also write the result when some entries stay unresolved\n"
    "                     (the exit status stays 13)\n"
    "  -o, --output PATH  where to write; \"-\" = standard output; DIR/ (a trailing\n"
    "                     slash, or with several INPUTs an existing folder) = into DIR\n"
    "                     under the default names. Default: the converted document's\n"
    "                     name in the input's folder (the name Save As would propose).\n"
    "                     Never overwrites an existing file unless --force, and a\n"
    "                     default output is never the input itself (give -o).\n"
    "  -e, --encoding sjis|utf8  code set of the output. Default: sjis (what the\n"
    "                     player reads); utf8 when standard output is a terminal;\n"
    "                     unlrc: utf8.\n"
    "  -f, --force        allow overwriting\n"
    "  -q, --quiet        no progress on standard error (warnings still show)\n"
    "  -h, --help         show this help\n"
    "      --version      show the version\n"
    "INPUT: paths, converted one by one in order (a failure is reported and the\n"
    "rest still converted); or \"-\" alone for standard input (a conversion then\n"
    "needs -o FILE). Two INPUTs written to one file, or an output that is another\n"
    "INPUT, is a usage error even with --force, and nothing is written. Input in\n"
    "UTF-8, or UTF-16 with a byte-order mark, is read as such; characters without\n"
    "a Shift-JIS form become \"?\" (counted on stderr).\n"
    "Exit status (of the first failure): 0 success; 2 input file not found or a\n"
    "folder; 12 page not fetched; 13 tag file converted only in part; 1 any other\n"
    "failure; 64 usage error.\n";

struct Options;

// Runs a conversion on the opened document; false when it failed (the
// document's ResultCode, when set, says how).
using Action = bool (*)(LyricsDocument&, const Options&, const std::string& input);

// What a command reads and what it gives back.
enum class Kind {
    Convert,  // a document in, the converted document out
    Html,     // an HTML page in, its page text out
    Search,   // a document in, addresses on standard output
    Browser,  // nothing in, the browser's address on standard output
    Lrc,      // an LRC file in whatever code set, player lyrics out
    Export,   // a document in, other bytes out; the document stays as it is
};

struct Command {
    std::string_view name;
    Action run;
    Kind kind = Kind::Convert;
    // The default output is the input with this extension; empty: the
    // converted document's own name, for the commands whose result is named
    // by what the file holds (untag, auto) and those that write no file.
    std::string_view outputExt = {};
};

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
};

struct UsageError {
    std::string message;
};

constexpr std::string_view kStandardInput = "標準入力";

// The reference a conversion needs, in the order -r, the document's URL=
// web address, and for a tag file being rebuilt its own Reference= (as far
// as it may be trusted); named on standard error.
std::string ReferenceFor(const LyricsDocument& doc, const Options& options, const std::string& input, bool rebuild) {
    std::string reference, from;
    if (options.reference) {
        reference = *options.reference, from = "-r で指定";
    } else if (reference = DocumentReferenceUrl(doc); !reference.empty()) {
        from = "文書の URL=";
    } else if (rebuild && !(reference = TagFileReference(doc, input == "-" ? std::string() : input)).empty()) {
        from = "タグファイルの Reference=";
    } else {
        throw UsageError{rebuild ? "no reference: give one with -r (the tag file has no http:// or https:// URL= "
                                   "line, and its Reference= names no web address or .htm/.html file beside it)"
                                 : "no reference: give one with -r (the document has no http:// or https:// URL= line)"};
    }
    doc.host().SetStatusText("参照ページ：" + reference + "（" + from + "）");
    return reference;
}

bool RunPlain(LyricsDocument& doc, void (*convert)(LyricsDocument&)) {
    convert(doc);
    return true;
}

bool RunTag(LyricsDocument& doc, const Options& options, const std::string& input) {
    return MakeTagFile(doc, ReferenceFor(doc, options, input, false));
}

bool RunUntag(LyricsDocument& doc, const Options& options, const std::string& input) {
    return RestoreFromTagFile(doc, ReferenceFor(doc, options, input, true));
}

bool RunAuto(LyricsDocument& doc, const Options& options, const std::string& input) {
    Host& host = doc.host();
    switch (DecideAutoConversion(doc)) {
    case AutoAction::FromUrl: {
        const bool tag = IsTagFile(doc);
        host.SetStatusText(tag ? "Convert Auto: Tag→ZVEK（文書の URL= のページで）"
                               : "Convert Auto: ZVEK→Tag（文書の URL= のページで）");
        return ConvertWithReference(doc, ReferenceFor(doc, options, input, tag));
    }
    case AutoAction::TagToZVEK: host.SetStatusText("Convert Auto: Tag→ZVEK"); return RunUntag(doc, options, input);
    case AutoAction::ZVEKToTag: host.SetStatusText("Convert Auto: ZVEK→Tag"); return RunTag(doc, options, input);
    case AutoAction::WinAmp:
        host.SetStatusText("Convert Auto: WinAmp→ZVEK");
        return RunPlain(doc, ConvertWinAmpToZVEK);
    case AutoAction::Text: host.SetStatusText("Convert Auto: Text→ZVEK"); return RunPlain(doc, ConvertTextToZVEK);
    }
    return false;
}

// Unreadable stamps are a warning, shown even with -q.
bool RunLrc(LyricsDocument& doc, const Options&, const std::string&) {
    int invalid = 0;
    doc.SetLines(LrcToZVEK(doc.TakeLines(), invalid));
    if (!doc.FileName().empty()) doc.SetFileName(ChangeFileExt(doc.FileName(), ".lyr"));
    if (invalid > 0) doc.host().Warn(InvalidStampsNote(invalid));
    return true;
}

bool RunNothing(LyricsDocument&, const Options&, const std::string&) { return true; }

const Command kCommands[] = {
    {"text", [](LyricsDocument& doc, const Options&, const std::string&) { return RunPlain(doc, ConvertTextToZVEK); },
     Kind::Convert, ".lyr"},
    {"untext", [](LyricsDocument& doc, const Options&, const std::string&) { return RunPlain(doc, ConvertZVEKToText); },
     Kind::Convert, ".txt"},
    {"winamp",
     [](LyricsDocument& doc, const Options&, const std::string&) { return RunPlain(doc, ConvertWinAmpToZVEK); },
     Kind::Convert, ".lyr"},
    {"lrc", RunLrc, Kind::Lrc, ".lyr"},
    {"unlrc", RunNothing, Kind::Export, ".lrc"},
    {"tag", RunTag, Kind::Convert, ".TagLyr"},
    {"untag", RunUntag},
    {"auto", RunAuto},
    {"html", RunNothing, Kind::Html, ".txt"},
    {"search", RunNothing, Kind::Search},
    {"browser", RunNothing, Kind::Browser},
};

bool Writes(Kind kind) {
    return kind == Kind::Convert || kind == Kind::Html || kind == Kind::Lrc || kind == Kind::Export;
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(FsPath(path), ec);
}

Options ParseArguments(const std::vector<std::string_view>& args) {
    Options options;
    if (args.empty()) throw UsageError{"no command given"};
    for (const auto& command : kCommands)
        if (command.name == args[0]) options.command = &command;
    if (!options.command) throw UsageError{"unknown command '" + std::string(args[0]) + "'"};

    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        // An option that takes a value: "-x VALUE", "-xVALUE", "--name VALUE"
        // or "--name=VALUE"; nullopt when `arg` is not that option.
        const auto valueOf = [&](std::string_view shortName, std::string_view longName) -> std::optional<std::string> {
            if (arg.starts_with(longName)) {
                if (arg.size() > longName.size() && arg[longName.size()] != '=') return std::nullopt;
                if (arg.size() > longName.size()) return std::string(arg.substr(longName.size() + 1));
            } else if (!arg.starts_with(shortName)) {
                return std::nullopt;
            } else if (arg.size() > shortName.size()) {
                return std::string(arg.substr(shortName.size()));
            }
            if (++i >= args.size()) throw UsageError{"option '" + std::string(arg) + "' needs a value"};
            return std::string(args[i]);
        };
        if (optionsEnded || arg == "-" || arg.empty() || arg.front() != '-') {
            options.inputs.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-f" || arg == "--force") {
            options.force = true;
        } else if (arg == "-q" || arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--partial") {
            options.partial = true;
        } else if (arg == "--artist") {
            options.artist = true;
        } else if (arg == "--ms") {
            if (options.command->kind != Kind::Export) throw UsageError{"--ms belongs to 'unlrc'"};
            options.lrc.milliseconds = true;
        } else if (const auto code = valueOf("-e", "--encoding")) {
            const std::string lower = LowerAscii(*code);
            if (lower == "sjis" || lower == "shift_jis" || lower == "cp932") options.utf8 = false;
            else if (lower == "utf8" || lower == "utf-8") options.utf8 = true;
            else throw UsageError{"unknown code set '" + *code + "' (sjis or utf8)"};
        } else if (const auto reference = valueOf("-r", "--reference")) {
            options.reference = *reference;
        } else if (const auto output = valueOf("-o", "--output")) {
            options.output = *output;
        } else {
            throw UsageError{"unknown option '" + std::string(arg) + "'"};
        }
    }
    const Kind kind = options.command->kind;
    const std::string name(args[0]);
    const bool writes = Writes(kind);
    if ((kind == Kind::Lrc || kind == Kind::Export || kind == Kind::Html) && (options.reference || options.partial))
        throw UsageError{"'" + name + "' takes no reference"};
    if (!writes && (options.output || options.reference || options.force || options.partial || options.utf8))
        throw UsageError{"'" + name + "' writes no file and takes no reference"};
    if (options.artist && kind != Kind::Search) throw UsageError{"--artist belongs to 'search'"};
    if (kind == Kind::Browser) {
        if (!options.inputs.empty()) throw UsageError{"'browser' takes no INPUT"};
        return options;
    }
    if (options.inputs.empty()) throw UsageError{"no INPUT given"};
    if (options.output && options.output->empty()) throw UsageError{"the output path is empty"};
    if (options.reference && options.reference->empty()) throw UsageError{"the reference is empty"};
    const bool several = options.inputs.size() > 1;
    if (options.output && *options.output != "-")
        options.outputFolder = options.output->ends_with('/') || (several && IsFolder(*options.output));
    if (several && options.output && !options.outputFolder)
        throw UsageError{"-o with several INPUTs must name a folder (end it with '/')"};
    for (const auto& input : options.inputs) {
        if (input != "-") continue;
        if (several) throw UsageError{"standard input ('-') can only be the one INPUT"};
        if (writes && (!options.output || options.outputFolder))
            throw UsageError{"reading standard input needs -o FILE (or -o - for standard output)"};
    }
    if (kind == Kind::Export) options.lrc.shiftJis = options.utf8 && !*options.utf8;
    return options;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(FsPath(a), FsPath(b), ec);
}

// The name the result takes when -o names no file: the command's extension
// on the input or, where the command has none, the `converted` document's
// name (the name Save As would propose), in the input's folder.
std::string DefaultName(const Command& command, const std::string& input, const LyricsDocument* converted) {
    if (!command.outputExt.empty()) return input == "-" ? std::string() : ChangeFileExt(input, command.outputExt);
    std::string name = converted->FileName();
    if (!name.empty() && name.find('/') == std::string::npos) name = ReplaceFileName(input, name);
    return name;
}

// Where the result goes: the file -o names, or `defaultName`, moved into the
// folder -o names if it names one.
std::string OutputPath(const Options& options, const std::string& defaultName) {
    if (options.output && !options.outputFolder) return *options.output;
    if (defaultName.empty() || !options.outputFolder) return defaultName;
    return JoinPath(*options.output, ExtractFileName(defaultName));
}

// Shift-JIS is what the player reads; a terminal shows UTF-8.
bool WantsUtf8(const Options& options, const std::string& output) {
    return options.utf8 ? *options.utf8 : output == "-" && IsTerminal(STDOUT_FILENO);
}

int ExitStatusOf(int resultCode) {
    switch (resultCode) {
    case kResultOk: return kExitOk;
    case kResultFileNotFound: return kExitNotFound;
    case kResultPageNotFetched: return kResultPageNotFetched;
    case kResultPartial: return kResultPartial;
    default: return kExitFailure;
    }
}

// The address is what the browser gives, as it gives it: the window cleans
// it up only when it fetches the page. It is anybody's text, though: its
// control characters are shown escaped, and it stays on one line.
int RunBrowser(const ConsoleHost& host) {
    const std::string page = GetBrowserPage();
    if (page.empty()) {
        host.Print("インターネットエクスプローラーで歌詞ページを表示させてください");
        return kExitFailure;
    }
    return WriteStdout(EscapeForTerminal(page, true) + "\n") ? kExitOk : kExitFailure;
}

// The addresses the Find menu would open, in the same order.
int RunSearch(const LyricsDocument& doc, const Options& options) {
    std::string out;
    for (const auto& address : FindLyricsAddresses(doc, options.artist ? SearchField::Artist : SearchField::Title))
        out += address + "\n";
    return WriteStdout(out) ? kExitOk : kExitFailure;
}

std::string LrcText(std::string bytes, ConsoleHost& host) {
    std::size_t replaced = 0;
    std::string text = LrcTextFromBytes(std::move(bytes), replaced);
    if (replaced > 0) host.SetStatusText(ReplacedCharsNote(replaced));
    return text;
}

// A tag file rebuilt in part: which lines, and what --partial would do.
void ReportUnresolved(const LyricsDocument& doc, const Options& options, ConsoleHost& host) {
    constexpr std::size_t kShown = 20;
    std::string lines;
    for (std::size_t i = 0; i < doc.UnresolvedLines.size() && i < kShown; ++i)
        lines += (i ? ", " : "") + std::to_string(doc.UnresolvedLines[i]);
    if (doc.UnresolvedLines.size() > kShown)
        lines += " ほか" + std::to_string(doc.UnresolvedLines.size() - kShown) + "行";
    host.Warn("参照ページに見つからなかった行：" + lines +
              (options.partial ? "（その行はタグのまま書き出しました）"
                               : "（--partial を付けると、その行をタグのまま残して書き出します）"));
}

// Reads INPUT into the document; false (with the exit status in `status`)
// when there is nothing to convert.
bool Load(LyricsDocument& doc, const Options& options, const std::string& input, ConsoleHost& host, int& status) {
    const Kind kind = options.command->kind;
    if (input == "-") {
        std::string bytes(std::istreambuf_iterator<char>(std::cin), {});
        if (kind == Kind::Html) doc.LoadHtmlBytes(bytes);
        else if (kind == Kind::Lrc) doc.SetText(LrcText(std::move(bytes), host));
        else doc.LoadTextBytes(bytes);
        return true;
    }
    if (IsFolder(input)) {
        host.Print(input + "：フォルダです（ファイルを指定してください）");
        status = kExitNotFound;
        return false;
    }
    if (kind == Kind::Lrc && FileExists(input)) {
        // Opening takes only UTF-8 and UTF-16 apart from Shift-JIS; LRC
        // files come in more code sets, so the reader looks at the bytes
        // itself (a missing file is left to OpenFile, which reports it).
        doc.SetText(LrcText(ReadFileBytes(input), host));
        doc.SetFileName(input);
        return true;
    }
    if (!doc.OpenFile(input)) {
        status = ExitStatusOf(doc.ResultCode);
        return false;
    }
    if (kind == Kind::Html) doc.LoadHtmlFile(input);
    return true;
}

// The folder -o names, made where it is missing (a failure shows when writing into it).
void MakeOutputFolder(const Options& options) {
    std::error_code ec;
    if (options.outputFolder) std::filesystem::create_directories(FsPath(*options.output), ec);
}

// Writes `bytes` to `output`: a new file, or with --force over whatever is
// there (replaced whole, never left half-written).
int WriteOutput(const std::string& output, std::string_view bytes, const Options& options, ConsoleHost& host) {
    const auto refuse = [&] {
        host.Print(output + "：ファイルが既にあります（上書きするには --force を付けてください）");
        return kExitFailure;
    };
    if (IsFolder(output)) {
        host.Print(output + "：フォルダです（その中に書き出すには、-o の最後に / を付けてください）");
        return kExitFailure;
    }
    MakeOutputFolder(options);
    if (options.force) {
        WriteFileAtomic(output, bytes);
    } else {
        if (NameTaken(output)) return refuse();
        // The name may be taken between that look and the save: the save
        // itself refuses then, and follows no link put there meanwhile.
        try {
            WriteNewFile(output, bytes);
        } catch (const FileExistsError&) {
            return refuse();
        }
    }
    host.SetStatusText("保存しました：" + output);
    return kExitOk;
}

// `html` and `text` of a file into Shift-JIS need no document: they stream
// to `output`, where the document route would write. Whatever needs the
// document route's checks or messages (a name equal to the input, a folder,
// UTF-8 output) is left to it.
std::optional<int> TryStreamed(const Options& options, const std::string& input, const std::string& output,
                               ConsoleHost& host) {
    const std::string_view name = options.command->name;
    if ((name != "html" && name != "text") || input == "-") return std::nullopt;
    const bool named = options.output && !options.outputFolder;
    if (WantsUtf8(options, output) || IsFolder(output) || (!named && SameFile(output, input))) return std::nullopt;
    MakeOutputFolder(options);
    return RunStreamed(name, input, output, options.force, host);
}

// One INPUT on its way through a batch.
struct Job {
    std::string output;        // where its result goes, once known
    std::string bytes;         // its result, once converted
    bool converted = false;
    std::optional<int> ended;  // the exit status of an INPUT that ends without writing
    int written = kExitOk;     // its exit status once the result is written
};

// Runs `step`, reporting what it throws as the failure of its INPUT alone;
// the exit status then.
template <typename Step>
std::optional<int> Reported(ConsoleHost& host, Step&& step) {
    try {
        step();
        return std::nullopt;
    } catch (const UsageError& e) {
        host.Print("zveklc-cli: " + e.message);
        return kExitUsage;
    } catch (const FileError& e) {
        host.Print(e.what());
    } catch (const std::exception& e) {
        host.Print(std::string("エラー：") + e.what());
    }
    return kExitFailure;
}

// Reads and converts INPUT into `job`: its result and, where the converted
// document names it, its output.
void Convert(const Options& options, const std::string& input, ConsoleHost& host, Job& job) {
    const Kind kind = options.command->kind;
    LyricsDocument doc(host);
    doc.UntitledName = kStandardInput;
    job.converted = true;
    if (int status = kExitOk; !Load(doc, options, input, host, status)) {
        job.ended = status;
        return;
    }
    if (kind == Kind::Search) {
        job.ended = RunSearch(doc, options);
        return;
    }
    // Export writes other bytes than the document's.
    if (kind == Kind::Export) {
        int skipped = 0;
        job.bytes = ZVEKToLrc(doc.Lines(), options.lrc, skipped);
        if (skipped > 0) host.SetStatusText("時刻のない行など" + std::to_string(skipped) + "行は書き出していません");
    } else {
        const bool converted = options.command->run(doc, options, input);
        if (!doc.UnresolvedLines.empty()) ReportUnresolved(doc, options, host);
        const bool keepPartial = options.partial && doc.ResultCode == kResultPartial;
        if (!converted && !keepPartial) {
            job.ended = doc.ResultCode != kResultOk ? ExitStatusOf(doc.ResultCode) : kExitFailure;
            return;
        }
        job.bytes = doc.Text();
    }
    if (job.output.empty()) job.output = OutputPath(options, DefaultName(*options.command, input, &doc));
    job.written = ExitStatusOf(doc.ResultCode);
}

// Writes a converted INPUT's result, which it takes over: a batch holds
// no result longer than it must. Its exit status.
int Deliver(const Options& options, const std::string& input, Job& job, ConsoleHost& host) {
    std::string bytes = std::move(job.bytes);
    const bool named = options.output && !options.outputFolder;
    const std::string& output = job.output;
    if (!named && SameFile(output, input)) {
        host.Print(output + "：出力先が入力と同じファイルになります（-o で別の出力先を指定してください）");
        return kExitUsage;
    }
    // Only the user says "-": a name taken from a file is a file name.
    const bool toStdout = named && output == "-";
    // LRC is written in its own code set.
    if (options.command->kind != Kind::Export && WantsUtf8(options, output)) bytes = SjisToUtf8(bytes);
    if (toStdout) return WriteStdout(bytes) ? job.written : kExitFailure;
    const int written = WriteOutput(output, bytes, options, host);
    return written != kExitOk ? written : job.written;
}

// One INPUT to its end; its exit status.
int Finish(const Options& options, const std::string& input, Job& job, ConsoleHost& host) {
    if (!job.converted) {
        if (const auto streamed = TryStreamed(options, input, job.output, host)) return *streamed;
        Convert(options, input, host, job);
    }
    if (job.ended) return *job.ended;
    return Deliver(options, input, job, host);
}

// Tells two names of one file from two files: the path made absolute with
// every link in its folders resolved, and for a file that exists (through a
// link, too) its device and inode, which hard links share (where the system
// gives an inode: some give 0 for every file).
struct FileKey {
    std::string path;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> id;
};

FileKey KeyOf(const std::string& path) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(FsPath(path), ec);
    std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, ec);
    FileKey key{PathText(ec ? absolute.lexically_normal() : resolved), std::nullopt};
    key.id = FileIdentity(path);
    return key;
}

// The files of a batch, each with the first job that names it.
class FileIndex {
public:
    // Adds the file of `job`; the job that named it before, if any.
    std::optional<std::size_t> Add(const FileKey& key, std::size_t job) {
        if (const auto before = Find(key)) return before;
        paths_.emplace(key.path, job);
        if (key.id) ids_.emplace(*key.id, job);
        return std::nullopt;
    }
    std::optional<std::size_t> Find(const FileKey& key) const {
        if (const auto at = paths_.find(key.path); at != paths_.end()) return at->second;
        if (const auto at = key.id ? ids_.find(*key.id) : ids_.end(); at != ids_.end()) return at->second;
        return std::nullopt;
    }

private:
    std::unordered_map<std::string, std::size_t> paths_;
    std::map<std::pair<dev_t, ino_t>, std::size_t> ids_;
};

// Two results for one file, or a result over another INPUT, would with
// --force silently undo the batch's own work or replace an INPUT before it
// is read: such a batch is refused before anything is written.
void CheckBatch(const Options& options, const std::vector<Job>& jobs) {
    const auto& inputs = options.inputs;
    if (inputs.size() < 2) return;
    FileIndex read, written;
    for (std::size_t i = 0; i < inputs.size(); ++i) read.Add(KeyOf(inputs[i]), i);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const std::string& output = jobs[i].output;
        if (jobs[i].ended || output.empty()) continue;
        const FileKey key = KeyOf(output);
        if (const auto other = read.Find(key); other && *other != i)
            throw UsageError{"'" + inputs[i] + "' would be written to '" + output + "', which is the INPUT '" +
                             inputs[*other] + "'"};
        if (const auto other = written.Add(key, i))
            throw UsageError{"'" + inputs[*other] + "' and '" + inputs[i] + "' would both be written to '" + output +
                             "'"};
    }
}

// Every INPUT in order; the status of the first that failed. Every output
// is known before anything is written: from the INPUT's name, or for the
// commands whose results are named by what the files hold, once all of them
// are converted.
int Run(const Options& options) {
    ConsoleHost host(options.quiet);
    const Command& command = *options.command;
    if (command.kind == Kind::Browser) return RunBrowser(host);
    const auto& inputs = options.inputs;
    std::vector<Job> jobs(inputs.size());
    if (Writes(command.kind)) {
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            Job& job = jobs[i];
            if (!command.outputExt.empty())
                job.output = OutputPath(options, DefaultName(command, inputs[i], nullptr));
            else if (const auto failed = Reported(host, [&] { Convert(options, inputs[i], host, job); }))
                job.ended = failed;
        }
        CheckBatch(options, jobs);
    }
    int first = kExitOk;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        int status = kExitOk;
        if (const auto failed = Reported(host, [&] { status = Finish(options, inputs[i], jobs[i], host); }))
            status = *failed;
        if (first == kExitOk) first = status;
    }
    return first;
}

}  // namespace

int CliMain(const std::vector<std::string_view>& args) {
    const auto print = [](std::string_view text) { return WriteStdout(text) ? kExitOk : kExitFailure; };
    int status = kExitOk;
    if (!args.empty() && args[0] == "--version") {
        status = print(std::string("zveklc-cli ") + ZVEKLC_VERSION + "\n");
    } else if (std::any_of(args.begin(), args.end(), [](std::string_view a) { return a == "-h" || a == "--help"; })) {
        status = print(kUsage);
    } else {
        try {
            status = Run(ParseArguments(args));
        } catch (const UsageError& e) {
            const std::string text = "zveklc-cli: " + EscapeForTerminal(e.message) + "\nTry 'zveklc-cli --help'.\n";
            std::fwrite(text.data(), 1, text.size(), stderr);
            status = kExitUsage;
        }
    }
    return CloseStdout() ? status : kExitFailure;
}

}  // namespace zvek
