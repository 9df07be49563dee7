// What is the same on every system: the readers and writes built on each
// system's ReadAll and FileWriter, their messages, and the path names,
// which differ only in their delimiters.
#include "platform/Files.h"

#include <cstdint>
#include <cstring>

#include "text/Sjis.h"

namespace zvek {

namespace {

// Where the file-name part of `path` starts.
std::size_t FileNameStart(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (IsPathDelimiter(path[i - 1])) return i;
    return 0;
}

std::function<void(const std::string&)>& BeforePublishHook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

}  // namespace

std::string detail::DescribeErrno(std::string_view what, const std::string& path, int error) {
    return path + "：" + std::string(what) + "（" + std::strerror(error) + "）";
}

FileExistsError detail::Taken(const std::string& path) { return FileExistsError(path + "：ファイルが既にあります"); }

void detail::BeforePublish(const std::string& path) {
    if (const auto& hook = BeforePublishHook()) hook(path);
}

void SetBeforePublishHook(std::function<void(const std::string& path)> hook) { BeforePublishHook() = std::move(hook); }

std::string ReadFileBytes(const std::string& path) { return detail::ReadAll(path, SIZE_MAX, false); }

bool SameFile(const std::string& a, const std::string& b) {
    const auto identity = FileIdentity(a);
    return identity && identity == FileIdentity(b);
}

std::string ReadFileBytes(const std::string& path, std::size_t maxBytes) {
    return detail::ReadAll(path, maxBytes, false);
}

std::string ReadRegularFile(const std::string& path, std::size_t maxBytes) {
    return detail::ReadAll(path, maxBytes, true);
}

void FileWriter::Write(std::string_view bytes) {
    if (const int error = WriteAll(fd_, bytes); error != 0)
        throw FileError(detail::DescribeErrno(detail::kCannotWrite, path_, error));
}

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
