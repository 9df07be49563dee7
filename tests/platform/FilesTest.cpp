// Saving and reading files where the file is a pipe, and where the name is
// taken while the save runs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <future>
#include <set>

#include "TestSupport.h"
#include "platform/Files.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;

std::set<std::string> Listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

class FilesTest : public ::testing::Test {
protected:
    void TearDown() override { SetBeforePublishHook(nullptr); }
    test::TempDir dir;
};

// A pipe is written through, not replaced; read, it shows no size beforehand,
// and what comes through it counts against the limit.
TEST_F(FilesTest, PipesAreWrittenThroughAndReadUpToTheLimit) {
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
    EXPECT_EQ(fs::symlink_status(path).type(), fs::file_type::fifo);
    EXPECT_EQ(Listing(dir.path()), std::set<std::string>{"pipe.lyr"});  // no temporary file left
    auto writer = std::async(std::launch::async, [&] { WriteFileAtomic(path, bytes); });
    EXPECT_THROW(ReadFileBytes(path, bytes.size() - 1), FileError);
}

TEST_F(FilesTest, NewFilesNeverReplaceWhatAppearsBeforeThePublish) {
    const std::string target = dir / "song.lyr", victim = dir / "victim";
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"a file", [&] { test::WriteBytes(target, "theirs"); }},
        {"a link to another file", [&] { fs::create_symlink(victim, target); }},
        {"a dangling link", [&] { fs::create_symlink(dir / "nowhere", target); }},
        {"a folder", [&] { fs::create_directory(target); }},
    };
    for (const bool beforeTheCall : {false, true}) {
        for (const auto& [what, appear] : cases) {
            SCOPED_TRACE(std::string(what) + (beforeTheCall ? " already there" : " appearing during the save"));
            test::WriteBytes(victim, "victim");
            if (beforeTheCall) appear();
            else SetBeforePublishHook([&](const std::string&) { appear(); });
            EXPECT_THROW(WriteNewFile(target, "mine"), FileExistsError);
            SetBeforePublishHook(nullptr);
            EXPECT_EQ(test::ReadBytes(victim), "victim");
            EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"song.lyr", "victim"}));  // no temporary file left
            EXPECT_TRUE(!fs::is_regular_file(fs::symlink_status(target)) || test::ReadBytes(target) == "theirs");
            fs::remove_all(target);
        }
    }
    // A free name is taken, with the usual permissions.
    const mode_t mask = ::umask(022);
    WriteNewFile(target, "mine");
    ::umask(mask);
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0644));
}

}  // namespace
}  // namespace zvek
