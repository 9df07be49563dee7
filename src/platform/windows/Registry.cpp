#include "platform/windows/Registry.h"

#include <utility>

namespace zvek {

RegistryKey::~RegistryKey() {
    if (key_) RegCloseKey(key_);
}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        if (key_) RegCloseKey(key_);
        key_ = std::exchange(other.key_, nullptr);
    }
    return *this;
}

RegistryKey RegistryKey::Open(HKEY root, const std::wstring& path, REGSAM access) {
    HKEY key = nullptr;
    return RegistryKey(RegOpenKeyExW(root, path.c_str(), 0, access, &key) == ERROR_SUCCESS ? key : nullptr);
}

RegistryKey RegistryKey::Create(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    const LONG result = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr);
    return RegistryKey(result == ERROR_SUCCESS ? key : nullptr);
}

std::optional<std::wstring> RegistryKey::ReadString(const std::wstring& name, std::size_t maxChars) const {
    if (!key_) return std::nullopt;
    // The value may change between asking its size and reading it: a few
    // tries, then it counts as unreadable.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD type = 0, bytes = 0;
        if (RegQueryValueExW(key_, name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return std::nullopt;
        if ((type != REG_SZ && type != REG_EXPAND_SZ) || (bytes + 1) / sizeof(wchar_t) > maxChars + 1)
            return std::nullopt;
        std::wstring text((bytes + 1) / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LONG result =
            RegQueryValueExW(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got);
        if (result == ERROR_MORE_DATA) continue;
        if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
        text.resize(got / sizeof(wchar_t));
        text.resize(std::wstring_view(text.c_str()).size());  // up to the first NUL
        if (type == REG_SZ) return text;
        const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
        if (needed == 0 || needed > maxChars + 1) return std::nullopt;
        std::wstring expanded(needed, L'\0');
        const DWORD written = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed);
        if (written == 0 || written > needed) return std::nullopt;
        expanded.resize(written - 1);
        return expanded;
    }
    return std::nullopt;
}

bool RegistryKey::HasValue(const std::wstring& name) const {
    return key_ && RegQueryValueExW(key_, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool RegistryKey::WriteString(const std::wstring& name, std::wstring_view value) const {
    const std::wstring text(value);
    return key_ && RegSetValueExW(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace zvek
