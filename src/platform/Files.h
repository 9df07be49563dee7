// Files and path names. Paths are UTF-8 strings on every system (the
// Windows layer converts them for the system's UTF-16 calls); on Linux any
// bytes the file system holds pass through unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace zvek {

// A file could not be read or written; the text says which and why.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A new file was to be written under a name that is taken.
class FileExistsError : public FileError {
public:
    using FileError::FileError;
};

bool FileExists(const std::string& path);  // a regular file (or a link to one)
bool NameTaken(const std::string& path);   // anything at all, a dangling link included
// What tells one file from another whatever names lead to it (hard links,
// links, letter case): device and inode, or volume and file index. Nothing
// when the file cannot be reached or the system gives no such number.
std::optional<std::pair<std::uint64_t, std::uint64_t>> FileIdentity(const std::string& path);
// Both names lead to one existing file.
bool SameFile(const std::string& a, const std::string& b);
// Removes a file (a link itself, not what it points to); false when it could not.
bool RemoveFile(const std::string& path);
// Writes all of `bytes` to the descriptor (a C run-time one on Windows),
// across short writes and signals; 0, or the error (an errno value) that
// stopped it.
int WriteAll(int fd, std::string_view bytes);
std::string ReadFileBytes(const std::string& path);  // throws FileError
// The same, but a file longer than `maxBytes` is not read at all: it throws
// FileError (EFBIG), also for files whose size only shows while reading them.
std::string ReadFileBytes(const std::string& path, std::size_t maxBytes);
// Reads a file that comes from outside the user's documents (a registry
// file, a session, a desktop entry, a settings file) without ever waiting on
// it: anything but a regular file (a pipe, a device) is refused before it is
// opened, the open itself never blocks, and a file longer than `maxBytes` is
// not read. Throws FileError.
std::string ReadRegularFile(const std::string& path, std::size_t maxBytes);
// The cap for files of that kind that the program reads: real ones are a few
// megabytes at most.
inline constexpr std::size_t kMaxOutsideFileBytes = 16u * 1024 * 1024;
// Replaces `path` with `bytes` atomically: the bytes go to a temporary file
// in the same folder, which is then renamed over the target, so a failed
// write never leaves a truncated file behind; the folder is synced after the
// rename. A link is written through. A target that exists but is not a
// regular file (a named pipe, a device) is written in place instead, since
// replacing it would destroy it. Throws FileError.
void WriteFileAtomic(const std::string& path, std::string_view bytes);
// Writes `bytes` as a new file at `path` the same atomic way, but never over
// anything already there: the file is published under its name only if the
// name is still free at that moment (a link in the last path part counts as
// taken and is not followed). Throws FileExistsError when the name is taken,
// FileError for any other failure; nothing is left behind either way.
void WriteNewFile(const std::string& path, std::string_view bytes);
// Replaces a file the program keeps for itself (its settings, a desktop
// entry, the player's settings file) the same atomic way, written through a
// link; but where anything other than a regular file stands (a pipe, a
// device, a link to one, a dangling link) nothing is written: that is not a
// file of ours. Throws FileError.
void WriteOwnFile(const std::string& path, std::string_view bytes);

// A file written in pieces with the guarantees of WriteFileAtomic (Replace),
// WriteNewFile (New) or WriteOwnFile (ReplaceFile): the pieces go to a temporary file in the target's
// folder, and only Commit gives it the target's name. A writer destroyed
// before Commit leaves nothing behind. Every failure throws as those do.
class FileWriter {
public:
    enum class Mode { Replace, New, ReplaceFile };
    // New throws FileExistsError at once when the name is taken already;
    // ReplaceFile throws FileError at once where no regular file or nothing is.
    FileWriter(const std::string& path, Mode mode);
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    void Write(std::string_view bytes);
    void Commit();

private:
    std::string path_;  // the target (a link's target for Replace)
    std::string temp_;  // empty when writing in place or once committed
    Mode mode_;
    int fd_ = -1;
};

// The bytes of a file, mapped into memory where the file allows it (read
// otherwise, as from a pipe; always read on Windows, where a mapped file
// cannot be replaced), valid while the object lives. Throws FileError.
class MappedFile {
public:
    explicit MappedFile(const std::string& path);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::string_view Bytes() const { return {data_, size_}; }

private:
    const char* data_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;
    std::string read_;
};

// For tests: called with the target's path after the bytes are safely in the
// temporary file and just before they are published under the target's name,
// so that a test can change what lies there in between. Empty: no call.
void SetBeforePublishHook(std::function<void(const std::string& path)> hook);

// Path names: the folder is everything before the last delimiter ("/"; on
// Windows also the backslash and a drive's colon), the root's delimiter
// kept (as in "/" or "C:\" followed by a name); the extension is the part
// from the last "." of the file-name part.
bool IsPathDelimiter(char c);
// The length of the root at the start of `path`: 1 for "/", on Windows 3
// for a drive's root, 2 for a drive alone, the whole "server and share" of
// a network path; 0 for a relative path.
std::size_t PathRootLength(std::string_view path);
// The delimiter JoinPath puts after `folder`: the one the folder already
// uses where a system has two.
char PathDelimiterFor(std::string_view folder);
std::string ExtractFileName(std::string_view path);
std::string ExtractFileExt(std::string_view path);
std::string ExtractFileDir(std::string_view path);
// `path` with its extension replaced by `ext` (appended when it has none).
std::string ChangeFileExt(std::string_view path, std::string_view ext);
// A name the program opens as a web page: ".htm" or ".html", in any case.
bool IsHtmlFileName(std::string_view path);
// `name` in `folder` ("" is the working folder).
std::string JoinPath(std::string_view folder, std::string_view name);
// `name` in the folder of `path`, written as `path` writes its folder.
std::string ReplaceFileName(std::string_view path, std::string_view name);

// What each system's part of the above shares.
namespace detail {
inline constexpr const char* kCannotRead = "ファイルを読めません";
inline constexpr const char* kCannotWrite = "ファイルに書き込めません";
// "path：what（the C library's text for the errno value）".
std::string DescribeErrno(std::string_view what, const std::string& path, int error);
FileExistsError Taken(const std::string& path);
// Calls the hook of SetBeforePublishHook, if there is one.
void BeforePublish(const std::string& path);
// The whole file, up to `maxBytes`; `regularOnly` reads as ReadRegularFile
// does (each system's).
std::string ReadAll(const std::string& path, std::size_t maxBytes, bool regularOnly);
}  // namespace detail

}  // namespace zvek
