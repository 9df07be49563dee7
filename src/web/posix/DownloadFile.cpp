#include "web/DownloadFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/Files.h"

namespace zvek {

DownloadFile::~DownloadFile() { Close(); }

bool DownloadFile::Create(const std::string& path) {
    Close();
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ignored;  // a folder that cannot be made shows as a file that cannot be created
    if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    handle_ = fd;
    return true;
}

bool DownloadFile::Write(std::string_view bytes) {
    if (const int error = WriteAll(static_cast<int>(handle_), bytes); error != 0) {
        error_ = std::strerror(error);
        return false;
    }
    return true;
}

bool DownloadFile::Close() {
    if (handle_ < 0) return true;
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (::close(fd) == 0) return true;
    error_ = std::strerror(errno);
    return false;
}

}  // namespace zvek
