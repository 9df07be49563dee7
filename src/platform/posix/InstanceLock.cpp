#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "platform/Files.h"

namespace zvek {

namespace {

// Lock files are only ever opened, never removed: removing one while another
// process is about to lock it would let two holders share a number.
constexpr int kMaxNumber = 1000;

// A folder we may keep lock files in: a real folder (no link), ours, and
// writable by nobody else.
bool IsPrivateFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 0077) == 0;
}

bool MakePrivateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    return IsPrivateFolder(path);
}

}  // namespace

std::string RuntimeDir() {
    // XDG_RUNTIME_DIR is the user's own by definition (0700, removed at
    // logout); our sub-folder keeps the files together. Without it, a
    // folder of our own under /tmp; one that someone else made is refused.
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg == '/') {
        std::string dir = std::string(xdg) + "/zveklc";
        if (MakePrivateFolder(dir)) return dir;
    }
    std::string dir = "/tmp/zveklc-" + std::to_string(::getuid());
    if (MakePrivateFolder(dir)) return dir;
    return {};
}

std::string ProgramName() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return "zveklc";
    std::string name = ExtractFileName(std::string_view(buffer, static_cast<std::size_t>(n)));
    const std::string ext = ExtractFileExt(name);
    name.resize(name.size() - ext.size());
    return name;
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), number_(std::exchange(other.number_, 0)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
        number_ = std::exchange(other.number_, 0);
    }
    return *this;
}

void InstanceLock::Release() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the flock
    fd_ = -1;
}

InstanceLock InstanceLock::Acquire(std::string_view name) {
    InstanceLock lock;
    const std::string dir = RuntimeDir();
    if (dir.empty()) return lock;
    // flock belongs to the open file description, so two opens in the same
    // process exclude each other just as two processes do.
    for (int n = 0; n < kMaxNumber; ++n) {
        const std::string path = dir + "/" + std::string(name) + std::to_string(n) + ".lock";
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            lock.fd_ = fd;
            lock.number_ = n;
            return lock;
        }
        ::close(fd);
    }
    return lock;
}

}  // namespace zvek
