#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace zvek {

namespace {

constexpr const char* kCannotRead = "ファイルを読めません";
constexpr const char* kCannotWrite = "ファイルに書き込めません";

std::string Describe(const std::string& what, const std::string& path, int error) {
    return path + "：" + what + "（" + std::strerror(error) + "）";
}

// Closes a descriptor on every path out.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    // Closes now; the error close reports, or 0.
    int Close() {
        const int closing = std::exchange(fd, -1);
        return ::close(closing) == 0 ? 0 : errno;
    }
};

std::function<void(const std::string&)>& BeforePublish() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

// 0, or the error that stopped the writing.
int WriteAll(int fd, std::string_view bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// The permissions a new file gets: the usual ones, less the umask.
mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Puts the bytes, synced to disk, into a fresh temporary file in the folder
// of `path` and returns its name; nothing is left behind when that fails.
std::string Stage(const std::string& path, std::string_view bytes, mode_t mode) {
    const std::string dir = ExtractFileDir(path);
    std::string temp = (dir.empty() ? std::string() : dir + "/") + "." + ExtractFileName(path) + ".XXXXXX";
    Fd out{::mkostemp(temp.data(), O_CLOEXEC)};
    if (out.fd < 0) throw FileError(Describe(kCannotWrite, path, errno));
    // mkostemp makes the file private; it is to look like the file it becomes.
    int error = ::fchmod(out.fd, mode) == 0 ? WriteAll(out.fd, bytes) : errno;
    if (error == 0 && ::fsync(out.fd) != 0) error = errno;
    if (const int closed = out.Close(); error == 0) error = closed;
    if (error != 0) {
        ::unlink(temp.c_str());
        throw FileError(Describe(kCannotWrite, path, error));
    }
    return temp;
}

// A rename is only durable once the folder holding the name is on disk too.
void SyncFolderOf(const std::string& path) {
    const std::string dir = ExtractFileDir(path);
    Fd folder{::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    // A folder one may write but not read cannot be opened to be synced.
    if (folder.fd < 0) return;
    // Some file systems cannot sync a folder at all (EINVAL).
    if (::fsync(folder.fd) != 0 && errno != EINVAL) throw FileError(Describe(kCannotWrite, path, errno));
}

// Writes through a pipe or device in place: there is no file to replace.
// False, with nothing written, when the target has become a regular file
// meanwhile, which is then to be replaced as usual.
bool WriteInPlace(const std::string& path, std::string_view bytes) {
    Fd out{::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC)};
    if (out.fd < 0) throw FileError(Describe(kCannotWrite, path, errno));
    struct stat st {};
    if (::fstat(out.fd, &st) == 0 && S_ISREG(st.st_mode)) return false;
    int error = WriteAll(out.fd, bytes);
    if (const int closed = out.Close(); error == 0) error = closed;
    if (error != 0) throw FileError(Describe(kCannotWrite, path, error));
    return true;
}

// Gives the staged file the name `path` only where that name is free, in one
// step, so that nothing appearing there after a check is ever replaced; the
// name itself is never followed. 0, or the error (EEXIST: taken).
int PublishAsNew(const std::string& temp, const std::string& path) {
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
    // A file system without that kind of rename: a hard link, too, is made
    // only where no name is.
    if (::link(temp.c_str(), path.c_str()) != 0) return errno;
    ::unlink(temp.c_str());
    return 0;
}

std::string ReadAll(const std::string& path, std::size_t maxBytes) {
    Fd in{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) throw FileError(Describe(kCannotRead, path, errno));
    std::string bytes;
    struct stat st {};
    if (::fstat(in.fd, &st) == 0 && st.st_size > 0) {
        if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) throw FileError(Describe(kCannotRead, path, EFBIG));
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in.fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileError(Describe(kCannotRead, path, errno));
        }
        // Files in /proc and pipes show no size beforehand.
        if (static_cast<std::size_t>(n) > maxBytes - bytes.size()) throw FileError(Describe(kCannotRead, path, EFBIG));
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

}  // namespace

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ReadFileBytes(const std::string& path) { return ReadAll(path, SIZE_MAX); }

std::string ReadFileBytes(const std::string& path, std::size_t maxBytes) { return ReadAll(path, maxBytes); }

void WriteFileAtomic(const std::string& target, std::string_view bytes) {
    // Replacing a link would turn it into a file of its own: write through it.
    std::string path = target;
    struct stat link {};
    if (::lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* resolved = ::realpath(target.c_str(), nullptr)) {
            path = resolved;
            std::free(resolved);
        }
    }
    struct stat st {};
    bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        if (WriteInPlace(path, bytes)) return;
        exists = ::stat(path.c_str(), &st) == 0;
    }
    // Keep the permissions of the file being replaced.
    const std::string temp = Stage(path, bytes, exists ? st.st_mode & 07777 : NewFileMode());
    if (const auto& hook = BeforePublish()) hook(path);
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw FileError(Describe(kCannotWrite, path, error));
    }
    SyncFolderOf(path);
}

void WriteNewFile(const std::string& path, std::string_view bytes) {
    const auto taken = [&] { return FileExistsError(path + "：ファイルが既にあります"); };
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) throw taken();
    const std::string temp = Stage(path, bytes, NewFileMode());
    if (const auto& hook = BeforePublish()) hook(path);
    if (const int error = PublishAsNew(temp, path); error != 0) {
        ::unlink(temp.c_str());
        if (error == EEXIST) throw taken();
        throw FileError(Describe(kCannotWrite, path, error));
    }
    SyncFolderOf(path);
}

void SetBeforePublishHook(std::function<void(const std::string& path)> hook) { BeforePublish() = std::move(hook); }

std::string ExtractFileName(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ExtractFileExt(std::string_view path) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    return std::string(path.substr(dot));
}

std::string ExtractFileDir(std::string_view path) {
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    return std::string(path.substr(0, slash == 0 ? 1 : slash));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
    const std::size_t keep = path.size() - ExtractFileExt(path).size();
    return std::string(path.substr(0, keep)).append(ext);
}

}  // namespace zvek
