// zveklc-cli: every conversion from a shell or a script, without a window
// and without questions. Its options, output names and exit statuses are a
// contract that outside scripts rely on.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/ConsoleHost.h"
#include "cli/Streamed.h"
#include "tags/AutoConvert.h"
#include "lyrics/Conversions.h"
#include "lyrics/Lrc.h"
#include "lyrics/LyricsDocument.h"
#include "lyrics/LyricsSearch.h"
#include "text/Codec.h"
#include "text/Sjis.h"
#include "platform/Files.h"
#include "tags/TagConversions.h"
#include "web/BrowserPage.h"

namespace zvek {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitNotFound = 2;
constexpr int kExitUsage = 64;

constexpr std::string_view kUsage =
    "Usage: zveklc-cli COMMAND [OPTIONS] INPUT\n"
    "  text     plain lyrics text -> player lyrics\n"
    "  untext   player lyrics -> plain text\n"
    "  winamp   WinAmp-style timed lyrics -> player lyrics\n"
    "  lrc      LRC lyrics (UTF-8, UTF-16, Shift-JIS or EUC-JP) -> player lyrics\n"
    "  unlrc [--ms] [-e sjis] INPUT\n"
    "           player lyrics -> LRC (default output: INPUT with .lrc); UTF-8\n"
    "           unless -e sjis; --ms writes milliseconds instead of hundredths\n"
    "  tag      player lyrics -> tag file (needs a reference)\n"
    "  untag    tag file -> player lyrics (needs a reference)\n"
    "  auto     decides as Convert Auto does; a reference where it needs one\n"
    "  html     the page text of an HTML file (default output: INPUT with .txt)\n"
    "  search [--artist] INPUT\n"
    "           prints the UtaMap and then the UtaNet search address for the\n"
    "           document's Title= (--artist: Artist=) value; the two top pages\n"
    "           (UtaNet first) when the value is empty. Writes no file.\n"
    "  browser  prints the address of the page the web browser shows (no INPUT)\n"
    "Options:\n"
    "  -r, --reference REF  the reference page: a local .htm/.html page, any text file, or an\n"
    "                     http:// or https:// address. Default: the document's URL= value\n"
    "                     when that is an http:// or https:// address.\n"
    "      --partial      untag: also write the result when some entries stay unresolved\n"
    "                     (the exit status stays 13)\n"
    "  -o, --output PATH  where to write; \"-\" = standard output. Default: the document's\n"
    "                     file name after the conversion (the name Save As would propose),\n"
    "                     in the input's folder. Never overwrites an existing file, nor the\n"
    "                     input, unless --force.\n"
    "  -f, --force        allow overwriting\n"
    "  -q, --quiet        no progress on standard error\n"
    "  -h, --help         show this help\n"
    "      --version      show the version\n"
    "INPUT: a path, or \"-\" for standard input (a conversion then needs -o).\n"
    "Exit status: 0 success; 2 input file not found; 12 page not fetched; 13 tag file\n"
    "converted only in part; 1 any other failure; 64 usage error.\n";

struct Options;

// Runs a conversion on the opened document; false when it failed (the
// document's ResultCode, when set, says how).
using Action = bool (*)(LyricsDocument&, const Options&);

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
};

struct Options {
    const Command* command = nullptr;
    std::string input;
    std::optional<std::string> output;
    std::optional<std::string> reference;
    bool force = false;
    bool quiet = false;
    bool partial = false;
    bool artist = false;
    LrcWriteOptions lrc;
};

struct UsageError {
    std::string message;
};

// The reference a conversion needs: -r, else the document's URL= value when
// that is a web address.
std::string ReferenceFor(const LyricsDocument& doc, const Options& options) {
    if (options.reference) return *options.reference;
    std::string address = DocumentReferenceUrl(doc);
    if (address.empty())
        throw UsageError{"no reference: give one with -r (the document has no http:// or https:// URL= line)"};
    return address;
}

bool RunPlain(LyricsDocument& doc, void (*convert)(LyricsDocument&)) {
    convert(doc);
    return true;
}

bool RunTag(LyricsDocument& doc, const Options& options) { return MakeTagFile(doc, ReferenceFor(doc, options)); }

