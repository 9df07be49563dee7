#include "cli/Output.h"

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>

#include "cli/ConsoleHost.h"
#include "lyrics/LyricsDocument.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/FsPath.h"

namespace zvek {

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(FsPath(path), ec);
}

std::string DefaultName(const Command& command, const std::string& input, const LyricsDocument* converted) {
    if (!command.outputExt.empty()) return input == "-" ? std::string() : ChangeFileExt(input, command.outputExt);
    std::string name = converted->FileName();
    if (!name.empty() && name.find('/') == std::string::npos) name = ReplaceFileName(input, name);
    return name;
}

std::string OutputPath(const Options& options, const std::string& defaultName) {
    if (options.NamedOutput()) return *options.output;
    if (defaultName.empty() || !options.outputFolder) return defaultName;
    return JoinPath(*options.output, ExtractFileName(defaultName));
}

bool WantsUtf8(const Options& options, const std::string& output) {
    return options.utf8 ? *options.utf8 : output == "-" && IsTerminal(STDOUT_FILENO);
}

void MakeOutputFolder(const Options& options) {
    std::error_code ec;
    if (options.outputFolder) std::filesystem::create_directories(FsPath(*options.output), ec);
}

ExitStatus WriteOutput(const std::string& output, std::string_view bytes, const Options& options, ConsoleHost& host) {
    const auto refuse = [&] {
        host.Print(output + "：ファイルが既にあります（上書きするには --force を付けてください）");
        return ExitStatus::Failure;
    };
    if (IsFolder(output)) {
        host.Print(output + "：フォルダです（その中に書き出すには、-o の最後に / を付けてください）");
        return ExitStatus::Failure;
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
    ReportSaved(host, output);
    return ExitStatus::Ok;
}

void ReportSaved(ConsoleHost& host, const std::string& output) { host.SetStatusText("保存しました：" + output); }

ExitStatus ReportFailure(const ConsoleHost& host, const std::exception& e) {
    // The file layer's messages name the file and say what happened.
    if (dynamic_cast<const FileError*>(&e)) host.Print(e.what());
    else host.Print(std::string("エラー：") + e.what());
    return ExitStatus::Failure;
}

namespace {

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
    return {PathText(ec ? absolute.lexically_normal() : resolved), FileIdentity(path)};
}

// The files of a batch, each with the first INPUT that names it.
class FileIndex {
public:
    // Adds the file of INPUT `input`; the INPUT that named it before, if any.
    std::optional<std::size_t> Add(const FileKey& key, std::size_t input) {
        if (const auto before = Find(key)) return before;
        paths_.emplace(key.path, input);
        if (key.id) ids_.emplace(*key.id, input);
        return std::nullopt;
    }
    std::optional<std::size_t> Find(const FileKey& key) const {
        if (const auto at = paths_.find(key.path); at != paths_.end()) return at->second;
        if (const auto at = key.id ? ids_.find(*key.id) : ids_.end(); at != ids_.end()) return at->second;
        return std::nullopt;
    }

private:
    std::unordered_map<std::string, std::size_t> paths_;
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> ids_;
};

}  // namespace

void CheckBatch(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs) {
    if (inputs.size() < 2) return;
    FileIndex read, written;
    for (std::size_t i = 0; i < inputs.size(); ++i) read.Add(KeyOf(inputs[i]), i);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const std::string& output = outputs[i];
        if (output.empty()) continue;
        const FileKey key = KeyOf(output);
        if (const auto other = read.Find(key); other && *other != i)
            throw UsageError{"'" + inputs[i] + "' would be written to '" + output + "', which is the INPUT '" +
                             inputs[*other] + "'"};
        if (const auto other = written.Add(key, i))
            throw UsageError{"'" + inputs[*other] + "' and '" + inputs[i] + "' would both be written to '" + output +
                             "'"};
    }
}

}  // namespace zvek
