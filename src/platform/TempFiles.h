// The process's private temporary folder.
//
// Downloaded pages and other scratch files never go beside the user's files
// or under fixed names: they go to one folder per process, readable by the
// user alone: made with mkdtemp under $TMPDIR (or /tmp) on POSIX, in the
// user's own temporary folder (GetTempPathW) on Windows. The folder is made
// on first use and removed, with everything in it, when the process ends,
// normally or by SIGTERM or SIGINT (where those still have their default
// action), on Windows by Ctrl+C, Ctrl+Break or the console's closing. Its
// name, zveklc-PID-XXXXXX, and a lock held on it (a handle that does not
// share deletion, on Windows) tell a later process that the owner is gone:
// whenever a process makes its folder, it first removes the folders of
// ours whose process has ended (a kill -9 or a crash leaves them behind).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zvek {

// The folder's path, making the folder if there is none yet. Throws
// FileError when it cannot be made. Safe to call from any thread.
std::string PrivateTempDir();

// A new, empty file in the private folder whose name no other call gives;
// `suffix` (for example ".htm") ends the name. The file is created, so the
// name stays taken until the folder goes. Throws FileError.
std::string UniqueTempFile(std::string_view suffix = {});

// Removes the folder and its contents now; a later call makes a fresh one.
void RemovePrivateTempDir();

// Each system's part of the above, and the sweep of folders left behind
// that it runs before it makes its folder.
namespace detail {
inline constexpr std::string_view kTempFolderPrefix = "zveklc-";
inline constexpr std::size_t kTempRandomPart = 6;  // as mkdtemp's XXXXXX
// The folder, behind the one lock every call above takes.
struct PrivateDir {
    std::mutex mutex;
    std::string path;  // empty while there is none
    ~PrivateDir() { Remove(); }
    // Each system's: the folder's path, the folder made when there is none
    // (throws FileError), and its removal.
    const std::string& Get();
    void Remove();
};
PrivateDir& Dir();  // destroyed, and so removed, at normal exit
// A new file in `folder` (each system's; throws FileError).
std::string NewFileIn(const std::string& folder, std::string_view suffix);

// Removes the folders of ours in `base` whose process (of at most
// `pidDigits` digits) has ended and that nobody holds.
void RemoveFoldersOfEndedProcesses(const std::string& base, std::size_t pidDigits);
// What the sweep asks the system: the names in `base` that start with
// `prefix`, whether a process runs, and the removal of a real folder of the
// user's (never what a link points to) that no process holds.
std::vector<std::string> NamesIn(const std::string& base, std::string_view prefix);
bool ProcessRuns(std::uint32_t pid);
void RemoveIfUnheld(const std::string& folder);
}  // namespace detail

}  // namespace zvek
