// Saving where the name is taken while the save runs, names as long as the
// file system allows, and the program's private temporary folder: alike on
// every system.
#include <functional>

#include "platform/FilesFixture.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;

using FilesTest = FilesFixture;

TEST_F(FilesTest, NewFilesNeverReplaceWhatAppearsBeforeThePublish) {
    const std::string target = dir / "song.lyr", victim = dir / "victim";
    std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"a file", [&] { test::WriteBytes(target, "theirs"); }}};
    // Links where the system lets this user make them.
    std::error_code noLinks;
    fs::create_symlink(dir.path() / "probe", dir.path() / "link-probe", noLinks);
    if (!noLinks) {
        fs::remove(dir.path() / "link-probe");
        cases.push_back({"a link to another file", [&] { fs::create_symlink(victim, target); }});
        cases.push_back({"a dangling link", [&] { fs::create_symlink(dir.path() / "nowhere", target); }});
    }
    for (const bool beforeTheCall : {false, true}) {
        for (const auto& [what, appear] : cases) {
            SCOPED_TRACE(std::string(what) + (beforeTheCall ? " already there" : " appearing during the save"));
            test::WriteBytes(victim, "victim");
            if (beforeTheCall) appear();
            else SetBeforePublishHook([&](const std::string&) { appear(); });
            EXPECT_THROW(WriteNewFile(target, "mine"), FileExistsError);
            SetBeforePublishHook(nullptr);
            EXPECT_EQ(test::ReadBytes(victim), "victim");
            EXPECT_EQ(Names(), (std::set<std::string>{"song.lyr", "victim"}));  // no temporary file left
            EXPECT_TRUE(!fs::is_regular_file(fs::symlink_status(target)) || test::ReadBytes(target) == "theirs");
            fs::remove_all(target);
        }
    }
    WriteNewFile(target, "mine");
    EXPECT_EQ(test::ReadBytes(target), "mine");
}

// The longest name a folder takes can be saved and replaced, whatever the
// path's length (on Windows well past the old 260 characters).
TEST_F(FilesTest, EveryNameTheFileSystemAllowsCanBeSaved) {
    const std::string longest = dir / std::string(255, 'n');
    EXPECT_NO_THROW(WriteFileAtomic(longest, "1"));
    EXPECT_NO_THROW(WriteFileAtomic(longest, "2"));
    EXPECT_EQ(ReadFileBytes(longest), "2");
    EXPECT_TRUE(FileExists(longest));
    EXPECT_THROW(WriteNewFile(longest, "3"), FileExistsError);
    EXPECT_EQ(MappedFile(longest).Bytes(), "2");
    EXPECT_TRUE(RemoveFile(longest));
    EXPECT_FALSE(NameTaken(longest));
}

// One private folder, made on first use in the temporary folder; its files
// have names of their own, and removing it takes them, after which the next
// use makes a new one.
TEST_F(FilesTest, ThePrivateFolderHoldsUniqueFilesUntilRemoved) {
    const std::string folder = PrivateTempDir();
    EXPECT_EQ(Names("zveklc-"), std::set<std::string>{ExtractFileName(folder)});
    const std::string file = UniqueTempFile(".htm");
    EXPECT_EQ(ExtractFileDir(file), folder);
    EXPECT_EQ(ExtractFileExt(file), ".htm");
    EXPECT_NE(UniqueTempFile(".htm"), file);
    EXPECT_TRUE(FileExists(file));
    EXPECT_THROW(UniqueTempFile("/../x"), std::invalid_argument);

    RemovePrivateTempDir();
    EXPECT_FALSE(fs::exists(FsPath(folder)));
    EXPECT_NE(PrivateTempDir(), folder);
}

}  // namespace
}  // namespace zvek
