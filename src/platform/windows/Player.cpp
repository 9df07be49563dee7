// The player on Windows: its registry keys, its settings file beside it and
// its main window.
#include "platform/Player.h"

#include <optional>
#include <string>

#include "platform/Files.h"
#include "platform/windows/Registry.h"
#include "platform/windows/WideText.h"

namespace zvek {

namespace {

constexpr wchar_t kAppPathsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ZVEK.EXE";
constexpr wchar_t kPlayerKey[] = L"Software\\HALDE\\ZVEK";

// The player's executable named by a registry value, when a file is there.
std::optional<std::wstring> PlayerFile(const std::wstring& value) {
    const std::string text = Narrow(value);
    const auto path = PlayerDrivePath(text);
    if (!path) return std::nullopt;
    const std::wstring file = Wide(*path);
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
    return file;
}

}  // namespace

std::string FindPlayerPath() {
    // A 32-bit installer on 64-bit Windows writes its App Paths entry into
    // the 32-bit view of the machine's keys, which a 64-bit program sees
    // only when it asks for it. Every key is opened for reading only: a
    // normal user may not write the machine's keys, and needs not.
    const struct {
        HKEY root;
        const wchar_t* key;
        REGSAM view;
    } places[] = {{HKEY_LOCAL_MACHINE, kAppPathsKey, 0},
                  {HKEY_LOCAL_MACHINE, kAppPathsKey, KEY_WOW64_32KEY},
                  {HKEY_CURRENT_USER, kPlayerKey, 0}};
    for (const auto& place : places) {
        const auto key = RegistryKey::Open(place.root, place.key, KEY_QUERY_VALUE | place.view);
        if (const auto value = key.ReadString())
            if (const auto file = PlayerFile(*value)) return Narrow(*file);
    }
    return {};
}

std::string PlayerSettingsPath(const std::string& playerPath) {
    // Windows finds the file whatever the case of its name, as the player does.
    return playerPath.empty() ? std::string() : ChangeFileExt(playerPath, ".ini");
}

std::string PlayerToolCommand(const std::string& programPath) { return "\"" + programPath + "\" /ZVEK"; }

PlayerWindow::PlayerWindow() : message_(RegisterWindowMessageW(L"WM_ZVEK")) { Find(); }

bool PlayerWindow::Find() {
    HWND window = FindWindowW(L"TFormZVEK", nullptr);
    if (!window) window = FindWindowW(L"TZvekForm", nullptr);
    window_ = window;
    return window != nullptr;
}

bool PlayerWindow::Post(std::uintptr_t wParam, std::intptr_t lParam) {
    if (!window_ && !Find()) return false;
    return message_ != 0 && PostMessageW(static_cast<HWND>(window_), message_, wParam, lParam) != FALSE;
}

}  // namespace zvek
