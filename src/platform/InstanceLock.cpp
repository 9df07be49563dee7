// The number search and the lock's ownership, the same on every system;
// what a lock is belongs to each system.
#include "platform/InstanceLock.h"

#include <utility>

#include "platform/Files.h"

namespace zvek {

namespace {

constexpr int kMaxNumber = 1000;

}  // namespace

std::string ProgramName() {
    const std::string path = ProgramPath();
    if (path.empty()) return "zveklc";
    std::string name = ExtractFileName(path);
    name.resize(name.size() - ExtractFileExt(name).size());
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
    if (fd_ >= 0) Unlock(fd_);
    fd_ = -1;
}

InstanceLock InstanceLock::Acquire(std::string_view name) {
    InstanceLock lock;
    const std::optional<std::string> place = LockPlace(name);
    if (!place) return lock;
    for (int n = 0; n < kMaxNumber; ++n) {
        if (const int fd = TryLock(*place, n); fd >= 0) {
            lock.fd_ = fd;
            lock.number_ = n;
            return lock;
        }
    }
    return lock;
}

}  // namespace zvek
