// Numbered instance locks: the lowest number n = 0, 1, 2, ... that no other
// holder of the same name, in this process or another of the same user,
// currently has.
//
// On POSIX each number is a lock file in the user's runtime folder
// ($XDG_RUNTIME_DIR, or a private /tmp/zveklc-<uid> made with mode 0700),
// held with flock while the object lives; on Windows it is a named mutex
// (the name and the number) in the session's namespace. The system drops
// either when its holder closes it or dies, so a crashed program never
// keeps a number taken. Nothing ever waits on these locks; they only hand
// out distinct numbers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zvek {

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock() { Release(); }
    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lowest free number for `name`. When no lock can be taken at
    // all (no usable runtime folder), the number is 0 and nothing is held.
    static InstanceLock Acquire(std::string_view name);

    int number() const { return number_; }
    bool held() const { return fd_ >= 0; }
    void Release();

private:
    // Each system's part: where the locks of a name live (nothing when
    // there is no such place), the lock on one number there (-1 when another
    // holder has it or it cannot be had), and giving a lock back.
    static std::optional<std::string> LockPlace(std::string_view name);
    static int TryLock(const std::string& place, int number);
    static void Unlock(int fd);

    int fd_ = -1;
    int number_ = 0;
};

// The folder that holds the lock files, made if needed; empty when there is
// no folder that is the user's own and private (and on Windows, which needs
// none).
std::string RuntimeDir();

// The running program's file name without folder and extension.
std::string ProgramName();
// The running program's path as the system gives it; empty when it does not.
std::string ProgramPath();

}  // namespace zvek
