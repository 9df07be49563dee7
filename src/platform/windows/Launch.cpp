#include "platform/Launch.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/windows/Win32.h"
#include "platform/Files.h"
#include "platform/windows/WideText.h"

// A Windows program gets one command line and splits it itself; nearly all
// split it as CommandLineToArgvW does, so each argument is quoted by those
// rules and arrives as it was. No shell is involved: "&", "|", "^" and "%"
// mean nothing here. A batch file would be run by cmd.exe, which splits
// by its own rules, so one is never started.

namespace zvek {

namespace {

// One argument as CommandLineToArgvW reads it back: quoted when empty or
// when it holds a blank or a quote; inside quotes, backslashes are literal
// except before a quote (and before the closing quote), where they double.
void AppendQuoted(std::wstring& line, std::wstring_view arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') line.append(backslashes * 2 + 1, L'\\');
        else line.append(backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

// argv[0] as a program file: a name without a folder is looked up in PATH
// only (never first in the working folder, as CreateProcessW would).
std::wstring ProgramFile(const std::string& name) {
    std::wstring program = Wide(name);
    if (name.find_first_of("/\\:") == std::string::npos) {
        const DWORD size = ::GetEnvironmentVariableW(L"PATH", nullptr, 0);
        std::wstring path(size, L'\0');
        path.resize(::GetEnvironmentVariableW(L"PATH", path.data(), size));
        wchar_t found[32768];
        if (path.empty() || !::SearchPathW(path.c_str(), program.c_str(), L".exe", 32768, found, nullptr)) return {};
        program = found;
    }
    const std::size_t dot = program.rfind(L'.');
    if (dot != std::wstring::npos) {
        std::wstring ext = program.substr(dot);
        for (wchar_t& c : ext) c = static_cast<wchar_t>(::towlower(c));
        if (ext == L".bat" || ext == L".cmd") return {};
    }
    return program;
}

// The only handles our programs make inheritable are made here; holding
// this while they are, until the child has its copies, keeps one child's
// pipe out of another child started at the same moment.
std::mutex inheritMutex;

struct Process {
    HANDLE process = nullptr;
    ~Process() {
        if (process) ::CloseHandle(process);
    }
};

// An inheritable copy of `handle` for a child, closed with the object.
struct InheritableCopy {
    HANDLE copy = nullptr;
    explicit InheritableCopy(HANDLE handle) {
        if (handle && handle != INVALID_HANDLE_VALUE)
            ::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, TRUE,
                              DUPLICATE_SAME_ACCESS);
    }
    ~InheritableCopy() {
        if (copy) ::CloseHandle(copy);
    }
};

// Starts the program with standard input from NUL. With `output` its
// standard output goes there and its standard error to NUL; otherwise a
// detached program gets NUL for both, and a waited-for one writes where we
// do.
bool Spawn(const std::vector<std::string>& argv, bool detached, Process& started, HANDLE output = nullptr) {
    if (argv.empty() || argv[0].empty()) return false;
    const std::wstring program = ProgramFile(argv[0]);
    if (program.empty()) return false;
    std::wstring line;
    // The program's name is read up to the next quote, with no escapes.
    line += L'"';
    line += Wide(argv[0]);
    line += L'"';
    for (std::size_t i = 1; i < argv.size(); ++i) {
        line += L' ';
        AppendQuoted(line, Wide(argv[i]));
    }

    std::lock_guard lock(inheritMutex);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE null = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                OPEN_EXISTING, 0, nullptr);
    if (null == INVALID_HANDLE_VALUE) return false;
    const bool ours = !output && !detached;
    InheritableCopy out(output ? output : ours ? ::GetStdHandle(STD_OUTPUT_HANDLE) : nullptr);
    InheritableCopy err(ours ? ::GetStdHandle(STD_ERROR_HANDLE) : nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = null;
    startup.hStdOutput = out.copy ? out.copy : null;
    startup.hStdError = err.copy ? err.copy : null;
    PROCESS_INFORMATION info{};
    const DWORD flags = CREATE_UNICODE_ENVIRONMENT | (detached ? CREATE_NEW_PROCESS_GROUP | DETACHED_PROCESS : 0);
    const BOOL ok = ::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                     &startup, &info);
    ::CloseHandle(null);
    if (!ok) return false;
    ::CloseHandle(info.hThread);
    started.process = info.hProcess;
    return true;
}

int ExitStatus(HANDLE process) {
    DWORD code = 0;
    if (!::GetExitCodeProcess(process, &code)) return -1;
    // An exception or a kill ends a program with a status code (0xC...);
    // that is no exit of its own.
    return code >= 0xC0000000u ? -1 : static_cast<int>(code);
}

}  // namespace

bool StartProgram(const std::vector<std::string>& argv) {
    Process started;
    return Spawn(argv, true, started);
}

int RunProgram(const std::vector<std::string>& argv) {
    Process started;
    if (!Spawn(argv, false, started)) return -1;
    ::WaitForSingleObject(started.process, INFINITE);
    return ExitStatus(started.process);
}

std::optional<std::string> RunProgramOutput(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                                            std::size_t limit) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, nullptr, 0)) return std::nullopt;
    Process started;
    const bool spawned = Spawn(argv, false, started, writeEnd);
    ::CloseHandle(writeEnd);  // the child has its own copy: its end ends the output
    if (!spawned) {
        ::CloseHandle(readEnd);
        return std::nullopt;
    }

    // An anonymous pipe cannot be waited on with a time-out, so a thread
    // reads it. Ending the program ends the reading, unless a program it
    // started holds the pipe on: the thread is then left to finish by
    // itself, with the state it shares.
    struct Reading {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false, complete = false;
        std::string out;
    };
    auto reading = std::make_shared<Reading>();
    std::thread reader([reading, readEnd, limit] {
        std::string out;
        bool complete = false;
        char buffer[4096];
        for (DWORD n = 0;;) {
            if (!::ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr)) {
                complete = ::GetLastError() == ERROR_BROKEN_PIPE;
                break;
            }
            if (out.size() + n > limit) break;
            out.append(buffer, n);
        }
        ::CloseHandle(readEnd);
        std::lock_guard lock(reading->mutex);
        reading->out = std::move(out);
        reading->complete = complete;
        reading->finished = true;
        reading->done.notify_one();
    });
    std::unique_lock lock(reading->mutex);
    if (!reading->done.wait_for(lock, timeout, [&] { return reading->finished; }) || !reading->complete) {
        ::TerminateProcess(started.process, 1);
        reading->done.wait_for(lock, std::chrono::seconds(1), [&] { return reading->finished; });
    }
    const bool complete = reading->finished && reading->complete;
    if (reading->finished) {
        lock.unlock();
        reader.join();
    } else {
        lock.unlock();
        reader.detach();
    }
    ::WaitForSingleObject(started.process, 5000);
    if (!complete || ExitStatus(started.process) != 0) return std::nullopt;
    return std::move(reading->out);
}

}  // namespace zvek
