#include "platform/Player.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKey1 = R"([Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ZVEK.EXE] 1700000000)";
constexpr const char* kKey2 = R"([Software\\HALDE\\ZVEK] 1700000001)";

std::string Registry(const std::string& root, const std::string& body) {
    return "WINE REGISTRY Version 2\n;; All keys relative to " + root + "\n\n#arch=win32\n\n" + body;
}

// A Wine prefix with drive C: (a folder of its own, linked relatively as
// Wine does) and Z: for "/".
class PlayerTest : public ::testing::Test {
protected:
    PlayerTest() {
        fs::create_directories(prefix / "dosdevices");
        fs::create_directories(prefix / "drive_c");
        fs::create_directory_symlink("../drive_c", prefix / "dosdevices/c:");
        fs::create_directory_symlink("/", prefix / "dosdevices/z:");
    }

    // An empty file, with its folders, under the prefix.
    fs::path Make(const std::string& relative) {
        const fs::path file = prefix / fs::path(relative);
        fs::create_directories(file.parent_path());
        test::WriteBytes(file, "");
        return file;
    }
    std::string InPrefix(const std::string& relative) const {
        return (fs::canonical(prefix) / fs::path(relative)).string();
    }

    test::TempDir dir;
    fs::path prefix = dir.path() / "prefix";
    test::ScopedEnv winePrefix{"WINEPREFIX", prefix.string()};
    test::ScopedEnv home{"HOME", dir / "home"};
};

