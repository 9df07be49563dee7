#include "platform/TempFiles.h"

#include <atomic>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <utility>

#include "platform/windows/Win32.h"
#include "platform/Files.h"
#include "platform/FsPath.h"
#include "platform/windows/WideText.h"

// The folder lies in the user's temporary folder (GetTempPathW: %TMP%,
// %TEMP%, the profile's), whose permissions already keep other users out,
// and is named zveklc-PID-XXXXXX as on POSIX. While the folder is ours a
// handle on it is held that does not share deletion: a later process sees
// by that (and by the process id) whether the owner is gone. The folder
// goes at normal exit, and on Ctrl+C, Ctrl+Break or the console's closing.

namespace zvek {

namespace {

std::wstring RandomPart() {
    static std::atomic<unsigned> counter{0};
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    unsigned long long x = static_cast<unsigned long long>(now.QuadPart) * 0x9E3779B97F4A7C15ull + counter.fetch_add(1);
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 32;
    static constexpr wchar_t kDigits[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    std::wstring part(detail::kTempRandomPart, L'a');
    for (wchar_t& c : part) {
        c = kDigits[x % 36];
        x /= 36;
    }
    return part;
}

// Process numbers are DWORDs: up to ten digits, the value checked.
constexpr std::size_t kPidDigits = 10;

HANDLE folderLock = INVALID_HANDLE_VALUE;  // held while the folder is ours; guarded by its mutex

// Runs on a thread of its own when the console is interrupted or closed;
// the default handler after it ends the process. It must not wait for the
// folder's mutex: the thread holding it may never get to run again.
BOOL WINAPI RemoveOnConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT ||
        event == CTRL_SHUTDOWN_EVENT) {
        detail::PrivateDir& dir = detail::Dir();
        if (dir.mutex.try_lock()) {
            dir.Remove();
            dir.mutex.unlock();
        }
    }
    return FALSE;
}

}  // namespace

void detail::PrivateDir::Remove() {
    if (folderLock != INVALID_HANDLE_VALUE) ::CloseHandle(std::exchange(folderLock, INVALID_HANDLE_VALUE));
    if (path.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(FsPath(path), ec);
    path.clear();
}

const std::string& detail::PrivateDir::Get() {
    if (!path.empty()) return path;
    std::wstring base(MAX_PATH + 1, L'\0');
    const DWORD length = ::GetTempPathW(static_cast<DWORD>(base.size()), base.data());
    if (length == 0 || length > base.size())
        throw FileError("一時フォルダがありません（" + ErrorText(::GetLastError()) + "）");
    base.resize(length);
    while (base.size() > 3 && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();
    RemoveFoldersOfEndedProcesses(Narrow(base), kPidDigits);

    const std::wstring prefix =
        base + L"\\" + Wide(kTempFolderPrefix) + std::to_wstring(::GetCurrentProcessId()) + L"-";
    for (int attempt = 0;; ++attempt) {
        const std::wstring candidate = prefix + RandomPart();
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            folderLock = ::CreateFileW(candidate.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            path = Narrow(candidate);
            break;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS || attempt == 100)
            throw FileError(Narrow(candidate) + "：一時フォルダを作れません（" + ErrorText(error) + "）");
    }
    static std::once_flag installed;
    std::call_once(installed, [] { ::SetConsoleCtrlHandler(RemoveOnConsoleEvent, TRUE); });
    return path;
}

std::string detail::NewFileIn(const std::string& folder, std::string_view suffix) {
    for (int attempt = 0;; ++attempt) {
        std::string path = folder + "\\file-" + Narrow(RandomPart()) + std::string(suffix);
        HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
            return path;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS || attempt == 100)
            throw FileError(path + "：一時ファイルを作れません（" + ErrorText(error) + "）");
    }
}

std::vector<std::string> detail::NamesIn(const std::string& base, std::string_view prefix) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry{};
    HANDLE find = ::FindFirstFileW((Wide(base) + L"\\" + Wide(prefix) + L"*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(Narrow(entry.cFileName));
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
    return names;
}

bool detail::ProcessRuns(std::uint32_t pid) {
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return ::GetLastError() != ERROR_INVALID_PARAMETER;  // access denied: it runs
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
}

void detail::RemoveIfUnheld(const std::string& folder) {
    const std::wstring path = Wide(folder);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return;
    // Shared with nobody: fails while the owner (or anyone) has it open.
    HANDLE probe = ::CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return;
    ::CloseHandle(probe);
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(path), ignored);
}

}  // namespace zvek
