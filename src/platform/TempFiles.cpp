#include "platform/TempFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <stdexcept>

#include "platform/Files.h"

namespace zvek {

namespace {

// The folder belongs to the process that made it: a forked child that exits
// without exec must not take its parent's files with it.
struct PrivateDir {
    std::mutex mutex;
    std::string path;
    pid_t owner = 0;

    ~PrivateDir() { Remove(); }

    void Remove() {
        if (path.empty() || owner != ::getpid()) return;
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
        path.clear();
    }

    const std::string& Get() {
        if (!path.empty() && owner == ::getpid()) return path;
        const char* base = std::getenv("TMPDIR");
        std::string pattern = (base && *base) ? base : "/tmp";
        while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
        pattern += "/zveklc-XXXXXX";
        if (!::mkdtemp(pattern.data()))  // mkdtemp makes it 0700
            throw FileError(pattern + "：一時フォルダを作れません（" + std::strerror(errno) + "）");
        path = pattern;
        owner = ::getpid();
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
