#include "platform/Launch.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace zvek {

namespace {

pid_t Spawn(const std::vector<std::string>& argv, bool ownSession) {
    if (argv.empty() || argv[0].empty()) return -1;
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&files);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
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

}  // namespace zvek
