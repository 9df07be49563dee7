// The Windows side of the test support: folders and the environment.
#include "TestSupport.h"

#include <stdlib.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "platform/windows/Win32.h"

namespace zvek::test {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring name = L"zveklc-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(::GetTickCount64() % 100000) + L"-" + std::to_wstring(counter++);
        if (::CreateDirectoryW((base / name).c_str(), nullptr)) {
            path_ = base / name;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

// The C library's copy of the environment is what the core reads (getenv);
// _putenv_s keeps the system's copy, which child processes get, in step.
ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::_putenv_s(name, value ? value->c_str() : "");
}

ScopedEnv::~ScopedEnv() { ::_putenv_s(name_, old_ ? old_->c_str() : ""); }

}  // namespace zvek::test
