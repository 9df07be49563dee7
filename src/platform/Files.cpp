#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zvek {

namespace {

std::string Describe(const std::string& what, const std::string& path, int error) {
    return path + "：" + what + "（" + std::strerror(error) + "）";
}

// Closes a descriptor on every path out.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ReadFileBytes(const std::string& path) {
    Fd in{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) throw FileError(Describe("ファイルを読めません", path, errno));
    std::string bytes;
    struct stat st {};
    if (::fstat(in.fd, &st) == 0 && st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in.fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileError(Describe("ファイルを読めません", path, errno));
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

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
    const std::string dir = ExtractFileDir(path);
    std::string temp = (dir.empty() ? std::string() : dir + "/") + "." + ExtractFileName(path) + ".XXXXXX";
    Fd out{::mkostemp(temp.data(), O_CLOEXEC)};
    if (out.fd < 0) throw FileError(Describe("ファイルに書き込めません", path, errno));
    auto fail = [&](int error) {
        ::unlink(temp.c_str());
        throw FileError(Describe("ファイルに書き込めません", path, error));
    };
    // Keep the permissions of the file being replaced; a new file gets the
    // usual ones (mkostemp makes it private).
    struct stat st {};
    mode_t mode = 0666;
    if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
    else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    if (::fchmod(out.fd, mode) != 0) fail(errno);
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(out.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(out.fd) != 0) fail(errno);
    if (::close(out.fd) != 0) {
        out.fd = -1;
        fail(errno);
    }
    out.fd = -1;
    if (::rename(temp.c_str(), path.c_str()) != 0) fail(errno);
}

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