bool RunUntag(LyricsDocument& doc, const Options& options) {
    return RestoreFromTagFile(doc, ReferenceFor(doc, options));
}

bool RunAuto(LyricsDocument& doc, const Options& options) {
    switch (DecideAutoConversion(doc)) {
    case AutoAction::FromUrl: return ConvertWithReference(doc, ReferenceFor(doc, options));
    case AutoAction::TagToZVEK: return RunUntag(doc, options);
    case AutoAction::ZVEKToTag: return RunTag(doc, options);
    case AutoAction::WinAmp: return RunPlain(doc, ConvertWinAmpToZVEK);
    case AutoAction::Text: return RunPlain(doc, ConvertTextToZVEK);
    }
    return false;
}

// The page text of an HTML page, whatever its name says; it is named like
// the page with ".txt".
bool RunHtml(LyricsDocument& doc, const Options& options) {
    if (options.input != "-") doc.SetFileName(ChangeFileExt(options.input, ".txt"));
    return true;
}

// Unreadable stamps are a warning, shown even with -q.
bool RunLrc(LyricsDocument& doc, const Options&) {
    int invalid = 0;
    doc.SetLines(LrcToZVEK(doc.TakeLines(), invalid));
    if (!doc.FileName().empty()) doc.SetFileName(ChangeFileExt(doc.FileName(), ".lyr"));
    if (invalid > 0) doc.host().MessageBox(InvalidStampsNote(invalid), MsgKind::Warning, MsgButtons::Ok);
    return true;
}

const Command kCommands[] = {
    {"text", [](LyricsDocument& doc, const Options&) { return RunPlain(doc, ConvertTextToZVEK); }},
    {"untext", [](LyricsDocument& doc, const Options&) { return RunPlain(doc, ConvertZVEKToText); }},
    {"winamp", [](LyricsDocument& doc, const Options&) { return RunPlain(doc, ConvertWinAmpToZVEK); }},
    {"lrc", RunLrc, Kind::Lrc},
    {"unlrc", nullptr, Kind::Export},
    {"tag", RunTag},
    {"untag", RunUntag},
    {"auto", RunAuto},
    {"html", RunHtml, Kind::Html},
    {"search", nullptr, Kind::Search},
    {"browser", nullptr, Kind::Browser},
};

Options ParseArguments(const std::vector<std::string_view>& args) {
    Options options;
    if (args.empty()) throw UsageError{"no command given"};
    for (const auto& command : kCommands)
        if (command.name == args[0]) options.command = &command;
    if (!options.command) throw UsageError{"unknown command '" + std::string(args[0]) + "'"};

    std::vector<std::string_view> operands;
    bool optionsEnded = false;
    bool lrcOption = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg.front() != '-') {
            operands.push_back(arg);
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
            options.lrc.milliseconds = true;
            lrcOption = true;
        } else if (arg == "-e" || arg == "--encoding" || arg.starts_with("--encoding=")) {
            std::string_view code;
            if (arg.starts_with("--encoding=")) {
                code = arg.substr(11);
            } else {
                if (++i >= args.size()) throw UsageError{"option '" + std::string(arg) + "' needs a code set"};
                code = args[i];
            }
            const std::string lower = LowerAscii(code);
            if (lower == "sjis" || lower == "shift_jis" || lower == "cp932") options.lrc.shiftJis = true;
            else if (lower == "utf8" || lower == "utf-8") options.lrc.shiftJis = false;
            else throw UsageError{"unknown code set '" + std::string(code) + "' (sjis or utf8)"};
            lrcOption = true;
        } else if (arg == "-r" || arg == "--reference") {
            if (++i >= args.size()) throw UsageError{"option '" + std::string(arg) + "' needs a reference"};
            options.reference = std::string(args[i]);
        } else if (arg.starts_with("--reference=")) {
            options.reference = std::string(arg.substr(12));
        } else if (arg == "-o" || arg == "--output") {
            if (++i >= args.size()) throw UsageError{"option '" + std::string(arg) + "' needs a path"};
            options.output = std::string(args[i]);
        } else if (arg.starts_with("--output=")) {
            options.output = std::string(arg.substr(9));
        } else if (arg.starts_with("-o")) {
            options.output = std::string(arg.substr(2));
        } else {
            throw UsageError{"unknown option '" + std::string(arg) + "'"};
        }
    }
    const Kind kind = options.command->kind;
    const bool writes = kind == Kind::Convert || kind == Kind::Html || kind == Kind::Lrc || kind == Kind::Export;
    if (lrcOption && kind != Kind::Export) throw UsageError{"--ms and -e belong to 'unlrc'"};
    if (kind == Kind::Lrc || kind == Kind::Export) {
        if (options.reference || options.partial) throw UsageError{"'" + std::string(args[0]) + "' takes no reference"};
    }
    if (!writes && (options.output || options.reference || options.force || options.partial))
        throw UsageError{"'" + std::string(args[0]) + "' writes no file and takes no reference"};
    if (options.artist && kind != Kind::Search) throw UsageError{"--artist belongs to 'search'"};
    if (kind == Kind::Browser) {
        if (!operands.empty()) throw UsageError{"'browser' takes no INPUT"};
        return options;
    }
    if (operands.empty()) throw UsageError{"no INPUT given"};
    if (operands.size() > 1) throw UsageError{"more than one INPUT given"};
    options.input = std::string(operands.front());
    if (options.output && options.output->empty()) throw UsageError{"the output path is empty"};
    if (options.reference && options.reference->empty()) throw UsageError{"the reference is empty"};
    if (options.input == "-" && writes && !options.output) throw UsageError{"reading standard input needs -o"};
    return options;
}

