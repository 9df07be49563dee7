// Shared helpers for the tests: real files in a private temporary folder,
// and a recording host whose dialog answers are set in advance.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "window/WindowHost.h"

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

// The words of `line`, apart by blanks: a command line without quoting.
std::vector<std::string> Words(std::string_view line);
// Lines joined, each followed by CR LF: what the program writes for them.
std::string CrLf(const std::vector<std::string>& lines);
// UTF-8 source text to Shift-JIS bytes (for readable expectations).
std::string Sjis(std::string_view utf8);
// Converts with glibc's iconv(3), e.g. Iconv("EUC-JP", "CP932", text)
// (POSIX only: the reference for the code sets where glibc is the system's).
std::string Iconv(const char* to, const char* from, std::string_view text);

// `json` framed as the browser writes its session files: magic, the
// decompressed size (or what `claimed` says it is), one LZ4 block.
std::string MozLz4(const std::string& json, std::optional<std::uint32_t> claimed = {});
// Whether the desktop is Linux's (desktop entries under XDG_DATA_HOME, the
// player in a Wine prefix, any byte but "/" in a file name) rather than
// Windows' (the registry).
extern const bool kLinuxDesktop;

// The user's own folders lie in `home` while the object lives: HOME and the
// settings folder on Linux; on Windows the application data folders, and the
// current user's and the machine's registry keys are keys of the test's own
// (for this process).
class UserHome {
public:
    explicit UserHome(const std::filesystem::path& home);
    ~UserHome();
    UserHome(const UserHome&) = delete;
    UserHome& operator=(const UserHome&) = delete;

private:
    ScopedEnv home_, settings_;
};

// A browser whose selected tab shows `url` (as JSON text: escapes stay
// escapes): a Firefox profile with its session file where the browser of
// the user whose UserHome is `home` keeps it.
void ShowInBrowser(const std::filesystem::path& home, const std::string& url);
// That browser's folder of profiles.
std::filesystem::path FirefoxProfiles(const std::filesystem::path& home);

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
CliResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& cwd, std::string_view input = {},
                 const std::string& stdoutTo = {}, std::uint64_t maxFileBytes = 0);

// Records everything the core asks of the window and answers from the
// script's queues (HostScript: answers, dialogFiles, messages, dialogs,
// browsed).
class FakeHost : public WindowHost, public HostScript {
public:
    FakeHost() { SetScript(this); }
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    std::vector<std::string> status;  // every status-line text, in order
    int processMessagesCalls = 0;
    // Runs each time the core lets the window handle its events.
    std::function<void()> onEvents;

    std::int16_t ScreenCursor() const override { return cursor_; }
    void SetScreenCursor(std::int16_t cursor) override { cursor_ = cursor; }

protected:
    // The script answers everything.
    MsgResult ShowMessageBox(std::string_view, MsgKind, MsgButtons) override { return MsgResult::Cancel; }
    bool ShowFileDialog(FileDialog&) override { return false; }
    void ShowStatusText(std::string_view text) override { status.emplace_back(text); }
    void HandleEvents() override {
        ++processMessagesCalls;
        if (onEvents) onEvents();
    }

private:
    std::int16_t cursor_ = crDefault;
};

}  // namespace zvek::test
