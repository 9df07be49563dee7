#include "platform/Association.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "TestSupport.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;

const std::string kMimePackage =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
    "  <mime-type type=\"text/x-zvek-taglyr\">\n"
    "    <comment>ZVEK TagFile</comment>\n    <comment xml:lang=\"ja\">ZVEK タグファイル</comment>\n"
    "    <sub-class-of type=\"text/plain\"/>\n    <generic-icon name=\"text-x-generic\"/>\n"
    "    <glob pattern=\"*.taglyr\" case-sensitive=\"false\"/>\n  </mime-type>\n</mime-info>\n";

std::string DesktopEntry(const std::string& program) {
    return "[Desktop Entry]\nType=Application\nName=ZVEK Lyrics Converter\nExec=\"" + program + "\" %f\n"
           "Icon=zveklc\nTerminal=false\nCategories=AudioVideo;Audio;\nMimeType=text/x-zvek-taglyr;\n"
           "Actions=convert;\nX-ZVEKLC-Converter=" + program + "\n\n"
           "[Desktop Action convert]\nName=Convert\nName[ja]=変換\nExec=\"" + program + "\" -convert %f\n";
}

// Data folders, PATH and the home folder all inside a temporary folder;
// PATH holds fake update tools that note how they were called.
class AssociationTest : public ::testing::Test {
protected:
    AssociationTest() {
        fs::create_directories(bin);
        for (const char* tool : {"update-mime-database", "update-desktop-database", "xdg-mime"}) {
            test::WriteBytes(bin / tool, "#!/bin/sh\nprintf '%s\\n' \"${0##*/} $*\" >> '" + log.string() + "'\n");
            fs::permissions(bin / tool, fs::perms::owner_all);
        }
    }

    // What the tools noted since the last call.
    std::string TakeLog() const {
        const std::string text = fs::exists(log) ? test::ReadBytes(log) : "";
        fs::remove(log);
        return text;
    }

    test::TempDir dir;
    fs::path data = dir.path() / "data";
    fs::path system = dir.path() / "system";
    fs::path bin = dir.path() / "bin";
    fs::path log = dir.path() / "tools.log";
    fs::path mime = data / "mime/packages/zveklc-taglyr.xml";
    fs::path desktop = data / "applications/zveklc.desktop";
    std::string program = "/opt/ZVEK Lyrics Converter/zveklc";
    std::string other = "/home/me/old/zveklc";
    test::ScopedEnv home{"HOME", dir / "home"};
    test::ScopedEnv dataHome{"XDG_DATA_HOME", data.string()};
    test::ScopedEnv dataDirs{"XDG_DATA_DIRS", system.string()};
    test::ScopedEnv configHome{"XDG_CONFIG_HOME", dir / "config"};
    test::ScopedEnv path{"PATH", bin.string()};
};

TEST_F(AssociationTest, WhatIsMissingIsWrittenForThisCopyAndThenFoundComplete) {
    auto edit = [&](const std::string& from, const std::string& to) {
        std::string text = test::ReadBytes(desktop);
        ASSERT_NE(text.find(from), std::string::npos) << from;
        test::WriteBytes(desktop, text.replace(text.find(from), from.size(), to));
    };
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"no desktop entry", [&] { fs::remove(desktop); }},
        {"no converter key", [&] { edit("X-ZVEKLC-Converter=", "X-Other="); }},
        {"convert not among the actions", [&] { edit("Actions=convert;", "Actions="); }},
        {"no convert action group", [&] { edit("[Desktop Action convert]", "[Desktop Action other]"); }},
        {"no MIME package, desktop entry for another copy", [&] {
             ASSERT_TRUE(WriteTagLyrAssociation(other));
             fs::remove(mime);
         }},
    };
    for (const auto& [name, damage] : cases) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(WriteTagLyrAssociation(program));
        damage();
        TakeLog();
        EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Repaired);
        EXPECT_EQ(test::ReadBytes(mime), kMimePackage);
        EXPECT_EQ(test::ReadBytes(desktop), DesktopEntry(program));
        EXPECT_EQ(TakeLog(), "update-mime-database " + data.string() + "/mime\nupdate-desktop-database " +
                                 data.string() + "/applications\nxdg-mime default zveklc.desktop text/x-zvek-taglyr\n");
        EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Complete);
        EXPECT_EQ(TakeLog(), "");
    }
}

// A system-wide association counts; the user's own entry, found first,
// hides it, and one for another copy is left alone until the menu command.
TEST_F(AssociationTest, OtherAssociationsAreLeftAlone) {
    {
        test::ScopedEnv installed{"XDG_DATA_HOME", system.string()};
        ASSERT_TRUE(WriteTagLyrAssociation(program));
    }
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Complete);
    EXPECT_EQ(RunTagLyrAssociationCheck(other), AssociationState::Elsewhere);
    EXPECT_FALSE(fs::exists(data));

    ASSERT_TRUE(WriteTagLyrAssociation(other));
    TakeLog();
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Elsewhere);
    EXPECT_FALSE(CheckTagLyrAssociation(program));
    EXPECT_EQ(test::ReadBytes(desktop), DesktopEntry(other));
    EXPECT_EQ(TakeLog(), "");
    ASSERT_TRUE(WriteTagLyrAssociation(program));
    EXPECT_TRUE(CheckTagLyrAssociation(program));
}

TEST_F(AssociationTest, WithoutToolsOrDataHomeTheFilesGoUnderHome) {
    test::ScopedEnv noTools{"PATH", dir / "empty"};
    test::ScopedEnv noDataHome{"XDG_DATA_HOME", std::nullopt};
    EXPECT_TRUE(WriteTagLyrAssociation(program));
    EXPECT_EQ(test::ReadBytes(dir.path() / "home/.local/share/applications/zveklc.desktop"), DesktopEntry(program));
    EXPECT_EQ(TakeLog(), "");
}

TEST_F(AssociationTest, ProgramPathIsQuotedForTheDesktop) {
    // The Exec line and the converter key as the file holds them.
    struct Case { std::string program, exec, converter; } cases[] = {
        {"/opt/50%/zveklc", R"(Exec="/opt/50%%/zveklc" %f)", "/opt/50%/zveklc"},
        {"/opt/a\"b$c`d/zveklc", R"(Exec="/opt/a\\"b\\$c\\`d/zveklc" %f)", "/opt/a\"b$c`d/zveklc"},
        {"/opt/a\\b/zveklc", R"(Exec="/opt/a\\\\b/zveklc" %f)", R"(/opt/a\\b/zveklc)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        ASSERT_TRUE(WriteTagLyrAssociation(c.program));
        const std::string text = test::ReadBytes(desktop);
        EXPECT_NE(text.find("\n" + c.exec + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("\nX-ZVEKLC-Converter=" + c.converter + "\n"), std::string::npos) << text;
        EXPECT_EQ(RunTagLyrAssociationCheck(c.program), AssociationState::Complete);
    }
    EXPECT_FALSE(WriteTagLyrAssociation("/opt/a\nb/zveklc"));
    EXPECT_FALSE(WriteTagLyrAssociation("zveklc"));
}

}  // namespace
}  // namespace zvek
