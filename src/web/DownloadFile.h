// The file a download writes (posix/DownloadFile.cpp, windows/DownloadFile.cpp):
// made with any missing folders, replacing an old file of the name. Failures
// are given in the words of the C library, alike on every system, for the
// message that says the page could not be stored.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zvek {

class DownloadFile {
public:
    DownloadFile() = default;
    ~DownloadFile();
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;

    // Each returns false on failure, and Error() then says why.
    bool Create(const std::string& path);
    bool Write(std::string_view bytes);
    bool Close();
    const std::string& Error() const { return error_; }

private:
    std::intptr_t handle_ = -1;  // the system's handle of the open file
    std::string error_;
};

}  // namespace zvek
