#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace zvek {

namespace {

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

std::string ProgramPath() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::optional<std::string> InstanceLock::LockPlace(std::string_view name) {
    std::string dir = RuntimeDir();
    if (dir.empty()) return std::nullopt;
    return dir + "/" + std::string(name);
}

// flock belongs to the open file description, so two opens in the same
// process exclude each other just as two processes do. Lock files are only
// ever opened, never removed: removing one while another process is about
// to lock it would let two holders share a number.
int InstanceLock::TryLock(const std::string& place, int number) {
    const std::string path = place + std::to_string(number) + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
    ::close(fd);
    return -1;
}

void InstanceLock::Unlock(int fd) { ::close(fd); }  // closing drops the flock

}  // namespace zvek
