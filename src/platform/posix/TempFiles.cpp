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

#include "platform/Files.h"

namespace zvek {

namespace {

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

// --- The folder -------------------------------------------------------------

// The longest process number a name of ours holds: pid_t holds any nine digits.
constexpr std::size_t kPidDigits = 9;

// The folder belongs to the process that made it: a forked child that exits
// without exec must not take its parent's files with it. Both are guarded
// by the folder's mutex.
pid_t owner = 0;
int lockFd = -1;  // holds the folder's lock while the folder is ours

}  // namespace

void detail::PrivateDir::Remove() {
    if (path.empty() || owner != ::getpid()) return;
    signalOwner.store(0, std::memory_order_release);
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    path.clear();
    if (lockFd >= 0) ::close(lockFd);
    lockFd = -1;
}

const std::string& detail::PrivateDir::Get() {
    if (!path.empty() && owner == ::getpid()) return path;
    const char* tmp = std::getenv("TMPDIR");
    std::error_code ec;
    // Absolute, because the working folder may change while the folder lives.
    std::string base = std::filesystem::absolute((tmp && *tmp) ? tmp : "/tmp", ec).string();
    if (ec) base = "/tmp";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    RemoveFoldersOfEndedProcesses(base, kPidDigits);

    std::string pattern = base + "/" + std::string(kTempFolderPrefix) + std::to_string(::getpid()) + "-XXXXXX";
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

std::string detail::NewFileIn(const std::string& folder, std::string_view suffix) {
    std::string path = folder + "/file-XXXXXX" + std::string(suffix);
    const int fd = ::mkostemps(path.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (fd < 0) throw FileError(path + "：一時ファイルを作れません（" + std::strerror(errno) + "）");
    ::close(fd);
    return path;
}

std::vector<std::string> detail::NamesIn(const std::string& base, std::string_view prefix) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(base.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (std::string_view(entry->d_name).starts_with(prefix)) names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    return names;
}

bool detail::ProcessRuns(std::uint32_t pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH; }

void detail::RemoveIfUnheld(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    ::close(fd);
}

}  // namespace zvek
