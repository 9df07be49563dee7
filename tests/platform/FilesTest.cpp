// Saving where the name is taken while the save runs, names as long as the
// file system allows, and the program's private temporary folder: alike on
// every system.
#ifdef _WIN32
#include "platform/windows/Win32.h"
#include "platform/windows/WideText.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <functional>

#include "platform/FilesFixture.h"
#include "platform/SettingsLocation.h"

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
    EXPECT_TRUE(RemoveFile(longest) && !NameTaken(longest));
}

// One private folder, made on first use in the temporary folder; its files
// have names of their own, and removing it takes them, after which the next
// use makes a new one.
TEST_F(FilesTest, ThePrivateFolderHoldsUniqueFilesUntilRemoved) {
    const std::string folder = PrivateTempDir();
    EXPECT_EQ(Names("zveklc-"), std::set<std::string>{ExtractFileName(folder)});
    const std::string file = UniqueTempFile(".htm");
    EXPECT_EQ(std::tuple(ExtractFileDir(file), ExtractFileExt(file)), std::tuple(folder, ".htm"));
    EXPECT_NE(UniqueTempFile(".htm"), file);
    EXPECT_TRUE(FileExists(file));
    EXPECT_THROW(UniqueTempFile("/../x"), std::invalid_argument);

    RemovePrivateTempDir();
    EXPECT_FALSE(fs::exists(FsPath(folder)));
    EXPECT_NE(PrivateTempDir(), folder);
}

// What a killed or crashed process left is removed by the next process that
// makes its folder; everything that is not plainly such a folder stays: one
// an owner we cannot see holds open, a file, other names of ours, and on
// POSIX one whose process still runs, a link, and another user's where we
// may not give it away.
TEST_F(FilesTest, FoldersOfEndedProcessesGoWhenTheNextFolderIsMade) {
#ifdef _WIN32
    const std::string ended = "zveklc-4294967290";  // no process has that number
#else
    const std::string ended = "zveklc-999999999";  // above any process number the system gives
#endif
    enum Kind { Folder, File, Link };
    // {name, kind, removed}
    std::vector<std::tuple<std::string, Kind, bool>> cases = {{ended + "-a1B2c3", Folder, true},
                                                              {ended + "-Held01", Folder, false},
                                                              {ended + "-File01", File, false},
                                                              {ended, Folder, false},
                                                              {ended + "-toolong", Folder, false}};
#ifndef _WIN32
    cases.insert(cases.end(), {{"zveklc-" + std::to_string(::getppid()) + "-a1B2c3", Folder, false},
                               {ended + "-Link01", Link, false},
                               {ended + "-Other1", Folder, ::geteuid() != 0}});
#endif
    const fs::path target = dir.path() / "target";
    fs::create_directories(target / "keep");
    for (const auto& [name, kind, removed] : cases) {
        const fs::path path = dir.path() / name;
        if (kind == File) test::WriteBytes(path, "x");
        else if (kind == Link) fs::create_directory_symlink(target, path);
        else fs::create_directories(path / "sub");
    }
    const std::string held = dir / (ended + "-Held01");
#ifdef _WIN32
    const HANDLE holder = ::CreateFileW(WidePath(held).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
#else
    const int holder = ::open(held.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    ASSERT_TRUE(::geteuid() != 0 || ::chown((dir / (ended + "-Other1")).c_str(), 65534, 65534) == 0);
#endif
    PrivateTempDir();
    for (const auto& [name, kind, removed] : cases)
        EXPECT_EQ(fs::exists(fs::symlink_status(dir.path() / name)), !removed) << name;
    EXPECT_TRUE(fs::exists(target / "keep"));
#ifdef _WIN32
    ::CloseHandle(holder);
#else
    ::close(holder);
#endif
}

// The window's settings file lies beside the program where a portable copy
// has one that can be written (the Qt window's rule too), otherwise in the
// user's configuration folder: %APPDATA%, or the XDG one (an absolute one,
// else ~/.config).
TEST_F(FilesTest, WindowSettingsLieBesideTheProgramOnlyWhereWritable) {
    const std::string program = dir / "bin";
#ifdef _WIN32
    test::ScopedEnv config{"APPDATA", dir / "config"};
    const std::string user = dir / "config\\zveklc\\zveklc.ini", portable = program + "\\zveklc.ini";
#else
    test::ScopedEnv home{"HOME", dir / "home"}, relative{"XDG_CONFIG_HOME", "relative"};
    EXPECT_EQ(WindowSettingsPath(program), dir / "home/.config/zveklc/zveklc.ini");
    test::ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    const std::string user = dir / "config/zveklc/zveklc.ini", portable = program + "/zveklc.ini";
#endif
    EXPECT_EQ(WindowSettingsPath(program), user);
    test::WriteBytes(FsPath(portable), "[ZVEKLC]\r\n");
    EXPECT_EQ(WindowSettingsPath(program), portable);
#ifdef _WIN32
    fs::permissions(FsPath(portable), fs::perms::owner_read);  // read-only
    EXPECT_EQ(WindowSettingsPath(program), user);
    fs::permissions(FsPath(portable), fs::perms::owner_all);
#endif
}

}  // namespace
}  // namespace zvek
