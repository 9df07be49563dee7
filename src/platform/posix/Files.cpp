#include "platform/Files.h"

#include <fcntl.h>
#include <sys/mman.h>
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

using detail::DescribeErrno, detail::kCannotRead, detail::kCannotWrite, detail::Taken;

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

// The permissions a new file gets: the usual ones, less the umask.
mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A fresh temporary file in the folder of `path`, with the permissions
// `mode`; its name goes to `temp`. Nothing is left behind when that fails.
int MakeTemp(const std::string& path, mode_t mode, std::string& temp) {
    // A name of its own, not one made from the target's: any name the file
    // system allows for the target must leave room for the temporary one.
    const std::string dir = ExtractFileDir(path);
    temp = (dir.empty() ? std::string() : dir + "/") + ".zveklc-XXXXXX";
    Fd out{::mkostemp(temp.data(), O_CLOEXEC)};
    if (out.fd < 0) throw FileError(DescribeErrno(kCannotWrite, path, errno));
    // mkostemp makes the file private; it is to look like the file it becomes.
    if (::fchmod(out.fd, mode) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw FileError(DescribeErrno(kCannotWrite, path, error));
    }
    return std::exchange(out.fd, -1);
}

// A rename is only durable once the folder holding the name is on disk too.
void SyncFolderOf(const std::string& path) {
    const std::string dir = ExtractFileDir(path);
    Fd folder{::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    // A folder one may write but not read cannot be opened to be synced.
    if (folder.fd < 0) return;
    // Some file systems cannot sync a folder at all (EINVAL).
    if (::fsync(folder.fd) != 0 && errno != EINVAL) throw FileError(DescribeErrno(kCannotWrite, path, errno));
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

}  // namespace

// `regularOnly`: a pipe or device is refused before it is opened (opening
// one may block or have effects of its own), and in case one took the
// file's place meanwhile the open does not wait either.
std::string detail::ReadAll(const std::string& path, std::size_t maxBytes, bool regularOnly) {
    struct stat st {};
    if (regularOnly && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw FileError(DescribeErrno(kCannotRead, path, EINVAL));
    Fd in{::open(path.c_str(), O_RDONLY | O_CLOEXEC | (regularOnly ? O_NONBLOCK | O_NOCTTY : 0))};
    if (in.fd < 0) throw FileError(DescribeErrno(kCannotRead, path, errno));
    std::string bytes;
    if (::fstat(in.fd, &st) != 0) throw FileError(DescribeErrno(kCannotRead, path, errno));
    if (regularOnly && !S_ISREG(st.st_mode)) throw FileError(DescribeErrno(kCannotRead, path, EINVAL));
    if (st.st_size > 0) {
        if (static_cast<std::uintmax_t>(st.st_size) > maxBytes)
            throw FileError(DescribeErrno(kCannotRead, path, EFBIG));
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in.fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileError(DescribeErrno(kCannotRead, path, errno));
        }
        // Files in /proc and pipes show no size beforehand.
        if (static_cast<std::size_t>(n) > maxBytes - bytes.size())
            throw FileError(DescribeErrno(kCannotRead, path, EFBIG));
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

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

bool NameTaken(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::optional<std::pair<std::uint64_t, std::uint64_t>> FileIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || st.st_ino == 0) return std::nullopt;
    return std::pair<std::uint64_t, std::uint64_t>(st.st_dev, st.st_ino);
}

FileWriter::FileWriter(const std::string& target, Mode mode) : path_(target), mode_(mode) {
    if (mode == Mode::New) {
        if (NameTaken(path_)) throw Taken(path_);
        fd_ = MakeTemp(path_, NewFileMode(), temp_);
        return;
    }
    // Replacing a link would turn it into a file of its own: write through it.
    struct stat link {};
    if (::lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* resolved = ::realpath(target.c_str(), nullptr)) {
            path_ = resolved;
            std::free(resolved);
        } else if (mode == Mode::ReplaceFile) {
            throw FileError(DescribeErrno(kCannotWrite, target, errno));  // a dangling link is no file of ours
        }
    }
    struct stat st {};
    bool exists = ::stat(path_.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode) && mode == Mode::ReplaceFile)
        throw FileError(DescribeErrno(kCannotWrite, path_, EINVAL));
    if (exists && !S_ISREG(st.st_mode)) {
        // A pipe or a device is written through in place: there is no file
        // to replace, and replacing it would destroy it.
        Fd out{::open(path_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC)};
        if (out.fd < 0) throw FileError(DescribeErrno(kCannotWrite, path_, errno));
        struct stat opened {};
        // It may have become a regular file meanwhile: replaced as usual then.
        if (::fstat(out.fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            fd_ = std::exchange(out.fd, -1);
            return;
        }
        exists = ::stat(path_.c_str(), &st) == 0;
    }
    // Keep the permissions of the file being replaced.
    fd_ = MakeTemp(path_, exists ? st.st_mode & 07777 : NewFileMode(), temp_);
}

FileWriter::~FileWriter() {
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

void FileWriter::Commit() {
    int error = 0;
    if (!temp_.empty() && ::fsync(fd_) != 0) error = errno;
    const int closing = std::exchange(fd_, -1);
    if (::close(closing) != 0 && error == 0) error = errno;
    if (error != 0) throw FileError(DescribeErrno(kCannotWrite, path_, error));
    if (temp_.empty()) return;  // written in place
    detail::BeforePublish(path_);
    if (mode_ != Mode::New) {
        if (::rename(temp_.c_str(), path_.c_str()) != 0) throw FileError(DescribeErrno(kCannotWrite, path_, errno));
    } else if (const int published = PublishAsNew(temp_, path_); published != 0) {
        if (published == EEXIST) throw Taken(path_);
        throw FileError(DescribeErrno(kCannotWrite, path_, published));
    }
    temp_.clear();
    SyncFolderOf(path_);
}

MappedFile::MappedFile(const std::string& path) {
    Fd in{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) throw FileError(DescribeErrno(kCannotRead, path, errno));
    struct stat st {};
    if (::fstat(in.fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        // Populated at once: one call instead of a fault for every page.
        void* map =
            ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, in.fd, 0);
        if (map != MAP_FAILED) {
            data_ = static_cast<const char*>(map);
            size_ = static_cast<std::size_t>(st.st_size);
            mapped_ = true;
            return;
        }
    }
    in.Close();
    read_ = detail::ReadAll(path, SIZE_MAX, false);
    data_ = read_.data();
    size_ = read_.size();
}

MappedFile::~MappedFile() {
    if (mapped_) ::munmap(const_cast<char*>(data_), size_);
}

bool IsPathDelimiter(char c) { return c == '/'; }

std::size_t PathRootLength(std::string_view path) { return path.starts_with('/') ? 1 : 0; }

char PathDelimiterFor(std::string_view) { return '/'; }

}  // namespace zvek
