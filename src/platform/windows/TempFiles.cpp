#include "platform/TempFiles.h"

#include <atomic>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
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

constexpr std::wstring_view kPrefix = L"zveklc-";
constexpr std::size_t kRandomPart = 6;

std::wstring RandomPart() {
    static std::atomic<unsigned> counter{0};
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    unsigned long long x = static_cast<unsigned long long>(now.QuadPart) * 0x9E3779B97F4A7C15ull + counter.fetch_add(1);
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 32;
    static constexpr wchar_t kDigits[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    std::wstring part(kRandomPart, L'a');
    for (wchar_t& c : part) {
        c = kDigits[x % 36];
        x /= 36;
    }
    return part;
}

// The process id in a folder name of ours.
std::optional<DWORD> OwnerOf(std::wstring_view name) {
    if (name.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
    name.remove_prefix(kPrefix.size());
    const std::size_t dash = name.find(L'-');
    if (dash == 0 || dash > 10 || dash == std::wstring_view::npos || name.size() - dash - 1 != kRandomPart)
        return std::nullopt;
    unsigned long long pid = 0;
    for (const wchar_t c : name.substr(0, dash)) {
        if (c < L'0' || c > L'9') return std::nullopt;
        pid = pid * 10 + static_cast<unsigned>(c - L'0');
    }
    return pid > 0 && pid <= 0xFFFFFFFFull ? std::optional<DWORD>(static_cast<DWORD>(pid)) : std::nullopt;
}

bool ProcessRuns(DWORD pid) {
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return ::GetLastError() != ERROR_INVALID_PARAMETER;  // access denied: it runs
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
}

// A folder left behind: its process has ended and nobody holds it open.
// Only real folders of ours are removed, never what a link points to.
void RemoveFoldersOfEndedProcesses(const std::wstring& base) {
    WIN32_FIND_DATAW entry{};
    HANDLE find = ::FindFirstFileW((base + L"\\zveklc-*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::optional<DWORD> pid = OwnerOf(entry.cFileName);
        if (!pid || *pid == ::GetCurrentProcessId() || !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || ProcessRuns(*pid))
            continue;
        const std::wstring path = base + L"\\" + entry.cFileName;
        // Shared with nobody: fails while the owner (or anyone) has it open.
        HANDLE probe = ::CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (probe == INVALID_HANDLE_VALUE) continue;
        ::CloseHandle(probe);
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(path), ignored);
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
}

struct PrivateDir {
    std::mutex mutex;
    std::string path;
    HANDLE lock = INVALID_HANDLE_VALUE;  // held while the folder is ours

    ~PrivateDir() { Remove(); }

    void Remove() {
        if (lock != INVALID_HANDLE_VALUE) ::CloseHandle(std::exchange(lock, INVALID_HANDLE_VALUE));
        if (path.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(FsPath(path), ec);
        path.clear();
    }

    const std::string& Get();
};

PrivateDir& Dir() {
    static PrivateDir dir;  // destroyed, and so removed, at normal exit
    return dir;
}

// Runs on a thread of its own when the console is interrupted or closed;
// the default handler after it ends the process. It must not wait for the
// folder's mutex: the thread holding it may never get to run again.
BOOL WINAPI RemoveOnConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT ||
        event == CTRL_SHUTDOWN_EVENT) {
        PrivateDir& dir = Dir();
        if (dir.mutex.try_lock()) {
            dir.Remove();
            dir.mutex.unlock();
        }
    }
    return FALSE;
}

const std::string& PrivateDir::Get() {
    if (!path.empty()) return path;
    std::wstring base(MAX_PATH + 1, L'\0');
    const DWORD length = ::GetTempPathW(static_cast<DWORD>(base.size()), base.data());
    if (length == 0 || length > base.size())
        throw FileError("一時フォルダがありません（" + ErrorText(::GetLastError()) + "）");
    base.resize(length);
    while (base.size() > 3 && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();
    RemoveFoldersOfEndedProcesses(base);

    const std::wstring prefix = base + L"\\" + std::wstring(kPrefix) + std::to_wstring(::GetCurrentProcessId()) + L"-";
    for (int attempt = 0;; ++attempt) {
        const std::wstring candidate = prefix + RandomPart();
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            lock = ::CreateFileW(candidate.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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

}  // namespace

std::string PrivateTempDir() {
    PrivateDir& dir = Dir();
    std::lock_guard lock(dir.mutex);
    return dir.Get();
}

std::string UniqueTempFile(std::string_view suffix) {
    if (suffix.find_first_of("/\\:") != std::string_view::npos)
        throw std::invalid_argument("a file-name suffix holds no folder");
    PrivateDir& dir = Dir();
    std::lock_guard lock(dir.mutex);
    const std::string folder = dir.Get();
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

void RemovePrivateTempDir() {
    PrivateDir& dir = Dir();
    std::lock_guard lock(dir.mutex);
    dir.Remove();
}

}  // namespace zvek
