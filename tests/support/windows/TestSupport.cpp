// The Windows side of the test support: folders and the environment.
#include "TestSupport.h"

#include <stdlib.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "platform/windows/Win32.h"
#include "platform/FsPath.h"

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

const bool kLinuxDesktop = false;

namespace {

const std::wstring kRegistrySandbox = L"Software\\ZveklcTest\\Home" + std::to_wstring(::GetCurrentProcessId());

}  // namespace

UserHome::UserHome(const std::filesystem::path& home)
    : home_("APPDATA", PathText(home)), settings_("LOCALAPPDATA", PathText(home / "Local")) {
    for (const auto& [root, name] : {std::pair{HKEY_CURRENT_USER, L"\\User"}, {HKEY_LOCAL_MACHINE, L"\\Machine"}}) {
        HKEY key = nullptr;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, (kRegistrySandbox + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &key, nullptr);
        ::RegOverridePredefKey(root, key);
        ::RegCloseKey(key);
    }
}

UserHome::~UserHome() {
    ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kRegistrySandbox.c_str());
}

std::filesystem::path FirefoxProfiles(const std::filesystem::path& home) { return home / "Mozilla/Firefox"; }

}  // namespace zvek::test
