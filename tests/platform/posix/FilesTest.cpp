// Saving and reading files where the file is a pipe, a device or a link;
// the permissions of new files; the private temporary folder across fork
// and signals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <set>
#include <thread>

#include "LoopbackServer.h"
#include "TestSupport.h"
#include "platform/FilesFixture.h"
#include "platform/Launch.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;

using PosixFilesTest = FilesFixture;

// A pipe is written through, not replaced; read, it shows no size beforehand,
// and what comes through it counts against the limit.
TEST_F(PosixFilesTest, PipesAreWrittenThroughAndReadUpToTheLimit) {
    const std::string path = dir / "pipe.lyr", bytes(1000, 'x');  // fits the pipe: read once the writer is gone
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    // A reader that is there first, so that a writer does not wait for one
    // and a regression that replaces the pipe cannot hang the test.
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_NO_THROW(WriteFileAtomic(path, bytes));
    std::string got(2 * bytes.size(), '\0');
    got.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::read(reader, got.data(), got.size()))));
    ::close(reader);
    EXPECT_EQ(got, bytes);
    EXPECT_EQ(Names(), std::set<std::string>{"pipe.lyr"});  // no temporary file left
    auto writer = std::async(std::launch::async, [&] { WriteFileAtomic(path, bytes); });
    EXPECT_THROW(ReadFileBytes(path, bytes.size() - 1), FileError);
}

// A new file gets the usual permissions, less the umask.
TEST_F(PosixFilesTest, NewFilesGetTheUsualPermissions) {
    const std::string target = dir / "song.lyr";
    const mode_t mask = ::umask(022);
    WriteNewFile(target, "mine");
    ::umask(mask);
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0644));
}

// Files from outside are read only when they are regular files, at once
// even from a pipe nobody writes to; a file of our own is written only over
// a regular file (through a link to one), never over a pipe, a device or a
// dangling link.
TEST_F(PosixFilesTest, OutsideAndOwnFilesAreRegularFilesOnly) {
    const std::string file = dir.Write("file", "1234");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::vector<std::string> others = {"fifo", "to-fifo", "to-nowhere"};
    if (::mknod((dir / "null").c_str(), S_IFCHR | 0600, ::makedev(1, 3)) == 0)
        others.insert(others.end(), {"null", "to-null"});
    for (const char* target : {"fifo", "null", "nowhere", "file"})
        fs::create_symlink(dir / target, dir / (std::string("to-") + target));
    for (const std::string& name : others) {
        EXPECT_THROW(ReadRegularFile(dir / name, 100), FileError) << name;
        EXPECT_THROW(WriteOwnFile(dir / name, "x"), FileError) << name;
        EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(dir / name))) << name;
    }
    EXPECT_THROW(ReadRegularFile(file, 3), FileError);
    EXPECT_EQ(ReadRegularFile(dir / "to-file", 4), "1234");
    WriteOwnFile(dir / "to-file", "mine");
    EXPECT_TRUE(fs::is_symlink(dir / "to-file"));
    EXPECT_EQ(test::ReadBytes(file), "mine");
    // A mapped file is unmapped with its last user.
    const std::string mapped = dir.Write("mapped", "abc");
    const auto inMaps = [&mapped] { return test::ReadBytes("/proc/self/maps").find(mapped) != std::string::npos; };
    {
        const MappedFile view(mapped);
        EXPECT_TRUE(view.Bytes() == "abc" && inMaps());
    }
    EXPECT_FALSE(inMaps());
    // A file that says it is empty but is not, as the kernel's are, is read.
    EXPECT_EQ(MappedFile("/proc/self/stat").Bytes().substr(0, 3), std::to_string(::getpid()).substr(0, 3));
}

// Signals that interrupt the wait for a program's output (a timer, a
// terminal resized) lose none of it.
TEST(PosixLaunchTest, SignalsDuringTheWaitLoseNoOutput) {
    struct sigaction quiet {
    }, before{};
    quiet.sa_handler = [](int) {};  // no SA_RESTART: poll and read return EINTR
    ASSERT_EQ(::sigaction(SIGALRM, &quiet, &before), 0);
    const itimerval every{{0, 2000}, {0, 2000}}, off{};
    ::setitimer(ITIMER_REAL, &every, nullptr);
    const auto out = RunProgramOutput({"/bin/sh", "-c", "sleep 0.2; printf hello; sleep 0.1; printf ' again'"},
                                      std::chrono::seconds(10), 100);
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &before, nullptr);
    EXPECT_EQ(out, "hello again");
}

// One private folder per process, the user's alone, which a forked child
// neither uses nor takes away.
TEST_F(PosixFilesTest, EachProcessHasItsOwnPrivateFolder) {
    const std::string folder = PrivateTempDir();
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
    const fs::path file = UniqueTempFile(".htm");

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        RemovePrivateTempDir();
        std::exit(fs::path(UniqueTempFile()).parent_path() == folder ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(Names("zveklc-"), std::set<std::string>{fs::path(folder).filename()});  // the child's went with it
    EXPECT_TRUE(fs::exists(file));
}

// Stopped in the middle of a download, with the partial page in its folder,
// the program still takes the folder with it and ends by the signal.
TEST_F(PosixFilesTest, TermAndIntRemoveTheFolderOfAStoppedDownload) {
    test::LoopbackServer server;
    server.Hold("/song.htm", "never", "<html></html>");
    test::ScopedEnv runtime{"XDG_RUNTIME_DIR", dir.path().string()};
    test::ScopedEnv noProxy{"http_proxy", std::nullopt};
    const std::string tagFile = dir / "song.TagLyr", lyrics = dir / "song.lyr", url = server.Url("/song.htm");
    test::WriteBytes(tagFile, "[TagLyr]\r\nTagVer=1000\r\nLyrFile=song.lyr\r\n\r\n[Text]\r\n");
    for (std::size_t requests = 0; const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // As from a terminal, whatever this test program was started with.
            for (const int s : {SIGTERM, SIGINT}) ::signal(s, SIG_DFL);
            const sigset_t none{};
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::execl(ZVEKLC_CLI_PATH, ZVEKLC_CLI_PATH, "untag", "-q", "-r", url.c_str(), "-o", lyrics.c_str(),
                    tagFile.c_str(), nullptr);
            ::_exit(127);
        }
        const bool asked = server.WaitForRequests("/song.htm", ++requests, std::chrono::seconds(5));
        const std::size_t during = Names("zveklc-" + std::to_string(child) + "-").size();
        ::kill(child, asked ? sig : SIGKILL);
        int status = 0;
        pid_t done = 0;
        for (int i = 0; i < 500 && (done = ::waitpid(child, &status, WNOHANG)) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (done == 0 && ::kill(child, SIGKILL) == 0) ::waitpid(child, &status, 0);  // it never ended: fails below
        ASSERT_TRUE(asked);
        EXPECT_EQ(during, 1u);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_EQ(Names("zveklc-"), std::set<std::string>{});  // nothing of the partial page left
    }
}

}  // namespace
}  // namespace zvek