TEST_F(PlayerTest, FindsThePlayerThroughTheRegistryAndTheDrives) {
    Make("drive_c/Program Files/ZVEK/ZVEK.EXE");
    Make("drive_c/Program Files (x86)/ZVEK/ZVEK.EXE");
    Make("drive_c/users/me/ZVEK2/zvek.exe");
    Make("drive_c/Café/éa/音楽/ZVEK.EXE");
    Make("drive_d/Player/ZVEK.EXE");
    fs::create_directory_symlink("../drive_d", prefix / "dosdevices/D:");

    const std::string key1Value = R"(@="C:\\Program Files\\ZVEK\\ZVEK.EXE")";
    const std::string key2Value = R"(@="C:\\users\\me\\ZVEK2\\zvek.exe")";
    const std::string other = "[Software\\\\Wine] 1700000002\n\"Version\"=\"win10\"\n\n";
    struct Case {
        const char* name;
        std::optional<std::string> system, user;
        const char* expected;  // inside the prefix; "" when not found
    };
    const Case cases[] = {
        {"key 1 only", other + kKey1 + "\n#time=1d9c0a1b2c3d4e5\n" + key1Value + "\n\"Path\"=\"C:\\\\x\"\n", std::nullopt,
         "drive_c/Program Files/ZVEK/ZVEK.EXE"},
        {"key 2 only", other, std::string(kKey2) + "\n" + key2Value + "\n", "drive_c/users/me/ZVEK2/zvek.exe"},
        {"key 1 wins", std::string(kKey1) + "\n" + key1Value + "\n", std::string(kKey2) + "\n" + key2Value + "\n",
         "drive_c/Program Files/ZVEK/ZVEK.EXE"},
        {"neither: only named values, sub-keys and look-alikes",
         std::string(kKey1) + "\n\"Path\"=\"C:\\\\Program Files\\\\ZVEK\\\\ZVEK.EXE\"\n"
             "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\App Paths\\\\ZVEK.EXE\\\\Sub] 1\n" + key1Value + "\n",
         "[Software\\\\HALDE\\\\ZVEKX] 1\n" + key2Value + "\n[Software\\\\HALDE] 1\n" + key2Value + "\n", ""},
        {"no registry files", std::nullopt, std::nullopt, ""},
        {"key names without case", "[software\\\\MICROSOFT\\\\windows\\\\currentversion\\\\app paths\\\\zvek.exe] 1\n" +
                                       key1Value + "\n", std::nullopt, "drive_c/Program Files/ZVEK/ZVEK.EXE"},
        {"escapes: short and long \\x, octal, quote", std::string(kKey1) + "\n" +
             R"(@="C:\\Caf\xe9\\\x00e9a\\\x97f3\x697d\\ZVEK\056EXE")" + "\n", std::nullopt,
         "drive_c/Café/éa/音楽/ZVEK.EXE"},
        {"an expandable string", std::string(kKey1) + "\n" + R"(@=str(2):"C:\\Program Files\\ZVEK\\ZVEK.EXE")" + "\n",
         std::nullopt, "drive_c/Program Files/ZVEK/ZVEK.EXE"},
        {"quoted path", std::string(kKey1) + "\n" + R"(@="\"C:\\Program Files\\ZVEK\\ZVEK.EXE\"")" + "\n",
         std::nullopt, "drive_c/Program Files/ZVEK/ZVEK.EXE"},
        {"drive letter and names in another case", std::string(kKey1) + "\n" + R"(@="c:\\PROGRAM FILES\\zvek\\zvek.exe")" +
             "\n", std::nullopt, "drive_c/Program Files/ZVEK/ZVEK.EXE"},
        {"upper-case drive link", std::nullopt, std::string(kKey2) + "\n" + R"(@="d:\\player\\Zvek.Exe")" + "\n",
         "drive_d/Player/ZVEK.EXE"},
        {"32-bit installer in a 64-bit prefix",
         R"([Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ZVEK.EXE] 1)" "\n"
         R"(@="C:\\Program Files (x86)\\ZVEK\\ZVEK.EXE")" "\n", std::nullopt, "drive_c/Program Files (x86)/ZVEK/ZVEK.EXE"},
        {"key 1 not a string", std::string(kKey1) + "\n@=dword:00000001\n", std::string(kKey2) + "\n" + key2Value + "\n",
         "drive_c/users/me/ZVEK2/zvek.exe"},
        {"key 1 names no file", std::string(kKey1) + "\n" + R"(@="C:\\Gone\\ZVEK.EXE")" + "\n",
         std::string(kKey2) + "\n" + key2Value + "\n", "drive_c/users/me/ZVEK2/zvek.exe"},
        {"key 1 on a missing drive", std::string(kKey1) + "\n" + R"(@="E:\\ZVEK.EXE")" + "\n", std::nullopt, ""},
        {"unterminated string", std::string(kKey1) + "\n" + R"(@="C:\\Program Files\\ZVEK\\ZVEK.EXE)" + "\n",
         std::nullopt, ""},
        {"a folder is no player", std::string(kKey1) + "\n" + R"(@="C:\\Program Files\\ZVEK")" + "\n", std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(prefix / "system.reg");
        fs::remove(prefix / "user.reg");
        if (c.system) test::WriteBytes(prefix / "system.reg", Registry("\\\\Machine", *c.system));
        if (c.user) test::WriteBytes(prefix / "user.reg", Registry("\\\\User\\\\S-1-5-21-0-0-0-1000", *c.user));
        EXPECT_EQ(FindPlayerPath(), *c.expected ? InPrefix(c.expected) : "");
    }
}

TEST_F(PlayerTest, WithoutWinePrefixTheHomeFolderPrefixIsUsed) {
    const fs::path wine = dir.path() / "home/.wine";
    fs::create_directories(wine / "dosdevices");
    fs::create_directories(wine / "drive_c/ZVEK");
    fs::create_directory_symlink("../drive_c", wine / "dosdevices/c:");
    test::WriteBytes(wine / "drive_c/ZVEK/ZVEK.EXE", "");
    test::WriteBytes(wine / "user.reg", Registry("\\\\User", std::string(kKey2) + "\n" + R"(@="C:\\ZVEK\\ZVEK.EXE")" + "\n"));
    test::ScopedEnv unset{"WINEPREFIX", std::nullopt};
    EXPECT_EQ(FindPlayerPath(), (fs::canonical(wine / "drive_c") / "ZVEK/ZVEK.EXE").string());
}

// The player's own settings: Shift-JIS, CR LF, with comments, other
// sections, a key of our name in another section, and section names whose
// second byte is "]" or "[" (ゾ 0x835D, ゼ 0x835B).
std::vector<std::string> PlayerIni(bool withOurKey) {
    std::vector<std::string> lines = {
        "; ZVEK の設定",
        "[General]",
        "ZVEK Lyrics Converter=not a tool",
        "Title=音楽プレーヤー",
        "[ゾーンゼ]",
        "表=ソ",
        "",
        "  [ tool ]  ",
        "Editor=notepad.exe",
    };
    if (withOurKey) lines.push_back("  zvek lyrics CONVERTER = \"C:\\old\\zveklc.exe\" /ZVEK");
    for (const char* line : {"; 以上", "Viewer=表示.exe", "", "; window", "[Window]"}) lines.push_back(line);
    return lines;
}

