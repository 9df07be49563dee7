#include "platform/Launch.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

namespace zvek {

namespace {

// With `output` >= 0 the program's standard output goes there and its
// standard error is dropped.
pid_t Spawn(const std::vector<std::string>& argv, bool ownSession, int output = -1) {
    if (argv.empty() || argv[0].empty()) return -1;
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&files);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    if (output >= 0) {
        posix_spawn_file_actions_adddup2(&files, output, 1);
        posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    }
    if (ownSession) posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, args[0], &files, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    return error == 0 ? pid : -1;
}

int Wait(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

bool StartProgram(const std::vector<std::string>& argv) {
    const pid_t pid = Spawn(argv, true);
    if (pid < 0) return false;
    // Somebody has to collect its exit status, or it lingers as a zombie.
    std::thread([pid] { Wait(pid); }).detach();
    return true;
}

int RunProgram(const std::vector<std::string>& argv) {
    const pid_t pid = Spawn(argv, false);
    return pid < 0 ? -1 : Wait(pid);
}

std::optional<std::string> RunProgramOutput(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                                            std::size_t limit) {
    // Close-on-exec, so programs started meanwhile by other threads never
    // hold the write end open; dup2 clears the flag on the child's copy.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    const pid_t pid = Spawn(argv, false, fds[1]);
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return std::nullopt;
    }

    using Clock = std::chrono::steady_clock;
    std::string out;
    bool complete = false;
    const Clock::time_point deadline = Clock::now() + timeout;
    std::array<char, 4096> buffer;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t n = ::read(fds[0], buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        if (n == 0) {
            complete = true;
            break;
        }
        if (out.size() + static_cast<std::size_t>(n) > limit) break;
        out.append(buffer.data(), static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (!complete) ::kill(pid, SIGKILL);  // our own child, still unreaped
    if (Wait(pid) != 0 || !complete) return std::nullopt;
    return out;
}

}  // namespace zvek
