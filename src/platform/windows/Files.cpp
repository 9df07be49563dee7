#include "platform/Files.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/windows/Win32.h"
#include "platform/windows/WideText.h"

namespace zvek {

namespace {

using detail::DescribeErrno, detail::kCannotRead, detail::kCannotWrite, detail::Taken;

// A console refuses single writes much above this on older systems.
constexpr DWORD kWriteChunk = 32 * 1024;

std::string Describe(const std::string& what, const std::string& path, DWORD error) {
    return path + "：" + what + "（" + ErrorText(error) + "）";
}

// Closes a handle on every path out.
struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (Valid()) ::CloseHandle(h);
    }
    bool Valid() const { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    HANDLE Release() { return std::exchange(h, INVALID_HANDLE_VALUE); }
};

bool IsSlash(char c) { return c == '/' || c == '\\'; }
bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The names Windows gives to devices in every folder (NUL, CON, COM1, ...),
// with or without an extension: writing to one writes to the device.
bool IsDosDeviceName(std::string_view path) {
    std::size_t start = path.size();
    while (start > 0 && !IsPathDelimiter(path[start - 1])) --start;
    std::string_view name = path.substr(start);
    name = name.substr(0, std::min(name.find('.'), name.find(':')));
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    std::string upper(name);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" || upper == "CONIN$" || upper == "CONOUT$")
        return true;
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '1' &&
           upper[3] <= '9';
}

// "\\.\pipe\name", "\\.\COM1", "NUL": no file system holds these.
bool IsDevicePath(std::string_view path) {
    return (path.size() >= 4 && IsSlash(path[0]) && IsSlash(path[1]) && path[2] == '.' && IsSlash(path[3])) ||
           IsDosDeviceName(path);
}

enum class Kind { None, File, Folder, Device };

// What stands at `path`, through a link when it is one (a dangling link is
// None); devices are named, never opened, since opening one may have
// effects of its own.
Kind KindOf(const std::string& path) {
    if (IsDevicePath(path)) return Kind::Device;
    const std::wstring wide = WidePath(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Kind::None;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Folder : Kind::File;
    }
    Handle target{::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    BY_HANDLE_FILE_INFORMATION info{};
    if (!target.Valid() || !::GetFileInformationByHandle(target.h, &info)) return Kind::None;
    if (::GetFileType(target.h) != FILE_TYPE_DISK) return Kind::Device;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Folder : Kind::File;
}

// The path a link leads to, from an open handle on its target.
std::string FinalPath(HANDLE file) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.resize(length + 1);
    }
    std::wstring_view path = buffer;
    // The system hands it over in its long form; the short one reads better
    // in messages and is what WidePath makes long again where needed.
    if (path.starts_with(L"\\\\?\\UNC\\")) return "\\\\" + Narrow(path.substr(8));
    if (path.starts_with(L"\\\\?\\")) path.remove_prefix(4);
    return Narrow(path);
}

// A C run-time descriptor owning `handle`, which FileWriter keeps.
int DescriptorOf(HANDLE handle) {
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (fd < 0) ::CloseHandle(handle);
    return fd;
}

