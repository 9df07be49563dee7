#include "platform/InstanceLock.h"

#include <utility>

#include "platform/windows/Win32.h"
#include "platform/Files.h"
#include "platform/windows/WideText.h"

// Each number is a named mutex (name and number, in the session's
// namespace), held while the object lives; nobody ever waits on it. Its
// creation tells at once whether the name was free, and the system drops it
// with its last handle, so a crashed program never keeps a number taken.

namespace zvek {

namespace {

constexpr int kMaxNumber = 1000;

HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

}  // namespace

std::string RuntimeDir() { return {}; }

std::string ProgramName() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return "zveklc";
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    std::string name = ExtractFileName(Narrow(buffer));
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
    if (fd_ >= 0) ::CloseHandle(AsHandle(fd_));
    fd_ = -1;
}

InstanceLock InstanceLock::Acquire(std::string_view name) {
    InstanceLock lock;
    for (int n = 0; n < kMaxNumber; ++n) {
        const std::wstring mutexName = Wide(name) + std::to_wstring(n);
        HANDLE mutex = ::CreateMutexW(nullptr, FALSE, mutexName.c_str());
        if (!mutex) continue;
        if (::GetLastError() == ERROR_ALREADY_EXISTS) {
            ::CloseHandle(mutex);
            continue;
        }
        // Kernel handles are 32-bit values on every Windows, so the
        // descriptor field can hold one.
        lock.fd_ = static_cast<int>(reinterpret_cast<std::intptr_t>(mutex));
        lock.number_ = n;
        return lock;
    }
    return lock;
}

}  // namespace zvek
