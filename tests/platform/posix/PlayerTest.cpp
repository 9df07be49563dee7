#include "platform/Player.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKey1 = R"([Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ZVEK.EXE] 1700000000)";
constexpr const char* kKey2 = R"([Software\\HALDE\\ZVEK] 1700000001)";

// A key and its lines as Wine writes them, and a registry file around keys.
std::string Key(const std::string& key, const std::string& lines) { return key + "\n" + lines + "\n"; }
std::string Registry(const std::string& root, const std::string& body) {
    return "WINE REGISTRY Version 2\n;; All keys relative to " + root + "\n\n#arch=win32\n\n" + body;
}

// A Wine prefix with drive C: (a folder of its own, linked relatively as
// Wine does) and Z: for "/", and the player's folder on C:.
class PlayerTest : public ::testing::Test {
protected:
    PlayerTest() {
        fs::create_directories(prefix / "dosdevices");
        fs::create_directories(player.parent_path());
        fs::create_directory_symlink("../drive_c", prefix / "dosdevices/c:");
        fs::create_directory_symlink("/", prefix / "dosdevices/z:");
    }

    test::TempDir dir;
    fs::path prefix = dir.path() / "prefix";
    fs::path player = prefix / "drive_c/ZVEK/ZVEK.EXE";
    fs::path ini = prefix / "drive_c/ZVEK/ZVEK.ini";
    test::ScopedEnv winePrefix{"WINEPREFIX", prefix.string()};
    test::ScopedEnv home{"HOME", dir.path().string()};
};

