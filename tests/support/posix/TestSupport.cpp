// The POSIX side of the test support: folders, pipes, the environment,
// running the command-line program, iconv.
#include "TestSupport.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <future>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zvek::test {

TempDir::TempDir() {
    std::string name = (std::filesystem::temp_directory_path() / "zveklc-test-XXXXXX").string();
    if (!::mkdtemp(name.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = name;
}

std::string MakeFifo(const std::filesystem::path& path) {
    if (::mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("cannot make a pipe");
    return path.string();
}

bool ReturnsWithoutWaitingOn(const std::vector<std::string>& fifos, const std::function<void()>& call) {
    auto done = std::async(std::launch::async, call);
    if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) return done.get(), true;
    // Opened for both, a pipe lets a waiting reader or writer through at once.
    for (const std::string& fifo : fifos) {
        const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        char drain[4096];
        while (fd >= 0 && ::read(fd, drain, sizeof drain) > 0) {}
        if (fd >= 0) ::close(fd);
    }
    done.wait();
    return false;
}

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value->c_str(), 1);
    else ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
}

const bool kLinuxDesktop = true;

UserHome::UserHome(const std::filesystem::path& home)
    : home_("HOME", home.string()), settings_("XDG_CONFIG_HOME", (home / ".config").string()) {}

UserHome::~UserHome() = default;

std::filesystem::path FirefoxProfiles(const std::filesystem::path& home) { return home / ".mozilla/firefox"; }

std::vector<std::string> CliCommand() {
    std::vector<std::string> command;
    if (const char* runner = std::getenv("ZVEKLC_CLI_RUNNER"); runner && *runner) {
        std::istringstream words(runner);
        for (std::string word; words >> word;) command.push_back(word);
    }
    const char* program = std::getenv("ZVEKLC_CLI_PROGRAM");
    command.push_back(program && *program ? program : ZVEKLC_CLI_PATH);
    return command;
}

bool CliIsWindowsProgram() { return CliCommand().back().ends_with(".exe"); }

CliResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& cwd, std::string_view input,
                 const std::string& stdoutTo, std::uint64_t maxFileBytes) {
    TempDir io;
    WriteBytes(io / "in", input);
    std::vector<std::string> all = CliCommand();
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string in = io / "in", err = io / "err";
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) throw std::runtime_error("pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int inFd = ::open(in.c_str(), O_RDONLY);
        const int outFd = stdoutTo.empty() ? pipeFds[1] : ::open(stdoutTo.c_str(), O_WRONLY | O_CREAT, 0600);
        const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT, 0600);
        if (inFd < 0 || outFd < 0 || errFd < 0 || ::dup2(inFd, 0) < 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0 ||
            ::chdir(cwd.c_str()) != 0)
            _exit(127);
        ::close(pipeFds[0]);
        if (maxFileBytes > 0) {
            // Past the limit a write fails with EFBIG, as on a full disk.
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{maxFileBytes, maxFileBytes};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::execvp(argv[0], argv.data());
        _exit(127);
    }
    ::close(pipeFds[1]);
    CliResult result;
    char buffer[65536];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;)
        if (n > 0) result.out.append(buffer, static_cast<std::size_t>(n));
        else if (errno != EINTR) break;
    ::close(pipeFds[0]);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) throw std::runtime_error("cannot run " + all[0]);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = ReadBytes(err);
    return result;
}

std::string Iconv(const char* to, const char* from, std::string_view text) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* op = out.data();
    std::size_t outLeft = out.size();
    const std::size_t rc = iconv(cd, &in, &inLeft, &op, &outLeft);
    iconv(cd, nullptr, nullptr, &op, &outLeft);  // the closing shift sequence, if any
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) throw std::runtime_error("iconv failed");
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace zvek::test
