// What only the Windows layer does: replacing a file another program holds
// open, devices and named pipes written through, batch files never started.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>

#include "platform/windows/Win32.h"
#include "TestSupport.h"
#include "platform/Files.h"
#include "platform/FsPath.h"
#include "platform/Launch.h"
#include "platform/TempFiles.h"
#include "platform/windows/WideText.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;

HANDLE OpenForReading(const std::string& path, DWORD share, DWORD flags = 0) {
    return ::CreateFileW(WidePath(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, flags, nullptr);
}

// Our temporary files in the folder (Wine's ReplaceFileW leaves one of its
// own behind when it fails; Windows' does not).
std::set<std::string> Temporaries(const test::TempDir& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        if (const std::string name = PathText(entry.path().filename()); name.starts_with(".zveklc-"))
            names.insert(name);
    return names;
}

// A reader that lets others rename and delete (as a player may) does not
// stop a save and goes on reading what it opened; one that does not is
// reported, and the file and its folder stay as they were.
TEST(WindowsLayerTest, ReplacingAFileAnotherHandleHoldsOpen) {
    const test::TempDir dir;
    const std::string target = dir.Write("song.lyr", "old");
    HANDLE shared = OpenForReading(target, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    ASSERT_NE(shared, INVALID_HANDLE_VALUE);
    EXPECT_NO_THROW(WriteFileAtomic(target, "new"));
    char buffer[8] = {};
    DWORD n = 0;
    EXPECT_TRUE(::ReadFile(shared, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(std::string(buffer, n), "old");
    ::CloseHandle(shared);

    HANDLE exclusive = OpenForReading(target, FILE_SHARE_READ);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_THROW(WriteFileAtomic(target, "newer"), FileError);
    ::CloseHandle(exclusive);
    EXPECT_EQ(std::tuple(ReadFileBytes(target), Temporaries(dir)), std::tuple("new", std::set<std::string>{}));
}

// NUL and a named pipe are written through, never replaced; files from
// outside and files of our own are never such things.
TEST(WindowsLayerTest, DevicesAndPipesAreWrittenThrough) {
    EXPECT_NO_THROW(WriteFileAtomic("NUL", "x"));
    EXPECT_EQ(ReadFileBytes("NUL"), "");
    EXPECT_THROW(WriteOwnFile("NUL", "x"), FileError);
    EXPECT_THROW(ReadRegularFile("nul", 10), FileError);
    EXPECT_THROW(WriteNewFile("NUL", "x"), FileExistsError);
    EXPECT_FALSE(FileExists("NUL"));

    const std::string pipe = "\\\\.\\pipe\\zveklc-test-" + std::to_string(::GetCurrentProcessId());
    HANDLE server = ::CreateNamedPipeW(Wide(pipe).c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                                       4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    EXPECT_THROW(ReadRegularFile(pipe, 100), FileError);  // refused without connecting
    std::thread writer([&] { EXPECT_NO_THROW(WriteFileAtomic(pipe, "through the pipe")); });
    ::ConnectNamedPipe(server, nullptr);
    std::string got;
    char buffer[64];
    for (DWORD n = 0; ::ReadFile(server, buffer, sizeof buffer, &n, nullptr) && n > 0;) got.append(buffer, n);
    writer.join();
    ::CloseHandle(server);
    EXPECT_EQ(got, "through the pipe");
}

// cmd.exe would read a batch file's arguments by rules of its own.
TEST(WindowsLayerTest, BatchFilesAreNeverStarted) {
    const test::TempDir dir;
    for (const char* name : {"run.bat", "run.CMD"}) {
        const std::string script = dir.Write(name, "@echo off\r\nexit /b 0\r\n");
        EXPECT_FALSE(StartProgram({script, "&", "whoami"})) << name;
        EXPECT_EQ(RunProgram({script}), -1) << name;
    }
}

}  // namespace
}  // namespace zvek
