// The file a download writes (posix/DownloadFile.cpp, windows/DownloadFile.cpp):
// made with any missing folders, replacing an old file of the name, and
// removed again when the download fails. Failures are given in the system's
// own words, for the message that says the page could not be stored.
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

    // Removes a file the download made; nothing happens when there is none.
    static void Remove(const std::string& path);

private:
    std::intptr_t handle_ = -1;  // the system's handle of the open file
    std::string error_;
};

}  // namespace zvek