// Names for temporary files: distinct within the process by the counter,
// across processes most likely by the clock and the process id, and made
// with CREATE_NEW in any case, so a clash only costs another try.
std::string TempName() {
    static std::atomic<std::uint64_t> counter{0};
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    std::uint64_t x = static_cast<std::uint64_t>(now.QuadPart) ^ (std::uint64_t{::GetCurrentProcessId()} << 32) ^
                      (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    // splitmix64's finaliser spreads every input bit over the name.
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    static constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name(6, 'a');
    for (char& c : name) {
        c = kDigits[x % 36];
        x /= 36;
    }
    return name;
}

// A fresh temporary file in the folder of `path`, open for writing; its
// name goes to `temp`. It inherits the folder's permissions, as a file
// made there by the user would.
int MakeTemp(const std::string& path, std::string& temp) {
    const std::string dir = ExtractFileDir(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = JoinPath(dir, ".zveklc-" + TempName());
        Handle out{::CreateFileW(WidePath(temp).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (out.Valid()) {
            const int fd = DescriptorOf(out.Release());
            if (fd < 0) {
                ::DeleteFileW(WidePath(temp).c_str());
                throw FileError(DescribeErrno(kCannotWrite, path, EMFILE));
            }
            return fd;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            throw FileError(Describe(kCannotWrite, path, error));
    }
    throw FileError(Describe(kCannotWrite, path, ERROR_FILE_EXISTS));
}

}  // namespace

// `regularOnly`: anything but a file on a disk is refused before it is
// opened, and in case one took the file's place meanwhile, after.
std::string detail::ReadAll(const std::string& path, std::size_t maxBytes, bool regularOnly) {
    const Kind kind = regularOnly || !IsDevicePath(path) ? KindOf(path) : Kind::Device;
    if (regularOnly && kind != Kind::File && kind != Kind::None)
        throw FileError(DescribeErrno(kCannotRead, path, EINVAL));
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    Handle in{::CreateFileW(WidePath(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!in.Valid()) {
        const DWORD error = ::GetLastError();
        // Windows refuses to open a folder as a file; say what POSIX says.
        if (kind == Kind::Folder) throw FileError(DescribeErrno(kCannotRead, path, EISDIR));
        throw FileError(Describe(kCannotRead, path, error));
    }
    const bool disk = ::GetFileType(in.h) == FILE_TYPE_DISK;
    if (regularOnly && !disk) throw FileError(DescribeErrno(kCannotRead, path, EINVAL));
    std::string bytes;
    if (LARGE_INTEGER size{}; disk && ::GetFileSizeEx(in.h, &size) && size.QuadPart > 0) {
        if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes)
            throw FileError(DescribeErrno(kCannotRead, path, EFBIG));
        bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    }
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(in.h, buffer, sizeof buffer, &n, nullptr)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) break;  // the writer is done
            throw FileError(Describe(kCannotRead, path, error));
        }
        if (n == 0) break;
        // Pipes and devices show no size beforehand.
        if (n > maxBytes - bytes.size()) throw FileError(DescribeErrno(kCannotRead, path, EFBIG));
        bytes.append(buffer, n);
    }
    return bytes;
}

bool FileExists(const std::string& path) { return KindOf(path) == Kind::File; }

int WriteAll(int fd, std::string_view bytes) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) return EBADF;
    for (std::size_t done = 0; done < bytes.size();) {
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, kWriteChunk));
        DWORD n = 0;
        if (!::WriteFile(handle, bytes.data() + done, size, &n, nullptr)) return ErrnoOf(::GetLastError());
        done += n;
    }
    return 0;
}

