// zveklc-cli: every conversion from a shell or a script, without a window
// and without questions. Its options, output names and exit statuses are a
// contract that outside scripts rely on.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/Arguments.h"
#include "cli/CliMain.h"
#include "cli/Commands.h"
#include "cli/ConsoleHost.h"
#include "cli/ExitStatus.h"
#include "cli/Options.h"
#include "cli/Output.h"
#include "cli/Streamed.h"
#include "lyrics/Lrc.h"
#include "lyrics/LyricsDocument.h"
#include "platform/Files.h"
#include "platform/Version.h"
#include "text/Codec.h"

namespace zvek {
namespace {

constexpr std::string_view kStandardInput = "標準入力";

std::string LrcText(std::string bytes, ConsoleHost& host) {
    std::size_t replaced = 0;
    std::string codeSetNote;
    std::string text = LrcTextFromBytes(std::move(bytes), replaced, &codeSetNote);
    if (!codeSetNote.empty()) host.SetStatusText(codeSetNote);
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

// Reads INPUT into the document; its status when there is nothing to convert.
std::optional<ExitStatus> Load(LyricsDocument& doc, const Options& options, const std::string& input,
                               ConsoleHost& host) {
    const Kind kind = options.command->kind;
    if (input == "-") {
        std::string bytes(std::istreambuf_iterator<char>(std::cin), {});
        if (kind == Kind::Html) doc.LoadHtmlBytes(bytes);
        else if (kind == Kind::Lrc) doc.SetText(LrcText(std::move(bytes), host));
        else doc.LoadTextBytes(bytes);
        return std::nullopt;
    }
    if (IsFolder(input)) {
        host.Print(input + "：フォルダです（ファイルを指定してください）");
        return ExitStatus::NotFound;
    }
    if (kind == Kind::Lrc && FileExists(input)) {
        // Opening takes only UTF-8 and UTF-16 apart from Shift-JIS; LRC
        // files come in more code sets, so the reader looks at the bytes
        // itself (a missing file is left to OpenFile, which reports it).
        doc.SetText(LrcText(ReadFileBytes(input), host));
        doc.SetFileName(input);
        return std::nullopt;
    }
    if (!doc.OpenFile(input)) return ExitStatusOf(doc.ResultCode);
    // Opening reads a file named as a page as one already.
    if (kind == Kind::Html && !IsHtmlFileName(input)) doc.LoadHtmlFile(input);
    return std::nullopt;
}

// One INPUT on its way through a batch.
struct Job {
    std::string output;  // where its result goes, once known
    std::string bytes;   // its result, once converted
    bool converted = false;
    std::optional<ExitStatus> ended;      // the status of an INPUT that ends without writing
    ExitStatus written = ExitStatus::Ok;  // its status once the result is written
};

// Runs `step`, reporting what it throws as the failure of its INPUT alone;
// the status then.
template <typename Step>
std::optional<ExitStatus> Reported(ConsoleHost& host, Step&& step) {
    try {
        step();
        return std::nullopt;
    } catch (const UsageError& e) {
        host.Print("zveklc-cli: " + e.message);
        return ExitStatus::Usage;
    } catch (const std::exception& e) {
        return ReportFailure(host, e);
    }
}

// Reads and converts INPUT into `job`: its result and, where the converted
// document names it, its output.
void Convert(const Options& options, const std::string& input, ConsoleHost& host, Job& job) {
    const Command& command = *options.command;
    LyricsDocument doc(host);
    doc.UntitledName = kStandardInput;
    job.converted = true;
    if ((job.ended = Load(doc, options, input, host))) return;
    if (command.kind == Kind::Search) {
        job.ended = RunSearch(doc, options);
        return;
    }
    // Export writes other bytes than the document's.
    if (command.kind == Kind::Export) {
        int skipped = 0;
        job.bytes = ZVEKToLrc(doc.Lines(), options.lrc, skipped);
        if (skipped > 0) host.SetStatusText("時刻のない行など" + std::to_string(skipped) + "行は書き出していません");
    } else {
        const bool converted = command.run(doc, options, input);
        if (!doc.UnresolvedLines.empty()) ReportUnresolved(doc, options, host);
        const bool keepPartial = options.partial && doc.ResultCode == kResultPartial;
        if (!converted && !keepPartial) {
            job.ended = doc.ResultCode != kResultOk ? ExitStatusOf(doc.ResultCode) : ExitStatus::Failure;
            return;
        }
        job.bytes = doc.Text();
    }
    if (job.output.empty()) job.output = OutputPath(options, DefaultName(command, input, &doc));
    job.written = ExitStatusOf(doc.ResultCode);
}

// Writes a converted INPUT's result, which it takes over: a batch holds
// no result longer than it must. Its status.
ExitStatus Deliver(const Options& options, const std::string& input, Job& job, ConsoleHost& host) {
    std::string bytes = std::move(job.bytes);
    const std::string& output = job.output;
    if (!options.NamedOutput() && SameFile(output, input)) {
        host.Print(output + "：出力先が入力と同じファイルになります（-o で別の出力先を指定してください）");
        return ExitStatus::Usage;
    }
    // LRC is written in its own code set.
    if (options.command->kind != Kind::Export && WantsUtf8(options, output)) bytes = SjisToUtf8(bytes);
    // Only the user says "-": a name taken from a file is a file name.
    if (options.NamedOutput() && output == "-") return WriteStdout(bytes) ? job.written : ExitStatus::Failure;
    const ExitStatus written = WriteOutput(output, bytes, options, host);
    return written != ExitStatus::Ok ? written : job.written;
}

// One INPUT to its end; its status.
ExitStatus Finish(const Options& options, const std::string& input, Job& job, ConsoleHost& host) {
    if (!job.converted) {
        if (const auto streamed = TryStreamed(options, input, job.output, host)) return *streamed;
        Convert(options, input, host, job);
    }
    if (job.ended) return *job.ended;
    return Deliver(options, input, job, host);
}

// Every INPUT in order; the status of the first that failed. Every output
// is known before anything is written: from the INPUT's name, or for the
// commands whose results are named by what the files hold, once all of them
// are converted.
ExitStatus Run(const Options& options) {
    ConsoleHost host(options.quiet);
    const Command& command = *options.command;
    if (command.kind == Kind::Browser) return RunBrowser(host);
    const auto& inputs = options.inputs;
    std::vector<Job> jobs(inputs.size());
    if (Writes(command.kind)) {
        std::vector<std::string> outputs;
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            Job& job = jobs[i];
            if (!command.outputExt.empty()) job.output = OutputPath(options, DefaultName(command, inputs[i], nullptr));
            else if (const auto failed = Reported(host, [&] { Convert(options, inputs[i], host, job); }))
                job.ended = failed;
            outputs.push_back(job.ended ? std::string() : job.output);
        }
        CheckBatch(inputs, outputs);
    }
    ExitStatus first = ExitStatus::Ok;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        ExitStatus status = ExitStatus::Ok;
        if (const auto failed = Reported(host, [&] { status = Finish(options, inputs[i], jobs[i], host); }))
            status = *failed;
        if (first == ExitStatus::Ok) first = status;
    }
    return first;
}

ExitStatus Print(std::string_view text) { return WriteStdout(text) ? ExitStatus::Ok : ExitStatus::Failure; }

}  // namespace

int CliMain(const std::vector<std::string_view>& args) {
    ExitStatus status = ExitStatus::Ok;
    if (AsksForVersion(args)) {
        status = Print(std::string("zveklc-cli ") + kVersionText + "\n");
    } else if (AsksForHelp(args)) {
        status = Print(UsageText());
    } else {
        try {
            status = Run(ParseArguments(args));
        } catch (const UsageError& e) {
            ConsoleHost(false).Print("zveklc-cli: " + e.message + "\n使い方は zveklc-cli --help で表示されます");
            status = ExitStatus::Usage;
        }
    }
    return static_cast<int>(CloseStdout() ? status : ExitStatus::Failure);
}

}  // namespace zvek
