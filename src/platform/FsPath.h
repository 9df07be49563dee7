// Paths for std::filesystem, and back. std::filesystem takes a narrow
// string in the system's ANSI code page on Windows, not as UTF-8, so the
// core's UTF-8 paths go through these on their way in and out.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zvek {

inline std::filesystem::path FsPath(std::string_view utf8) {
    return std::filesystem::path(std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

inline std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace zvek