bool NameTaken(const std::string& path) {
    return IsDosDeviceName(path) || ::GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveFile(const std::string& path) { return ::DeleteFileW(WidePath(path).c_str()) != 0; }

std::optional<std::pair<std::uint64_t, std::uint64_t>> FileIdentity(const std::string& path) {
    if (IsDevicePath(path)) return std::nullopt;
    Handle file{::CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.Valid() || !::GetFileInformationByHandle(file.h, &info)) return std::nullopt;
    const std::uint64_t index = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    if (index == 0) return std::nullopt;
    return std::pair<std::uint64_t, std::uint64_t>(info.dwVolumeSerialNumber, index);
}

FileWriter::FileWriter(const std::string& target, Mode mode) : path_(target), mode_(mode) {
    if (mode == Mode::New) {
        if (NameTaken(path_)) throw Taken(path_);
        fd_ = MakeTemp(path_, temp_);
        return;
    }
    // Replacing a link would turn it into a file of its own: write through it.
    if (!IsDevicePath(target)) {
        const std::wstring wide = WidePath(target);
        const DWORD attributes = ::GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            Handle link{::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
            if (std::string resolved = link.Valid() ? FinalPath(link.h) : std::string(); !resolved.empty())
                path_ = std::move(resolved);
            else if (mode == Mode::ReplaceFile)  // a dangling link is no file of ours
                throw FileError(Describe(kCannotWrite, target, link.Valid() ? ::GetLastError() : ERROR_FILE_NOT_FOUND));
        }
    }
    const Kind kind = KindOf(path_);
    if (kind != Kind::None && kind != Kind::File && mode == Mode::ReplaceFile)
        throw FileError(DescribeErrno(kCannotWrite, path_, EINVAL));
    if (kind == Kind::Folder) throw FileError(DescribeErrno(kCannotWrite, path_, EISDIR));
    if (kind == Kind::Device) {
        // A pipe or a device is written through in place: there is no file
        // to replace, and replacing it would destroy it.
        Handle out{::CreateFileW(WidePath(path_).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (!out.Valid()) throw FileError(Describe(kCannotWrite, path_, ::GetLastError()));
        fd_ = DescriptorOf(out.Release());
        if (fd_ < 0) throw FileError(DescribeErrno(kCannotWrite, path_, EMFILE));
        return;
    }
    fd_ = MakeTemp(path_, temp_);
}

FileWriter::~FileWriter() {
    if (fd_ >= 0) ::_close(fd_);
    if (!temp_.empty()) ::DeleteFileW(WidePath(temp_).c_str());
}

void FileWriter::Commit() {
    DWORD error = 0;
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_));
    if (!temp_.empty() && !::FlushFileBuffers(handle)) error = ::GetLastError();
    ::_close(std::exchange(fd_, -1));
    if (error != 0) throw FileError(Describe(kCannotWrite, path_, error));
    if (temp_.empty()) return;  // written in place
    detail::BeforePublish(path_);
    const std::wstring target = WidePath(path_), temp = WidePath(temp_);
    if (mode_ != Mode::New) {
        // ReplaceFileW keeps what the old file had besides its bytes (its
        // permissions, attributes, creation time); where it cannot work
        // (no file there any more, a file system without it), a rename
        // that replaces does, after the flush above.
        if (!::ReplaceFileW(target.c_str(), temp.c_str(), nullptr,
                            REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr) &&
            !::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            throw FileError(Describe(kCannotWrite, path_, ::GetLastError()));
    } else if (!::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        // Without MOVEFILE_REPLACE_EXISTING the rename itself refuses a
        // taken name, in one step.
        const DWORD failed = ::GetLastError();
        if (failed == ERROR_ALREADY_EXISTS || failed == ERROR_FILE_EXISTS) throw Taken(path_);
        throw FileError(Describe(kCannotWrite, path_, failed));
    }
    temp_.clear();
}

// Read, not mapped: a file with a view mapped cannot be replaced, and a
// conversion may be asked to write over its own input.
MappedFile::MappedFile(const std::string& path) {
    read_ = detail::ReadAll(path, SIZE_MAX, false);
    data_ = read_.data();
    size_ = read_.size();
}

MappedFile::~MappedFile() = default;

bool IsPathDelimiter(char c) { return c == '/' || c == '\\' || c == ':'; }

std::size_t PathRootLength(std::string_view path) {
    const std::size_t size = path.size();
    if (size >= 2 && IsDriveLetter(path[0]) && path[1] == ':') return size >= 3 && IsSlash(path[2]) ? 3 : 2;
    if (size < 2 || !IsSlash(path[0]) || !IsSlash(path[1])) return !path.empty() && IsSlash(path[0]) ? 1 : 0;
    // "\\server\share\", "\\?\C:\", "\\?\UNC\server\share\", "\\.\pipe\"
    std::size_t i = 2;
    int parts = 2;
    if (size >= 4 && (path[2] == '?' || path[2] == '.') && IsSlash(path[3])) {
        i = 4;
        if (size >= 6 && IsDriveLetter(path[4]) && path[5] == ':') return size >= 7 && IsSlash(path[6]) ? 7 : 6;
        if (size >= 8 && (path.substr(4, 3) == "UNC" || path.substr(4, 3) == "unc") && IsSlash(path[7])) i = 8;
        else parts = 1;
    }
    for (; parts > 0; --parts) {
        while (i < size && !IsSlash(path[i])) ++i;
        if (i < size) ++i;
    }
    return i;
}

char PathDelimiterFor(std::string_view folder) {
    const std::size_t last = folder.find_last_of("/\\");
    return last != std::string_view::npos && folder[last] == '/' ? '/' : '\\';
}

}  // namespace zvek
