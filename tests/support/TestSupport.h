// Shared helpers for the tests: real files in a private temporary folder,
// and a recording host whose dialog answers are set in advance.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Host.h"

namespace zvek::test {

// A fresh folder under the system's temporary directory, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // The path of `name` in the folder, UTF-8 as the core takes it.
    std::string operator/(std::string_view name) const;
    // Writes the file `name` (its folders made as needed) and gives its path.
    std::string Write(std::string_view name, std::string_view bytes) const;

private:
    std::filesystem::path path_;
};

std::string ReadBytes(const std::filesystem::path& path);
// Writes the file, its folders made as needed.
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);

// Makes a named pipe at `path` and gives the path.
std::string MakeFifo(const std::filesystem::path& path);
// Runs `call` and tells whether it came back within a few seconds. A call
// stuck opening one of `fifos` (to read or to write) is then let go by
// opening and closing the other end, so that a regression fails the test
// instead of hanging it.
bool ReturnsWithoutWaitingOn(const std::vector<std::string>& fifos, const std::function<void()>& call);

// Sets (or, with nullopt, removes) an environment variable for the object's
// lifetime and then puts the old state back. Only while no other thread of
// the test reads the environment.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Lines joined, each followed by CR LF: what the program writes for them.
std::string CrLf(const std::vector<std::string>& lines);
// UTF-8 source text to Shift-JIS bytes (for readable expectations).
std::string Sjis(std::string_view utf8);
// Converts with glibc's iconv(3), e.g. Iconv("EUC-JP", "CP932", text).
std::string Iconv(const char* to, const char* from, std::string_view text);

// `json` framed as the browser writes its session files: magic, the
// decompressed size (or what `claimed` says it is), one LZ4 block.
std::string MozLz4(const std::string& json, std::optional<std::uint32_t> claimed = {});
// A browser whose selected tab shows `url` (as JSON text: escapes stay
// escapes): a Firefox profile under `home` with its session file.
void ShowInBrowser(const std::filesystem::path& home, const std::string& url);

// The code sets a lyrics page may come in: the name its meta tag gives and
// the name iconv knows it by.
struct PageCodeSet {
    const char* charset;
    const char* iconvName;
};
inline constexpr PageCodeSet kPageCodeSets[] = {
    {"Shift_JIS", "CP932"}, {"EUC-JP", "EUC-JP"}, {"ISO-2022-JP", "ISO-2022-JP"}, {"utf-8", "UTF-8"}};

// The command that runs the command-line program under test: this build's
// zveklc-cli, or the program in $ZVEKLC_CLI_PROGRAM started through the
// words of $ZVEKLC_CLI_RUNNER ("wine" for the Windows program).
std::vector<std::string> CliCommand();
// Whether that program is the Windows one: its file names are UTF-16 and
// blind to letter case, its browser profiles lie elsewhere.
bool CliIsWindowsProgram();

// Runs zveklc-cli with `args` in the folder `cwd`, feeding `input` on its
// standard input, and collects its exit status and what it wrote: standard
// output through a pipe, or into the file or device `stdoutTo`. With
// `maxFileBytes`, writing past that size fails as on a full disk.
struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};
CliResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                 std::string_view input = {}, const std::string& stdoutTo = {}, std::uint64_t maxFileBytes = 0);

// Records everything the core asks of the window and answers from queues.
class FakeHost : public Host {
public:
    struct Message {
        std::string text;
        MsgKind kind;
        MsgButtons buttons;
    };

    // Answers for the next questions and dialogs, in order. A question with
    // no queued answer is answered Cancel (Ok for an OK-only box); a dialog
    // with no queued file name is cancelled.
    std::deque<MsgResult> answers;
    std::deque<std::string> dialogFiles;

    std::vector<Message> messages;
    std::vector<FileDialog> dialogs;   // the dialogs as they were shown
    std::vector<std::string> status;   // every status-line text, in order
    std::vector<std::string> browsed;  // addresses opened in the browser
    int processMessagesCalls = 0;

    MsgResult MessageBox(std::string_view text, MsgKind kind, MsgButtons buttons) override;
    bool ExecuteDialog(FileDialog& dialog) override;
    void SetStatusText(std::string_view text) override { status.emplace_back(text); }
    void ProcessMessages() override { ++processMessagesCalls; }
    std::int16_t ScreenCursor() const override { return cursor_; }
    void SetScreenCursor(std::int16_t cursor) override { cursor_ = cursor; }
    bool OpenInBrowser(const std::string& address) override { return browsed.push_back(address), true; }

private:
    std::int16_t cursor_ = crDefault;
};

}  // namespace zvek::test
