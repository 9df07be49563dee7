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

    // The private folders in `base`; the tests' own folders there have other names.
    std::vector<std::string> Folders() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(base.path()))
            if (entry.path().filename().string().starts_with("zveklc-")) names.push_back(entry.path().filename());
        return names;
    }

    test::TempDir base;
    test::ScopedEnv tmp{"TMPDIR", base.path().string()};
};

// One private folder per process, which a forked child neither uses nor
// takes away; removing it takes its files, and the next use makes a new one.
TEST_F(TempFilesTest, EachProcessHasItsOwnPrivateFolder) {
    const std::string folder = PrivateTempDir();
    EXPECT_EQ(fs::path(folder).parent_path(), base.path());
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
    const fs::path file = UniqueTempFile(".htm");
    EXPECT_EQ(file.parent_path(), folder);
    EXPECT_EQ(file.extension(), ".htm");
    EXPECT_THROW(UniqueTempFile("/../x"), std::invalid_argument);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        RemovePrivateTempDir();
        std::exit(fs::path(UniqueTempFile()).parent_path() == folder ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(Folders(), std::vector<std::string>{fs::path(folder).filename()});  // the child's went with it
    EXPECT_TRUE(fs::exists(file));

    RemovePrivateTempDir();
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_NE(PrivateTempDir(), folder);
}

// What a killed or crashed process left is removed by the next process that
// makes its folder; everything that is not plainly such a folder stays.
TEST_F(TempFilesTest, FoldersOfEndedProcessesGoWhenTheNextFolderIsMade) {
    const std::string ended = "zveklc-999999999";  // above any process number the system gives
    enum Kind { Folder, File, Link };
    const struct Case { std::string name; Kind kind; bool removed; } cases[] = {
        {ended + "-a1B2c3", Folder, true},
        {"zveklc-" + std::to_string(::getppid()) + "-a1B2c3", Folder, false},  // its process still runs
        {ended + "-Lock01", Folder, false},  // an owner we cannot see holds it
        {ended + "-File01", File, false},
        {ended + "-Link01", Link, false},
        {ended + "-Other1", Folder, ::geteuid() != 0},  // another user's, where we may give it away
        {ended, Folder, false},                        // other names of ours
        {ended + "-toolong", Folder, false},
    };
    const fs::path target = base.path() / "target";
    fs::create_directory(target);
    test::WriteBytes(target / "keep", "x");
    for (const Case& c : cases) {
        const fs::path path = base.path() / c.name;
        if (c.kind == File) test::WriteBytes(path, "x");
        else if (c.kind == Link) fs::create_directory_symlink(target, path);
        else fs::create_directories(path / "sub");
    }
    const int lockFd = ::open((base.path() / (ended + "-Lock01")).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(lockFd, LOCK_EX | LOCK_NB), 0);
    ASSERT_TRUE(::geteuid() != 0 || ::chown((base.path() / (ended + "-Other1")).c_str(), 65534, 65534) == 0);
    PrivateTempDir();
    for (const Case& c : cases)
        EXPECT_EQ(fs::exists(fs::symlink_status(base.path() / c.name)), !c.removed) << c.name;
    EXPECT_TRUE(fs::exists(target / "keep"));
    ::close(lockFd);
}

// Stopped in the middle of a download, with the partial page in its folder,
// the program still takes the folder with it and ends by the signal.
TEST_F(TempFilesTest, TermAndIntRemoveTheFolderOfAStoppedDownload) {
    test::LoopbackServer server;
    server.Hold("/song.htm", "never", "<html></html>");
    test::ScopedEnv runtime{"XDG_RUNTIME_DIR", base.path().string()};
    test::ScopedEnv noProxy{"http_proxy", std::nullopt};
    const std::string tagFile = base / "song.TagLyr", lyrics = base / "song.lyr", url = server.Url("/song.htm");
    test::WriteBytes(tagFile, "[TagLyr]\r\nTagVer=1000\r\nLyrFile=song.lyr\r\n\r\n[Text]\r\n");
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
            ::execl(ZVEKLC_CLI_PATH, ZVEKLC_CLI_PATH, "untag", "-q", "-r", url.c_str(), "-o", lyrics.c_str(),
                    tagFile.c_str(), nullptr);
            ::_exit(127);
        }
        const bool asked = server.WaitForRequests("/song.htm", ++requests, std::chrono::seconds(5));
        const std::vector<std::string> during = Folders();
        ::kill(child, asked ? sig : SIGKILL);
        int status = 0;
        pid_t done = 0;
        for (int i = 0; i < 500 && (done = ::waitpid(child, &status, WNOHANG)) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (done == 0 && ::kill(child, SIGKILL) == 0) ::waitpid(child, &status, 0);  // it never ended: fails below
        ASSERT_TRUE(asked);
        ASSERT_EQ(during.size(), 1u);
        EXPECT_TRUE(during[0].starts_with("zveklc-" + std::to_string(child) + "-")) << during[0];
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_EQ(Folders(), std::vector<std::string>{});  // nothing of the partial page left
    }
}

}  // namespace
}  // namespace zvek
