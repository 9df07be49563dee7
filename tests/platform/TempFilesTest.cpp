#include "platform/TempFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "TestSupport.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;

class TempFilesTest : public ::testing::Test {
protected:
    TempFilesTest() { RemovePrivateTempDir(); }
    ~TempFilesTest() override { RemovePrivateTempDir(); }

    test::TempDir base;
    test::ScopedEnv tmp{"TMPDIR", base.path().string()};
};

TEST_F(TempFilesTest, FilesGetDistinctNamesInOnePrivateFolder) {
    const std::string folder = PrivateTempDir();
    EXPECT_EQ(fs::path(folder).parent_path(), base.path());
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(PrivateTempDir(), folder);  // made once

    std::set<std::string> names;
    for (int i = 0; i < 50; ++i) {
        const std::string file = UniqueTempFile(".htm");
        EXPECT_EQ(fs::path(file).parent_path(), folder);
        EXPECT_EQ(fs::path(file).extension(), ".htm");
        EXPECT_TRUE(fs::is_regular_file(file));
        EXPECT_EQ(fs::file_size(file), 0u);
        names.insert(file);
    }
    EXPECT_EQ(names.size(), 50u);
    EXPECT_THROW(UniqueTempFile("/../x"), std::invalid_argument);
}

TEST_F(TempFilesTest, RemovingTakesTheContentsAndTheNextUseStartsAfresh) {
    const std::string folder = PrivateTempDir();
    test::WriteBytes(UniqueTempFile(".htm"), "page");
    fs::create_directory(folder + "/sub");
    test::WriteBytes(folder + "/sub/inner", "x");
    RemovePrivateTempDir();
    EXPECT_FALSE(fs::exists(folder));
    const std::string again = PrivateTempDir();
    EXPECT_TRUE(fs::is_directory(again));
    EXPECT_NE(again, folder);
}

TEST_F(TempFilesTest, FolderGoesWithItsProcessButNotWithAForkedChild) {
    const std::string mine = PrivateTempDir();
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A child that inherited the parent's folder leaves it alone, and
        // the folder it makes for itself goes when it exits normally.
        ::close(pipeFds[0]);
        RemovePrivateTempDir();
        const std::string own = UniqueTempFile();
        (void)!::write(pipeFds[1], own.data(), own.size());
        ::close(pipeFds[1]);
        std::exit(0);
    }
    ::close(pipeFds[1]);
    char buffer[4096];
    const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    ::close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_GT(n, 0);
    const fs::path childFile(std::string(buffer, static_cast<std::size_t>(n)));
    EXPECT_NE(childFile.parent_path(), mine);
    EXPECT_FALSE(fs::exists(childFile.parent_path()));
    EXPECT_TRUE(fs::is_directory(mine));
}

}  // namespace
}  // namespace zvek
