#include "platform/SettingsLocation.h"

#include "platform/windows/Win32.h"

#include <filesystem>

#include "platform/windows/WideText.h"

namespace zvek {

namespace {

// Whether `path` is a file we may write: not marked read-only, and opened
// for writing and closed again at once, which changes nothing but asks the
// file system itself (the folder's permissions, a read-only medium).
bool WritableFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
        return false;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

}  // namespace

std::string WindowSettingsPath(const std::string& programDir) {
    std::wstring portable = Wide(programDir);
    if (!portable.empty() && portable.back() != L'\\' && portable.back() != L'/') portable += L'\\';
    portable += L"zveklc.ini";
    if (WritableFile(portable)) return Narrow(portable);
    std::wstring appData(1024, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", appData.data(), static_cast<DWORD>(appData.size()));
    if (length == 0 || length >= appData.size()) return {};
    appData.resize(length);
    if (!std::filesystem::path(appData).is_absolute()) return {};
    if (appData.back() != L'\\' && appData.back() != L'/') appData += L'\\';
    return Narrow(appData + L"zveklc\\zveklc.ini");
}

}  // namespace zvek
