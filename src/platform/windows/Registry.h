// Registry keys, each opened for one operation and closed at its end.
// What a key holds comes from outside: a string is read only up to a size
// that no path or command comes near, and ends at its first NUL, as every
// program that reads it sees it.
#pragma once

#include "platform/windows/Win32.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zvek {

inline constexpr std::size_t kMaxRegistryChars = 32 * 1024;

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey();
    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // An existing key; `access` is what the caller needs and no more
    // (a key we may read but not write opens all the same).
    static RegistryKey Open(HKEY root, const std::wstring& path, REGSAM access = KEY_QUERY_VALUE);
    // The key, made when it is missing, for reading and writing its values.
    static RegistryKey Create(HKEY root, const std::wstring& path);

    explicit operator bool() const { return key_ != nullptr; }
    HKEY Handle() const { return key_; }

    // The string value `name` ("" is the default value): REG_SZ as it
    // stands, REG_EXPAND_SZ with its variables expanded. Nothing when it is
    // missing, of another type, or longer than `maxChars`.
    std::optional<std::wstring> ReadString(const std::wstring& name = {},
                                           std::size_t maxChars = kMaxRegistryChars) const;
    // Whether the value `name` exists, of whatever type.
    bool HasValue(const std::wstring& name) const;
    bool WriteString(const std::wstring& name, std::wstring_view value) const;

private:
    explicit RegistryKey(HKEY key) : key_(key) {}
    HKEY key_ = nullptr;
};

}  // namespace zvek
