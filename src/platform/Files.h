// Files and path names (native paths, UTF-8 on this platform).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace zvek {

// A file could not be read or written; the text says which and why.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

bool FileExists(const std::string& path);  // a regular file (or a link to one)
std::string ReadFileBytes(const std::string& path);  // throws FileError
// Replaces `path` with `bytes` atomically: the bytes go to a temporary file
// in the same folder, which is then renamed over the target, so a failed
// write never leaves a truncated file behind. Throws FileError.
void WriteFileAtomic(const std::string& path, std::string_view bytes);

// Path names: the extension is the part from the last "." of the file-name
// part; the folder is everything before the last "/".
std::string ExtractFileName(std::string_view path);
std::string ExtractFileExt(std::string_view path);
std::string ExtractFileDir(std::string_view path);
// `path` with its extension replaced by `ext` (appended when it has none).
std::string ChangeFileExt(std::string_view path, std::string_view ext);

}  // namespace zvek
