#include "platform/InstanceLock.h"

#include "platform/windows/Win32.h"
#include "platform/windows/WideText.h"

// Each number is a named mutex (name and number, in the session's
// namespace), held while the object lives; nobody ever waits on it. Its
// creation tells at once whether the name was free, and the system drops it
// with its last handle, so a crashed program never keeps a number taken.

namespace zvek {

std::string RuntimeDir() { return {}; }

std::string ProgramPath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return Narrow(buffer.substr(0, length));
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::string> InstanceLock::LockPlace(std::string_view name) { return std::string(name); }

int InstanceLock::TryLock(const std::string& place, int number) {
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, (Wide(place) + std::to_wstring(number)).c_str());
    if (!mutex) return -1;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return -1;
    }
    // Kernel handles are 32-bit values on every Windows, so the descriptor
    // field can hold one.
    return static_cast<int>(reinterpret_cast<std::intptr_t>(mutex));
}

void InstanceLock::Unlock(int fd) { ::CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd))); }

}  // namespace zvek