TEST_F(PlayerTest, FindsThePlayerThroughTheRegistryAndTheDrives) {
    const char* programFiles = "drive_c/Program Files/ZVEK/ZVEK.EXE";
    const char* users = "drive_c/users/me/ZVEK2/zvek.exe";
    for (const char* file :
         {programFiles, users, "drive_c/Program Files (x86)/ZVEK/ZVEK.EXE", "drive_c/Café/éa/音楽🎵/ZVEK.EXE",
          "drive_d/Player/ZVEK.EXE", "drive_c/\a\b\x1b\f\n\r\t\v/ZVEK.EXE"}) {
        test::WriteBytes(prefix / file, "");
    }
    fs::create_directory_symlink("../drive_d", prefix / "dosdevices/D:");
    const std::string value1 = R"(@="C:\\Program Files\\ZVEK\\ZVEK.EXE")";
    const std::string value2 = R"(@="C:\\users\\me\\ZVEK2\\zvek.exe")", key2 = Key(kKey2, value2);
    // The expected path lies inside the prefix; "" when none is found.
    // {name, system, user, expected}
    const std::tuple<const char*, std::optional<std::string>, std::optional<std::string>, const char*> cases[] = {
        {"key 1 wins", Key(kKey1, "#time=1d9c0a1b2c3d4e5\n" + value1 + "\n\"Path\"=\"C:\\\\x\""), key2, programFiles},
        {"neither: only named values, sub-keys and look-alikes",
         Key(kKey1, R"("Path"="C:\\Program Files\\ZVEK\\ZVEK.EXE")") +
             Key(R"([Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ZVEK.EXE\\Sub] 1)", value1),
         Key(R"([Software\\HALDE\\ZVEKX] 1)", value2) + Key(R"([Software\\HALDE] 1)", value2), ""},
        {"escapes: short and long \\x, octal, quote, a pair of surrogates",
         Key(kKey1, R"(@="C:\\Caf\xe9\\\x00e9a\\\x97f3\x697d\xd83c\xdfb5\\ZVEK\056EXE")"),
         {},
         "drive_c/Café/éa/音楽🎵/ZVEK.EXE"},
        {"control escapes",
         Key(kKey1, R"(@="C:\\\a\b\e\f\n\r\t\v\\ZVEK.EXE")"),
         {},
         "drive_c/\a\b\x1b\f\n\r\t\v/ZVEK.EXE"},
        {"an expandable string", Key(kKey1, R"(@=str(2):"C:\\Program Files\\ZVEK\\ZVEK.EXE")"), {}, programFiles},
        {"quoted path", Key(kKey1, R"(@="\"C:\\Program Files\\ZVEK\\ZVEK.EXE\"")"), {}, programFiles},
        {"drive and names in another case", {}, Key(kKey2, R"(@="d:\\player\\Zvek.Exe")"), "drive_d/Player/ZVEK.EXE"},
        {"32-bit installer in a 64-bit prefix",
         Key(R"([Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ZVEK.EXE] 1)",
             R"(@="C:\\Program Files (x86)\\ZVEK\\ZVEK.EXE")"),
         {},
         "drive_c/Program Files (x86)/ZVEK/ZVEK.EXE"},
        {"key 1 not a string", Key(kKey1, "@=dword:00000001"), key2, users},
        {"key 1 on a missing drive", Key(kKey1, R"(@="E:\\ZVEK.EXE")"), {}, ""},
        {"unterminated string", Key(kKey1, R"(@="C:\\Program Files\\ZVEK\\ZVEK.EXE)"), {}, ""},
        {"a folder is no player", Key(kKey1, R"(@="C:\\Program Files\\ZVEK")"), {}, ""},
        {"key 1 names no file", Key(kKey1, R"(@="C:\\Gone\\ZVEK.EXE")"), key2, users}};
    for (const auto& [name, system, user, expected] : cases) {
        fs::remove(prefix / "system.reg");
        fs::remove(prefix / "user.reg");
        if (system) test::WriteBytes(prefix / "system.reg", Registry("\\\\Machine", *system));
        if (user) test::WriteBytes(prefix / "user.reg", Registry("\\\\User\\\\S-1-5-21-0-0-0-1000", *user));
        EXPECT_EQ(FindPlayerPath(), *expected ? (fs::canonical(prefix) / expected).string() : "") << name;
    }
    // Without WINEPREFIX the prefix in the home folder is used (the last case's files).
    fs::create_directory_symlink(prefix, dir.path() / ".wine");
    test::ScopedEnv unset{"WINEPREFIX", std::nullopt};
    EXPECT_EQ(FindPlayerPath(), (fs::canonical(prefix) / users).string());
}

// Registry files and the player's settings file that are pipes, devices or
// far larger than any real one are passed over at once, and none of them is
// ever replaced: a pipe does not hold the start-up check, a giant is not read.
TEST_F(PlayerTest, PipesDevicesAndGiantsAreNeitherReadNorReplaced) {
    test::WriteBytes(player, "MZ");
    // The player is named first thing in a file far too large to be a registry.
    const fs::path giant = prefix / "system.reg";
    test::WriteBytes(giant, Registry("HKEY_LOCAL_MACHINE", Key(kKey1, R"(@="C:\ZVEK\ZVEK.EXE")")));
    fs::resize_file(giant, 17u << 20);
    const std::string userReg = test::MakeFifo(prefix / "user.reg");
    EXPECT_TRUE(test::ReturnsWithoutWaitingOn({userReg}, [] { EXPECT_EQ(FindPlayerPath(), ""); }));

    const std::string fifo = test::MakeFifo(ini);
    EXPECT_TRUE(test::ReturnsWithoutWaitingOn({fifo}, [&] {
        EXPECT_EQ(ReadPlayerTool(player.string(), kPlayerToolName), "");
        EXPECT_FALSE(RegisterPlayerTool(player.string(), kPlayerToolName, "v"));
    }));
    EXPECT_TRUE(fs::is_fifo(ini));

    // A device, even behind a link, takes the pipe's way (FilesTest).
    fs::remove(ini);
    test::WriteBytes(ini, "[Tool]\r\nZVEK Lyrics Converter=v\r\n");
    fs::resize_file(ini, std::uintmax_t(64) << 30);  // sparse
    EXPECT_EQ(ReadPlayerTool(player.string(), kPlayerToolName), "");
    EXPECT_FALSE(RegisterPlayerTool(player.string(), kPlayerToolName, "w"));
}

TEST_F(PlayerTest, ToolCommandNamesTheProgramAsWineSeesIt) {
    const std::string drive = fs::canonical(prefix / "drive_c").string();
    std::string outside = drive + "x\\zveklc";  // no file of drive C:, whose folder name it begins with
    for (char& c : outside) c = c == '/' ? '\\' : c;
    EXPECT_EQ(PlayerToolCommand(drive + "/Tools/zveklc"), "\"C:\\Tools\\zveklc\" /ZVEK");
    EXPECT_EQ(PlayerToolCommand(drive + "x/zveklc"), "\"Z:" + outside + "\" /ZVEK");
    EXPECT_EQ(PlayerToolCommand("/opt/zveklc"), "\"Z:\\opt\\zveklc\" /ZVEK");
    test::ScopedEnv noDrives{"WINEPREFIX", (dir / "empty")};
    EXPECT_EQ(PlayerToolCommand("/opt/zveklc"), "\"/opt/zveklc\" /ZVEK");
}

}  // namespace
}  // namespace zvek
