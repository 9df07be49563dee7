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

#include <string>
#include <string_view>

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

}  // namespace zvek
