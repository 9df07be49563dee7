#include "web/DownloadFile.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/windows/Win32.h"
#include "platform/windows/WideText.h"

namespace zvek {

namespace {

HANDLE Native(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

DownloadFile::~DownloadFile() { Close(); }

bool DownloadFile::Create(const std::string& path) {
    Close();
    const std::wstring name = WidePath(path);
    std::error_code ignored;  // a folder that cannot be made shows as a file that cannot be created
    if (const auto folder = std::filesystem::path(name).parent_path(); !folder.empty())
        std::filesystem::create_directories(folder, ignored);
    const HANDLE file = ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error_ = ErrorText(::GetLastError());
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
            error_ = ErrorText(::GetLastError());
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
    error_ = ErrorText(::GetLastError());
    return false;
}

}  // namespace zvek
