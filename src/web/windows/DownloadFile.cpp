#include "web/DownloadFile.h"

#include <filesystem>
#include <system_error>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace zvek {

namespace {

std::wstring Wide(std::string_view utf8) {
    std::wstring wide(utf8.size(), L'\0');
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                                        static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return wide;
}

// The system's words for an error, as UTF-8 without the closing full stop.
std::string SystemText(DWORD error) {
    wchar_t text[512];
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                               sizeof text / sizeof text[0], nullptr);
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L'.' || text[n - 1] == L' ')) --n;
    if (n == 0) return "error " + std::to_string(error);
    std::string utf8(n * 3, '\0');
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), utf8.data(),
                                           static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(size > 0 ? size : 0));
    return utf8;
}

HANDLE Native(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

DownloadFile::~DownloadFile() { Close(); }

bool DownloadFile::Create(const std::string& path) {
    Close();
    const std::wstring name = Wide(path);
    std::error_code ignored;  // a folder that cannot be made shows as a file that cannot be created
    if (const auto folder = std::filesystem::path(name).parent_path(); !folder.empty())
        std::filesystem::create_directories(folder, ignored);
    const HANDLE file =
        ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error_ = SystemText(::GetLastError());
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return true;
}

bool DownloadFile::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const auto size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        if (!::WriteFile(Native(handle_), bytes.data(), size, &written, nullptr) || written == 0) {
            error_ = SystemText(::GetLastError());
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool DownloadFile::Close() {
    if (handle_ == -1) return true;
    const HANDLE file = Native(handle_);
    handle_ = -1;
    if (::CloseHandle(file)) return true;
    error_ = SystemText(::GetLastError());
    return false;
}

void DownloadFile::Remove(const std::string& path) { ::DeleteFileW(Wide(path).c_str()); }

}  // namespace zvek
