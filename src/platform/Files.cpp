// What is the same on every system: the writes built on FileWriter and
// the path names, which differ only in their delimiters.
#include "platform/Files.h"

#include "text/Sjis.h"

namespace zvek {

namespace {

// Where the file-name part of `path` starts.
std::size_t FileNameStart(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (IsPathDelimiter(path[i - 1])) return i;
    return 0;
}

}  // namespace

void WriteFileAtomic(const std::string& path, std::string_view bytes) {
    FileWriter file(path, FileWriter::Mode::Replace);
    file.Write(bytes);
    file.Commit();
}

void WriteNewFile(const std::string& path, std::string_view bytes) {
    FileWriter file(path, FileWriter::Mode::New);
    file.Write(bytes);
    file.Commit();
}

void WriteOwnFile(const std::string& path, std::string_view bytes) {
    FileWriter file(path, FileWriter::Mode::ReplaceFile);
    file.Write(bytes);
    file.Commit();
}

std::string ExtractFileName(std::string_view path) { return std::string(path.substr(FileNameStart(path))); }

std::string ExtractFileExt(std::string_view path) {
    const std::string_view name = path.substr(FileNameStart(path));
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string ExtractFileDir(std::string_view path) {
    const std::size_t start = FileNameStart(path);
    if (start == 0) return {};
    // The root keeps its delimiter ("/", "C:\"): without it, it names another folder.
    const std::size_t root = PathRootLength(path);
    return std::string(path.substr(0, start <= root ? root : start - 1));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && !IsPathDelimiter(path.back())) path += PathDelimiterFor(folder);
    return path += name;
}

std::string ReplaceFileName(std::string_view path, std::string_view name) {
    return std::string(path.substr(0, FileNameStart(path))).append(name);
}

bool IsHtmlFileName(std::string_view path) {
    const std::string ext = LowerAscii(ExtractFileExt(path));
    return ext == ".htm" || ext == ".html";
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
    const std::size_t keep = path.size() - ExtractFileExt(path).size();
    return std::string(path.substr(0, keep)).append(ext);
}

}  // namespace zvek
