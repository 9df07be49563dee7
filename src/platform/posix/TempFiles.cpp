#include "platform/TempFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>

#include "platform/Files.h"

namespace zvek {

namespace {

constexpr std::string_view kPrefix = "zveklc-";
constexpr std::size_t kRandomPart = 6;  // mkdtemp's XXXXXX

// --- Removal on SIGTERM and SIGINT ------------------------------------------
//
// The handler may run on any thread at any moment, so it reads only what is
// set before `signalOwner` is published, and calls only async-signal-safe
// functions (getdents64 and syscall wrappers of its kind; no allocation).

char signalPath[PATH_MAX];
std::atomic<pid_t> signalOwner{0};  // 0: no folder to remove
static_assert(std::atomic<pid_t>::is_always_lock_free);

// Our folder holds the downloaded page and nothing deep; the bound keeps the
// handler's stack small whatever someone put there.
constexpr int kMaxDepth = 8;

void RemoveTreeAt(int parent, const char* name, int depth);

void EmptyFolderAt(int parent, const char* name, int depth) {
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    alignas(dirent64) char buffer[2048];
    // Removing entries while reading the folder may make the reading skip
    // some; another pass takes those.
    for (int pass = 0; pass < 4; ++pass) {
        bool removed = false;
        ::lseek(fd, 0, SEEK_SET);
        for (ssize_t n; (n = ::getdents64(fd, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
                at += entry->d_reclen;
                const char* entryName = entry->d_name;
                if (std::strcmp(entryName, ".") == 0 || std::strcmp(entryName, "..") == 0) continue;
                if (::unlinkat(fd, entryName, 0) == 0) {
                    removed = true;
                } else if ((errno == EISDIR || errno == EPERM) && depth > 0) {
                    RemoveTreeAt(fd, entryName, depth - 1);
                    removed = true;
                }
            }
        }
        if (!removed) break;
    }
    ::close(fd);
}

void RemoveTreeAt(int parent, const char* name, int depth) {
    // The other threads run on while the handler does: a download that has
    // just had its answer may make its file here after the folder was
    // emptied. Once the folder is gone it cannot, so empty it until it goes.
    for (int attempt = 0; attempt < 100; ++attempt) {
        EmptyFolderAt(parent, name, depth);
        if (::unlinkat(parent, name, AT_REMOVEDIR) == 0 || (errno != ENOTEMPTY && errno != EEXIST)) return;
    }
}

extern "C" void RemoveFolderAndDie(int sig) {
    if (signalOwner.load(std::memory_order_acquire) == ::getpid()) RemoveTreeAt(AT_FDCWD, signalPath, kMaxDepth);
    // Then end as the signal would have ended us, so whoever waits for the
    // process sees the real cause. The signal stays blocked until the
    // handler returns, and then the default action takes the process.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(sig, &fallback, nullptr);
    ::raise(sig);
}

// Only where the signal still has its default action: a program (or a shell
// starting us in the background) that set its own is left with it.
void InstallSignalRemoval() {
    struct sigaction action {};
    action.sa_handler = RemoveFolderAndDie;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaddset(&action.sa_mask, SIGINT);
    for (const int sig : {SIGTERM, SIGINT}) {
        struct sigaction current {};
        if (::sigaction(sig, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
            current.sa_handler == SIG_DFL)
            ::sigaction(sig, &action, nullptr);
    }
}

// --- Folders left behind ----------------------------------------------------

// The process id in a folder name of ours ("zveklc-PID-XXXXXX").
std::optional<pid_t> OwnerOf(std::string_view name) {
    if (name.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
    name.remove_prefix(kPrefix.size());
    const std::size_t dash = name.find('-');
    if (dash == 0 || dash > 9 || dash == std::string_view::npos || name.size() - dash - 1 != kRandomPart)
        return std::nullopt;
    pid_t pid = 0;
    for (const char c : name.substr(0, dash)) {
        if (c < '0' || c > '9') return std::nullopt;
        pid = pid * 10 + (c - '0');
    }
    return pid > 0 ? std::optional<pid_t>(pid) : std::nullopt;
}

// A folder is left behind when no process has its number any more and no
// process holds its lock (the lock also covers an owner this process cannot
// see, in another process namespace sharing the folder). Only our own real
// folders are touched, never what a link points to.
void RemoveFoldersOfEndedProcesses(const std::string& base) {
    DIR* dir = ::opendir(base.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::optional<pid_t> pid = OwnerOf(entry->d_name);
        if (!pid || *pid == ::getpid()) continue;
        if (::kill(*pid, 0) == 0 || errno != ESRCH) continue;
        const int fd = ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ignored;
            std::filesystem::remove_all(base + "/" + entry->d_name, ignored);
        }
        ::close(fd);
    }
    ::closedir(dir);
}

// The folder belongs to the process that made it: a forked child that exits
// without exec must not take its parent's files with it.
struct PrivateDir {
    std::mutex mutex;
    std::string path;
    pid_t owner = 0;
    int lockFd = -1;  // holds the folder's lock while the folder is ours

    ~PrivateDir() { Remove(); }

    void Remove() {
        if (path.empty() || owner != ::getpid()) return;
        signalOwner.store(0, std::memory_order_release);
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
        path.clear();
        if (lockFd >= 0) ::close(lockFd);
        lockFd = -1;
    }

    const std::string& Get() {
        if (!path.empty() && owner == ::getpid()) return path;
        const char* tmp = std::getenv("TMPDIR");
        std::error_code ec;
        // Absolute, because the working folder may change while the folder lives.
        std::string base = std::filesystem::absolute((tmp && *tmp) ? tmp : "/tmp", ec).string();
        if (ec) base = "/tmp";
        while (base.size() > 1 && base.back() == '/') base.pop_back();
        RemoveFoldersOfEndedProcesses(base);

        std::string pattern = base + "/" + std::string(kPrefix) + std::to_string(::getpid()) + "-XXXXXX";
        if (pattern.size() >= sizeof signalPath) errno = ENAMETOOLONG;
        if (pattern.size() >= sizeof signalPath || !::mkdtemp(pattern.data()))  // mkdtemp makes it 0700
            throw FileError(pattern + "：一時フォルダを作れません（" + std::strerror(errno) + "）");
        if (lockFd >= 0) ::close(lockFd);  // a forked child's copy of its parent's lock
        lockFd = ::open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (lockFd >= 0) ::flock(lockFd, LOCK_EX | LOCK_NB);
        path = pattern;
        owner = ::getpid();

        std::memcpy(signalPath, path.c_str(), path.size() + 1);
        signalOwner.store(owner, std::memory_order_release);
        static std::once_flag installed;
        std::call_once(installed, InstallSignalRemoval);
        return path;
    }
};

PrivateDir& Dir() {
    static PrivateDir dir;  // destroyed, and so removed, at normal exit
    return dir;
}

}  // namespace

std::string PrivateTempDir() {
    PrivateDir& dir = Dir();
    std::lock_guard lock(dir.mutex);
    return dir.Get();
}

std::string UniqueTempFile(std::string_view suffix) {
    if (suffix.find('/') != std::string_view::npos) throw std::invalid_argument("a file-name suffix holds no folder");
    PrivateDir& dir = Dir();
    std::lock_guard lock(dir.mutex);
    std::string path = dir.Get() + "/" + "file-XXXXXX" + std::string(suffix);
    const int fd = ::mkostemps(path.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (fd < 0) throw FileError(path + "：一時ファイルを作れません（" + std::strerror(errno) + "）");
    ::close(fd);
    return path;
}

void RemovePrivateTempDir() {
    PrivateDir& dir = Dir();
    std::lock_guard lock(dir.mutex);
    dir.Remove();
}

}  // namespace zvek
