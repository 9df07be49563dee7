// The player's settings file, edited the same way on every platform.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/Player.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;

class PlayerSettingsTest : public ::testing::Test {
protected:
    PlayerSettingsTest() { fs::create_directories(player.parent_path()); }

    test::TempDir dir;
    fs::path player = dir.path() / "ZVEK/ZVEK.EXE";
    fs::path ini = dir.path() / "ZVEK/ZVEK.ini";
};

TEST_F(PlayerSettingsTest, RegisteringChangesOnlyTheToolEntry) {
    const std::string value = "\"Z:\\opt\\ソフト\\zveklc\" /ZVEK", ours = "ZVEK Lyrics Converter=" + value;
    // The player's own settings: comments, other sections, a key of our name
    // in another section, section names whose second byte is "]" or "[" (ゾ
    // 0x835D, ゼ 0x835B), and a last line without CR LF.
    const std::string head =
        "; ZVEK の設定\r\n[General]\r\nZVEK Lyrics Converter=not a tool\r\nTitle=音楽プレーヤー\r\n"
        "[ゾーンゼ]\r\n表=ソ\r\n\r\n  [ tool ]  \r\nEditor=notepad.exe\r\n";
    const std::string mid = "; 以上\r\nViewer=表示.exe\r\n", tail = "\r\n; window\r\n[Window]\r\nLeft=10";
    // {name, before, after}
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"replaced in place, with the file's spelling of the key",
         head + "  zvek lyrics CONVERTER = \"C:\\old\\zveklc.exe\" /ZVEK\r\n" + mid + tail,
         head + "zvek lyrics CONVERTER=" + value + "\r\n" + mid + tail},
        {"added after the section's last entry", head + mid + tail, head + mid + ours + "\r\n" + tail},
        {"section appended", "[General]\r\nA=1", "[General]\r\nA=1\r\n[Tool]\r\n" + ours + "\r\n"}};
    for (const auto& [name, before, after] : cases) {
        SCOPED_TRACE(name);
        test::WriteBytes(ini, test::Sjis(before));
        ASSERT_TRUE(RegisterPlayerTool(player.string(), kPlayerToolName, value));
        EXPECT_EQ(test::ReadBytes(ini), test::Sjis(after));
        EXPECT_EQ(ReadPlayerTool(player.string(), kPlayerToolName), value);
    }
}

TEST_F(PlayerSettingsTest, ReadsTheToolEntryAsThePlayerDoes) {
    // The file is written here in UTF-8 and goes to disk in Shift-JIS.
    // {name, file, expected}
    const std::tuple<const char*, std::optional<std::string>, const char*> cases[] = {
        {"enclosing quotes dropped", "[Tool]\r\nZVEK Lyrics Converter='quoted'\r\n", "quoted"},
        {"line feeds only", "[Tool]\nZVEK Lyrics Converter=lf\n", "lf"},
        {"first key of the first section",
         "[Tool]\r\nZVEK Lyrics Converter=1\r\nZVEK Lyrics Converter=2\r\n[tool]\r\nZVEK Lyrics Converter=3\r\n", "1"},
        {"a later [Tool] is not read", "[Tool]\r\nA=1\r\n[Other]\r\n[Tool]\r\nZVEK Lyrics Converter=x\r\n", ""},
        {"no file", std::nullopt, ""}};
    for (const auto& [name, file, expected] : cases) {
        fs::remove(ini);
        if (file) test::WriteBytes(ini, test::Sjis(*file));
        EXPECT_EQ(ReadPlayerTool(player.string(), kPlayerToolName), expected) << name;
    }
    EXPECT_EQ(ReadPlayerTool("", kPlayerToolName), "");
}

// The settings file is the player's whatever the case of its name; what the
// player could not read back as written is refused, the file left as it was.
TEST_F(PlayerSettingsTest, RegisteringWritesThePlayersFileOrNothing) {
    const fs::path file = player.parent_path() / "zvek.INI";
    test::WriteBytes(file, "[Tool]\r\nA=1\r\n");
    EXPECT_FALSE(RegisterPlayerTool("", kPlayerToolName, "v"));
    EXPECT_FALSE(RegisterPlayerTool((dir.path() / "gone/ZVEK.EXE").string(), kPlayerToolName, "v"));
    EXPECT_FALSE(
        RegisterPlayerTool(player.string(), kPlayerToolName, "\"/home/café/zveklc\" /ZVEK"));  // no Shift-JIS é
    EXPECT_FALSE(RegisterPlayerTool(player.string(), kPlayerToolName, "a\r\n[Other]"));
    EXPECT_FALSE(RegisterPlayerTool(player.string(), "A=B", "v"));
    EXPECT_EQ(test::ReadBytes(file), "[Tool]\r\nA=1\r\n");
    ASSERT_TRUE(RegisterPlayerTool(player.string(), kPlayerToolName, "v"));
    EXPECT_EQ(test::ReadBytes(file), "[Tool]\r\nA=1\r\nZVEK Lyrics Converter=v\r\n");
}

}  // namespace
}  // namespace zvek
