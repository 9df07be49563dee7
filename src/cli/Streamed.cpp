#include "cli/Streamed.h"

#include <exception>
#include <functional>

#include "cli/Commands.h"
#include "cli/Output.h"
#include "lyrics/Conversions.h"
#include "lyrics/LyricsDocument.h"
#include "platform/Files.h"
#include "text/Codec.h"
#include "web/Html.h"

namespace zvek {
namespace {

// Standard output failed (and said so).
struct StdoutFailed {};

// Lines, each followed by CR LF as the document writes them, gathered in one
// buffer and handed on in blocks: few writes, and no memory touched beyond
// the buffer however long the text. Blocks well under a pipe's capacity let
// the reader at its other end work alongside (larger ones were slower).
class LineOutput {
public:
    explicit LineOutput(std::function<void(std::string_view)> write) : write_(std::move(write)) {
        buffer_.reserve(kBlock + 4096);
    }
    void operator()(std::string_view line) {
        buffer_.append(line);
        buffer_.append("\r\n");
        if (buffer_.size() >= kBlock) Flush();
    }
    void Flush() {
        if (!buffer_.empty()) write_(buffer_);
        buffer_.clear();
    }

private:
    static constexpr std::size_t kBlock = 32 * 1024;
    std::function<void(std::string_view)> write_;
    std::string buffer_;
};

// Writes the converted lines of `bytes` to `out`; the status-line note on
// characters that became "?" goes to `host` where the document route puts it.
using Converter = void (*)(std::string_view bytes, LineOutput& out, Host& host);

void HtmlLines(std::string_view page, LineOutput& out, Host& host) {
    std::size_t replaced = 0;
    ForEachPageTextLine(page, std::ref(out), &replaced);
    if (replaced > 0) host.SetStatusText(ReplacedCharsNote(replaced));
}

void TextLines(std::string_view bytes, LineOutput& out, Host& host) {
    std::string converted;
    std::size_t replaced = 0;
    const std::string_view text = TextFromFileBytes(bytes, converted, replaced);
    if (replaced > 0) host.SetStatusText(ReplacedCharsNote(replaced));
    TextToZVEKLines(text, std::ref(out));
}

// The converter for `stream` on `input`, or none where the document route
// reads the input differently: text opens an HTML page as its page text, and
// a file not named as a page goes through the text reader (which converts
// UTF-8 and UTF-16, with a note of its own) before html reads it as a page.
Converter ConverterFor(Stream stream, const std::string& input, std::string_view bytes) {
    if (stream == Stream::PageText) {
        if (!IsHtmlFileName(input) && (LooksLikeUtf8(bytes) || HasUtf16Bom(bytes))) return nullptr;
        return HtmlLines;
    }
    if (stream == Stream::TextToLyrics && !IsHtmlFileName(input)) return TextLines;
    return nullptr;
}

}  // namespace

std::optional<ExitStatus> TryStreamed(const Options& options, const std::string& input, const std::string& output,
                                      ConsoleHost& host) {
    // Whatever needs the document route's checks or messages (a name equal
    // to the input, a folder, UTF-8 output) is left to it.
    const Stream stream = options.command->stream;
    if (stream == Stream::No || input == "-") return std::nullopt;
    if (WantsUtf8(options, output) || IsFolder(output) || (!options.NamedOutput() && SameFile(output, input)))
        return std::nullopt;
    MakeOutputFolder(options);
    if (!FileExists(input)) return std::nullopt;
    const bool force = options.force;
    try {
        const MappedFile file(input);
        const Converter convert = ConverterFor(stream, input, file.Bytes());
        if (!convert) return std::nullopt;
        if (output == "-") {
            LineOutput out([](std::string_view bytes) {
                if (!WriteStdout(bytes)) throw StdoutFailed{};
            });
            try {
                convert(file.Bytes(), out, host);
                out.Flush();
            } catch (const StdoutFailed&) {
                return ExitStatus::Failure;
            }
            return ExitStatus::Ok;
        }
        // A name that is taken gets the document route's refusal.
        if (!force && NameTaken(output)) return std::nullopt;
        FileWriter writer(output, force ? FileWriter::Mode::Replace : FileWriter::Mode::New);
        LineOutput out([&writer](std::string_view bytes) { writer.Write(bytes); });
        convert(file.Bytes(), out, host);
        out.Flush();
        writer.Commit();
        ReportSaved(host, output);
        return ExitStatus::Ok;
    } catch (const FileExistsError&) {
        // Taken between the look and the publish: nothing was left behind,
        // and the document route refuses it as it refuses any taken name.
        return std::nullopt;
    } catch (const std::exception& e) {
        return ReportFailure(host, e);
    }
}

}  // namespace zvek