TEST_F(PlayerTest, RegisteringChangesOnlyTheToolEntry) {
    const fs::path player = Make("drive_c/ZVEK/ZVEK.EXE");
    const fs::path ini = player.parent_path() / "ZVEK.ini";
    const std::string value = "\"Z:\\opt\\ソフト\\zveklc\" /ZVEK";
    const std::string ours = "ZVEK Lyrics Converter=" + value;
    const std::string noFinalBreak = "Left=10";  // the file's last line has no CR LF

    auto with = [&](std::vector<std::string> lines, const std::string& add, std::size_t at) {
        if (at != std::string::npos) lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), add);
        return lines;
    };
    std::vector<std::string> replaced = PlayerIni(true);
    replaced[9] = "zvek lyrics CONVERTER=" + value;  // in place, with the file's spelling of the key
    struct Case {
        const char* name;
        std::optional<std::string> before;
        std::string after;
    };
    const Case cases[] = {
        {"replaced in place", test::Sjis(test::CrLf(PlayerIni(true)) + noFinalBreak),
         test::Sjis(test::CrLf(replaced) + noFinalBreak)},
        {"added after the section's last entry", test::Sjis(test::CrLf(PlayerIni(false)) + noFinalBreak),
         test::Sjis(test::CrLf(with(PlayerIni(false), ours, 11)) + noFinalBreak)},
        {"section appended", test::Sjis("[General]\r\nA=1\r\n" + noFinalBreak),
         test::Sjis("[General]\r\nA=1\r\n" + noFinalBreak + "\r\n[Tool]\r\n" + ours + "\r\n")},
        {"section header is the last line", test::Sjis("A=1\r\n[Tool]"), test::Sjis("A=1\r\n[Tool]\r\n" + ours + "\r\n")},
        {"last entry is the last line", test::Sjis("[Tool]\r\nA=1"), test::Sjis("[Tool]\r\nA=1\r\n" + ours + "\r\n")},
        {"empty section before another", test::Sjis("[Tool]\r\n\r\n[Window]\r\n"),
         test::Sjis("[Tool]\r\n" + ours + "\r\n\r\n[Window]\r\n")},
        {"no file", std::nullopt, test::Sjis("[Tool]\r\n" + ours + "\r\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(ini);
        if (c.before) test::WriteBytes(ini, *c.before);
        ASSERT_TRUE(RegisterPlayerTool(player.string(), kPlayerToolName, value));
        EXPECT_EQ(test::ReadBytes(ini), c.after);
        EXPECT_EQ(ReadPlayerTool(player.string(), kPlayerToolName), value);
    }
}

TEST_F(PlayerTest, ReadsTheToolEntryAsThePlayerDoes) {
    const fs::path player = Make("drive_c/ZVEK/ZVEK.EXE");
    struct Case {
        const char* name;
        std::string file;  // UTF-8 here, Shift-JIS on disk
        const char* expected;
    };
    const Case cases[] = {
        {"our entry", "[Tool]\r\nZVEK Lyrics Converter=\"Z:\\a\\zveklc\" /ZVEK\r\n", "\"Z:\\a\\zveklc\" /ZVEK"},
        {"names without case, blanks dropped", "  [ tOOL ]\r\n  zvek lyrics CONVERTER  =  value  \r\n", "value"},
        {"enclosing quotes dropped", "[Tool]\r\nZVEK Lyrics Converter='quoted'\r\n", "quoted"},
        {"Shift-JIS value", "[Tool]\r\nZVEK Lyrics Converter=Z:\\ソフト\\表示.exe\r\n", "Z:\\ソフト\\表示.exe"},
        {"line feeds only", "[Tool]\nZVEK Lyrics Converter=lf\n", "lf"},
        {"first key of the first section", "[Tool]\r\nZVEK Lyrics Converter=1\r\nZVEK Lyrics Converter=2\r\n"
                                           "[tool]\r\nZVEK Lyrics Converter=3\r\n", "1"},
        {"only in another section", "[General]\r\nZVEK Lyrics Converter=x\r\n[Tool]\r\nOther=y\r\n", ""},
        {"a later [Tool] is not read", "[Tool]\r\nA=1\r\n[Other]\r\n[Tool]\r\nZVEK Lyrics Converter=x\r\n", ""},
        {"commented out", "[Tool]\r\n;ZVEK Lyrics Converter=x\r\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::WriteBytes(player.parent_path() / "ZVEK.ini", test::Sjis(c.file));
        EXPECT_EQ(ReadPlayerTool(player.string(), kPlayerToolName), c.expected);
    }
    fs::remove(player.parent_path() / "ZVEK.ini");
    EXPECT_EQ(ReadPlayerTool(player.string(), kPlayerToolName), "");
    EXPECT_EQ(ReadPlayerTool("", kPlayerToolName), "");
}

TEST_F(PlayerTest, SettingsFileIsFoundWithoutRegardToCase) {
    const fs::path player = Make("drive_c/ZVEK/ZVEK.EXE");
    EXPECT_EQ(PlayerSettingsPath(player.string()), (player.parent_path() / "ZVEK.ini").string());
    test::WriteBytes(player.parent_path() / "zvek.INI", "[Tool]\r\n");
    EXPECT_EQ(PlayerSettingsPath(player.string()), (player.parent_path() / "zvek.INI").string());
    ASSERT_TRUE(RegisterPlayerTool(player.string(), kPlayerToolName, "v"));
    EXPECT_EQ(test::ReadBytes(player.parent_path() / "zvek.INI"), "[Tool]\r\nZVEK Lyrics Converter=v\r\n");
    EXPECT_FALSE(fs::exists(player.parent_path() / "ZVEK.ini"));
}

TEST_F(PlayerTest, RegisteringFailsWithoutTouchingTheFile) {
    const fs::path player = Make("drive_c/ZVEK/ZVEK.EXE");
    const std::string before = test::Sjis("[Tool]\r\nA=1\r\n");
    test::WriteBytes(player.parent_path() / "ZVEK.ini", before);
    EXPECT_FALSE(RegisterPlayerTool("", kPlayerToolName, "v"));
    EXPECT_FALSE(RegisterPlayerTool((dir.path() / "gone/ZVEK.EXE").string(), kPlayerToolName, "v"));
    EXPECT_FALSE(RegisterPlayerTool(player.string(), kPlayerToolName, "\"/home/café/zveklc\" /ZVEK"));  // no Shift-JIS é
    EXPECT_FALSE(RegisterPlayerTool(player.string(), kPlayerToolName, "a\r\n[Other]"));
    EXPECT_FALSE(RegisterPlayerTool(player.string(), "A=B", "v"));
    EXPECT_EQ(test::ReadBytes(player.parent_path() / "ZVEK.ini"), before);
}

TEST_F(PlayerTest, ToolCommandNamesTheProgramAsWineSeesIt) {
    const std::string root = fs::canonical(dir.path()).string();
    fs::create_directories(dir.path() / "dat");
    fs::create_directory_symlink(dir.path() / "dat", prefix / "dosdevices/d:");
    auto windows = [](std::string path) {
        for (char& c : path)
            if (c == '/') c = '\\';
        return path;
    };
    EXPECT_EQ(PlayerToolCommand(Make("drive_c/Tools/zveklc").string()), "\"C:\\Tools\\zveklc\" /ZVEK");
    // "dat" is no folder of ".../data/zveklc": Z: holds it.
    EXPECT_EQ(PlayerToolCommand(root + "/data/zveklc"), "\"Z:" + windows(root) + "\\data\\zveklc\" /ZVEK");
    EXPECT_EQ(PlayerToolCommand(root + "/dat/zveklc"), "\"D:\\zveklc\" /ZVEK");

    test::ScopedEnv noDrives{"WINEPREFIX", (dir / "empty")};
    EXPECT_EQ(PlayerToolCommand("/opt/zveklc"), "\"/opt/zveklc\" /ZVEK");
}

}  // namespace
}  // namespace zvek
