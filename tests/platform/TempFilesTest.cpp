#include "platform/TempFiles.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "LoopbackServer.h"
#include "TestSupport.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;

class TempFilesTest : public ::testing::Test {
protected:
    TempFilesTest() { RemovePrivateTempDir(); }
    ~TempFilesTest() override { RemovePrivateTempDir(); }

    // The names of the private folders in `base` ("zveklc-PID-XXXXXX").
    std::vector<std::string> Folders() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(base.path())) {
            const std::string name = entry.path().filename();
            if (name.starts_with("zveklc-") && name.size() > 7 && name[7] >= '0' && name[7] <= '9')
                names.push_back(name);
        }
        return names;
    }

    test::TempDir base;
    test::ScopedEnv tmp{"TMPDIR", base.path().string()};
};

TEST_F(TempFilesTest, FilesGetDistinctNamesInOnePrivateFolderThatRemovingTakesAway) {
    const std::string folder = PrivateTempDir();
    EXPECT_EQ(fs::path(folder).parent_path(), base.path());
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
    EXPECT_EQ(PrivateTempDir(), folder);  // made once
    const fs::path first = UniqueTempFile(".htm"), second = UniqueTempFile(".htm");
    EXPECT_NE(first, second);
    for (const fs::path& file : {first, second}) {
        EXPECT_EQ(file.parent_path(), folder);
        EXPECT_EQ(file.extension(), ".htm");
        EXPECT_TRUE(fs::is_regular_file(file) && fs::file_size(file) == 0);
    }
    EXPECT_THROW(UniqueTempFile("/../x"), std::invalid_argument);

    test::WriteBytes(first, "page");
    fs::create_directory(folder + "/sub");
    test::WriteBytes(folder + "/sub/inner", "x");
    RemovePrivateTempDir();
    EXPECT_FALSE(fs::exists(folder));
    const std::string again = PrivateTempDir();  // the next use starts afresh
    EXPECT_TRUE(fs::is_directory(again));
    EXPECT_NE(again, folder);
}

TEST_F(TempFilesTest, FolderGoesWithItsProcessButNotWithAForkedChild) {
    const std::string mine = PrivateTempDir();
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Leaves the inherited folder alone; the one it makes goes when it exits normally.
        RemovePrivateTempDir();
        const std::string own = fs::path(UniqueTempFile()).parent_path();
        (void)!::write(fds[1], own.data(), own.size());
        std::exit(0);
    }
    ::close(fds[1]);
    char buffer[4096];
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0 && n > 0);
    const std::string theirs(buffer, static_cast<std::size_t>(n));
    EXPECT_NE(theirs, mine);
    EXPECT_FALSE(fs::exists(theirs));
    EXPECT_TRUE(fs::is_directory(mine));
}

// What a killed or crashed process left is removed by the next process that
// makes its folder; everything that is not plainly such a folder stays.
TEST_F(TempFilesTest, FoldersOfEndedProcessesGoWhenTheNextFolderIsMade) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string ended = std::to_string(child), alive = std::to_string(::getppid());
    enum Kind { Folder, Locked, File, Link, Foreign };
    const struct Case { std::string name; Kind kind; bool removed; } cases[] = {
        {"zveklc-" + ended + "-a1B2c3", Folder, true},
        {"zveklc-" + alive + "-a1B2c3", Folder, false},  // its process still runs
        {"zveklc-" + ended + "-Lock01", Locked, false},  // an owner we cannot see holds it
        {"zveklc-" + ended + "-File01", File, false},
        {"zveklc-" + ended + "-Link01", Link, false},
        {"zveklc-" + ended + "-Other1", Foreign, false},  // another user's
        {"zveklc-" + ended, Folder, false},               // other names of ours
        {"zveklc-" + ended + "-toolong", Folder, false},
        {"zveklc-test-a1B2c3", Folder, false},
        {"other-" + ended + "-a1B2c3", Folder, false},
    };
    const fs::path target = base.path() / "target";
    fs::create_directory(target);
    test::WriteBytes(target / "keep", "x");
    int lockFd = -1;
    for (const Case& c : cases) {
        const fs::path path = base.path() / c.name;
        if (c.kind == File) test::WriteBytes(path, "x");
        if (c.kind == Link) fs::create_directory_symlink(target, path);
        if (c.kind == File || c.kind == Link) continue;
        fs::create_directories(path / "sub");
        test::WriteBytes(path / "sub/page.htm", "x");
        if (c.kind == Locked) {
            lockFd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ASSERT_EQ(::flock(lockFd, LOCK_EX | LOCK_NB), 0);
        }
        if (c.kind == Foreign && ::geteuid() == 0) {
            ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        }
    }
    PrivateTempDir();
    for (const Case& c : cases) {
        if (c.kind == Foreign && ::geteuid() != 0) continue;
        EXPECT_EQ(fs::exists(fs::symlink_status(base.path() / c.name)), !c.removed) << c.name;
    }
    EXPECT_TRUE(fs::exists(target / "keep"));
    ::close(lockFd);
}

// Stopped in the middle of a download, with the partial page in its folder,
// the program still takes the folder with it and ends by the signal.
TEST_F(TempFilesTest, TermAndIntRemoveTheFolderOfAStoppedDownload) {
    test::LoopbackServer server;
    server.Hold("/song.htm", "never", "<html></html>");
    test::TempDir work, runtime;
    test::ScopedEnv xdg{"XDG_RUNTIME_DIR", runtime.path().string()};
    test::ScopedEnv noProxy{"http_proxy", std::nullopt};
    test::WriteBytes(work / "song.TagLyr", "[TagLyr]\r\nTagVer=1000\r\nLyrFile=song.lyr\r\n\r\n[Text]\r\n");
    std::vector<std::string> args = {ZVEKLC_CLI_PATH, "untag", "-q", "-r", server.Url("/song.htm"),
                                     "-o", "song.lyr", "song.TagLyr"};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string errPath = work / "err";
    std::size_t requests = 0;
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // As from a terminal, whatever this test program was started with.
            ::signal(SIGTERM, SIG_DFL);
            ::signal(SIGINT, SIG_DFL);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (err >= 0 && ::dup2(err, 1) >= 0 && ::dup2(err, 2) >= 0 && ::chdir(work.path().c_str()) == 0)
                ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        const bool asked = server.WaitForRequests("/song.htm", ++requests, std::chrono::seconds(5));
        const std::vector<std::string> during = Folders();
        ::kill(child, asked ? sig : SIGKILL);
        int status = 0;
        pid_t done = 0;
        for (int i = 0; i < 500 && (done = ::waitpid(child, &status, WNOHANG)) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (done == 0) {  // it never ended: the check below fails, the test goes on
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
        }
        ASSERT_TRUE(asked) << test::ReadBytes(errPath);
        ASSERT_EQ(during.size(), 1u);
        EXPECT_TRUE(during[0].starts_with("zveklc-" + std::to_string(child) + "-")) << during[0];
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        for (const auto& left : Folders())
            for (const auto& entry : fs::recursive_directory_iterator(base.path() / left))
                ADD_FAILURE() << "left behind: " << entry.path();
        EXPECT_TRUE(Folders().empty());
    }
}

}  // namespace
}  // namespace zvek