bool PathTaken(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// The name Save As would propose, placed in the input's folder when it has
// no folder of its own.
std::string DefaultOutput(const LyricsDocument& doc, const std::string& input) {
    std::string name = doc.FileName();
    if (name.empty()) return {};
    if (name.find('/') == std::string::npos) {
        const std::string dir = ExtractFileDir(input);
        if (!dir.empty()) name = (dir == "/" ? dir : dir + "/") + name;
    }
    return name;
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

// Whether anything went to standard output, whose closing then has to be
// checked too.
bool stdoutWritten = false;

void ReportStdoutError(int error) {
    const std::string text = std::string("標準出力に書き込めません（") + std::strerror(error) + "）\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
}

// Straight to the descriptor, so that no buffer is left to fail unseen at
// exit; a script must learn that its output is incomplete (a full disk).
bool WriteOut(std::string_view bytes) {
    stdoutWritten = true;
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ReportStdoutError(errno);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Some file systems report a failed write only when the file is closed.
int CloseStdout(int status) {
    if (!stdoutWritten) return status;
    if (::close(STDOUT_FILENO) != 0 && errno != EINTR) {
        ReportStdoutError(errno);
        return kExitFailure;
    }
    return status;
}

// The address is what the browser gives, as it gives it: the window cleans
// it up only when it fetches the page.
int RunBrowser(const ConsoleHost& host) {
    const std::string page = GetBrowserPage();
    if (page.empty()) {
        host.Print("インターネットエクスプローラーで歌詞ページを表示させてください");
        return kExitFailure;
    }
    return WriteOut(page + "\n") ? kExitOk : kExitFailure;
}

// The addresses the Find menu would open, in the same order.
int RunSearch(const LyricsDocument& doc, const Options& options) {
    std::string out;
    for (const auto& address : FindLyricsAddresses(doc, options.artist ? SearchField::Artist : SearchField::Title))
        out += address + "\n";
    return WriteOut(out) ? kExitOk : kExitFailure;
}

std::string LrcText(std::string bytes, ConsoleHost& host) {
    std::size_t replaced = 0;
    std::string text = LrcTextFromBytes(std::move(bytes), replaced);
    if (replaced > 0) host.SetStatusText(ReplacedCharsNote(replaced));
    return text;
}

int Run(const Options& options) {
    ConsoleHost host(options.quiet);
    const Kind kind = options.command->kind;
    LyricsDocument doc(host);
    try {
        if (kind == Kind::Browser) return RunBrowser(host);
        if (const auto streamed = RunStreamed(options.command->name, options.input, options.output.value_or(""),
                                              options.force, host)) {
            stdoutWritten = stdoutWritten || options.output == "-";
            return *streamed;
        }
        if (options.input == "-") {
            std::string bytes(std::istreambuf_iterator<char>(std::cin), {});
            if (kind == Kind::Html) doc.LoadHtmlBytes(bytes);
            else if (kind == Kind::Lrc) doc.SetText(LrcText(std::move(bytes), host));
            else doc.LoadTextBytes(bytes);
        } else if (kind == Kind::Lrc && FileExists(options.input)) {
            // Opening takes only UTF-8 apart from Shift-JIS; LRC files come
            // in more code sets, so the reader looks at the bytes itself
            // (a missing file is left to OpenFile, which reports it).
            doc.SetText(LrcText(ReadFileBytes(options.input), host));
            doc.SetFileName(options.input);
        } else if (!doc.OpenFile(options.input)) {
            return ExitStatusOf(doc.ResultCode);
        } else if (kind == Kind::Html) {
            doc.LoadHtmlFile(options.input);
        }
        if (kind == Kind::Search) return RunSearch(doc, options);

        // Export writes other bytes than the document's and names them
        // after the input.
        std::string exported;
        if (kind == Kind::Export) {
            int skipped = 0;
            exported = ZVEKToLrc(doc.Lines(), options.lrc, skipped);
            if (skipped > 0)
                host.SetStatusText("時刻のない行など" + std::to_string(skipped) + "行は書き出していません");
        } else {
            const bool converted = options.command->run(doc, options);
            const bool keepPartial = options.partial && doc.ResultCode == kResultPartial;
            if (!converted && !keepPartial)
                return doc.ResultCode != kResultOk ? ExitStatusOf(doc.ResultCode) : kExitFailure;
        }

        const std::string output = options.output                 ? *options.output
                                   : kind != Kind::Export         ? DefaultOutput(doc, options.input)
                                   : options.input == "-"         ? std::string()
                                                                  : ChangeFileExt(options.input, ".lrc");
        if (output.empty()) {
            host.Print("出力先を -o で指定してください");
            return kExitUsage;
        }
        // Only the user says "-": a name taken from a file is a file name.
        if (options.output && output == "-")
            return WriteOut(kind == Kind::Export ? exported : doc.Text()) ? ExitStatusOf(doc.ResultCode) : kExitFailure;
        const auto refuse = [&] {
            host.Print(output + "：ファイルが既にあります（上書きするには --force を付けてください）");
            return kExitFailure;
        };
        if (kind == Kind::Export) {
            if (!options.force && PathTaken(output)) return refuse();
            try {
                if (options.force) WriteFileAtomic(output, exported);
                else WriteNewFile(output, exported);
            } catch (const FileExistsError&) {
                return refuse();
            }
        } else if (options.force) {
            doc.SaveFile(output);
        } else {
            if (PathTaken(output)) return refuse();
            // The name may be taken between that look and the save: the save
            // itself refuses then, and follows no link put there meanwhile.
            doc.SetFileName(output);
            try {
                WriteNewFile(output, doc.Text());
            } catch (const FileExistsError&) {
                return refuse();
            }
        }
        host.SetStatusText("保存しました：" + output);
        return ExitStatusOf(doc.ResultCode);
    } catch (const FileError& e) {
        host.Print(e.what());
    } catch (const std::exception& e) {
        host.Print(std::string("エラー：") + e.what());
    }
    return kExitFailure;
}

}  // namespace
}  // namespace zvek

namespace zvek {
namespace {

int Main(const std::vector<std::string_view>& args) {
    const auto print = [](std::string_view text) { return WriteOut(text) ? kExitOk : kExitFailure; };
    if (!args.empty() && args[0] == "--version") return print(std::string("zveklc-cli ") + ZVEKLC_VERSION + "\n");
    for (const auto& arg : args)
        if (arg == "-h" || arg == "--help") return print(kUsage);
    try {
        return Run(ParseArguments(args));
    } catch (const UsageError& e) {
        const std::string text = "zveklc-cli: " + EscapeForTerminal(e.message) + "\nTry 'zveklc-cli --help'.\n";
        std::fwrite(text.data(), 1, text.size(), stderr);
        return kExitUsage;
    }
}

}  // namespace
}  // namespace zvek

int main(int argc, char** argv) {
    using namespace zvek;
    return CloseStdout(Main(std::vector<std::string_view>(argv + 1, argv + argc)));
}
