#include "platform/Association.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "TestSupport.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;

const std::string kMimePackage =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
    "  <mime-type type=\"text/x-zvek-taglyr\">\n"
    "    <comment>ZVEK TagFile</comment>\n"
    "    <comment xml:lang=\"ja\">ZVEK タグファイル</comment>\n"
    "    <sub-class-of type=\"text/plain\"/>\n"
    "    <generic-icon name=\"text-x-generic\"/>\n"
    "    <glob pattern=\"*.taglyr\" case-sensitive=\"false\"/>\n"
    "  </mime-type>\n"
    "</mime-info>\n";

std::string DesktopEntry(const std::string& program) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=ZVEK Lyrics Converter\n"
           "Exec=\"" + program + "\" %f\n"
           "Icon=zveklc\n"
           "Terminal=false\n"
           "Categories=AudioVideo;Audio;\n"
           "MimeType=text/x-zvek-taglyr;\n"
           "Actions=convert;\n"
           "X-ZVEKLC-Converter=" + program + "\n"
           "\n"
           "[Desktop Action convert]\n"
           "Name=Convert\n"
           "Name[ja]=変換\n"
           "Exec=\"" + program + "\" -convert %f\n";
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// Data folders, PATH and the home folder all inside a temporary folder;
// PATH holds fake update tools that note how they were called.
class AssociationTest : public ::testing::Test {
protected:
    AssociationTest() {
        fs::create_directories(bin);
        fs::create_directories(system);
        for (const char* tool : {"update-mime-database", "update-desktop-database", "xdg-mime"}) {
            test::WriteBytes(bin / tool, "#!/bin/sh\nprintf '%s\\n' \"${0##*/} $*\" >> '" + log.string() + "'\n");
            fs::permissions(bin / tool, fs::perms::owner_all);
        }
    }

    std::string Log() const { return fs::exists(log) ? test::ReadBytes(log) : ""; }
    std::string Mime() const { return test::ReadBytes(data / "mime/packages/zveklc-taglyr.xml"); }
    std::string Desktop() const { return test::ReadBytes(data / "applications/zveklc.desktop"); }

    test::TempDir dir;
    fs::path data = dir.path() / "data";
    fs::path system = dir.path() / "system";
    fs::path bin = dir.path() / "bin";
    fs::path log = dir.path() / "tools.log";
    std::string program = "/opt/ZVEK Lyrics Converter/zveklc";
    std::string other = "/home/me/old/zveklc";
    test::ScopedEnv home{"HOME", dir / "home"};
    test::ScopedEnv dataHome{"XDG_DATA_HOME", data.string()};
    test::ScopedEnv dataDirs{"XDG_DATA_DIRS", system.string()};
    test::ScopedEnv configHome{"XDG_CONFIG_HOME", dir / "config"};
    test::ScopedEnv path{"PATH", bin.string()};
};

TEST_F(AssociationTest, FirstStartWritesEverythingThenFindsItComplete) {
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Repaired);
    EXPECT_EQ(Mime(), kMimePackage);
    EXPECT_EQ(Desktop(), DesktopEntry(program));
    EXPECT_EQ(Log(), "update-mime-database " + data.string() + "/mime\n"
                     "update-desktop-database " + data.string() + "/applications\n"
                     "xdg-mime default zveklc.desktop text/x-zvek-taglyr\n");

    fs::remove(log);
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Complete);
    EXPECT_TRUE(CheckTagLyrAssociation(program));
    EXPECT_EQ(Log(), "");
}

TEST_F(AssociationTest, AMissingPieceIsWrittenForThisCopy) {
    const fs::path mime = data / "mime/packages/zveklc-taglyr.xml";
    const fs::path desktop = data / "applications/zveklc.desktop";
    struct Case {
        const char* name;
        std::function<void()> damage;
    };
    const Case cases[] = {
        {"no MIME package", [&] { fs::remove(mime); }},
        {"no desktop entry", [&] { fs::remove(desktop); }},
        {"no converter key",
         [&] { test::WriteBytes(desktop, Replace(Desktop(), "X-ZVEKLC-Converter=" + program + "\n", "")); }},
        {"convert not among the actions",
         [&] { test::WriteBytes(desktop, Replace(Desktop(), "Actions=convert;", "Actions=")); }},
        {"no convert action group", [&] {
             const std::string text = Desktop();
             test::WriteBytes(desktop, text.substr(0, text.find("\n[Desktop Action convert]")));
         }},
        {"no MIME package, desktop entry for another copy", [&] {
             ASSERT_TRUE(WriteTagLyrAssociation(other));
             fs::remove(mime);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteTagLyrAssociation(program));
        c.damage();
        fs::remove(log);
        EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Repaired);
        EXPECT_EQ(Mime(), kMimePackage);
        EXPECT_EQ(Desktop(), DesktopEntry(program));
        EXPECT_NE(Log(), "");
    }
}

TEST_F(AssociationTest, AnotherCopysAssociationIsLeftAlone) {
    ASSERT_TRUE(WriteTagLyrAssociation(other));
    fs::remove(log);
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Elsewhere);
    EXPECT_FALSE(CheckTagLyrAssociation(program));
    EXPECT_EQ(Desktop(), DesktopEntry(other));
    EXPECT_EQ(Log(), "");

    // The menu command takes it over.
    ASSERT_TRUE(WriteTagLyrAssociation(program));
    EXPECT_TRUE(CheckTagLyrAssociation(program));
}

TEST_F(AssociationTest, ASystemWideAssociationCounts) {
    {
        test::ScopedEnv installed{"XDG_DATA_HOME", system.string()};
        ASSERT_TRUE(WriteTagLyrAssociation(program));
    }
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Complete);
    EXPECT_EQ(RunTagLyrAssociationCheck(other), AssociationState::Elsewhere);
    EXPECT_FALSE(fs::exists(data));
}

TEST_F(AssociationTest, MissingToolsAreSkipped) {
    test::ScopedEnv noTools{"PATH", dir / "empty"};
    test::ScopedEnv noDataHome{"XDG_DATA_HOME", std::nullopt};
    EXPECT_TRUE(WriteTagLyrAssociation(program));
    EXPECT_EQ(test::ReadBytes(dir.path() / "home/.local/share/applications/zveklc.desktop"), DesktopEntry(program));
    EXPECT_EQ(Log(), "");
}

TEST_F(AssociationTest, ProgramPathIsQuotedForTheDesktop) {
    struct Case {
        std::string program;
        std::string exec;       // as the file holds it
        std::string converter;  // likewise
    };
    const Case cases[] = {
        {"/opt/50%/zveklc", R"(Exec="/opt/50%%/zveklc" %f)", "/opt/50%/zveklc"},
        {"/opt/a\"b$c`d/zveklc", R"(Exec="/opt/a\\"b\\$c\\`d/zveklc" %f)", "/opt/a\"b$c`d/zveklc"},
        {"/opt/a\\b/zveklc", R"(Exec="/opt/a\\\\b/zveklc" %f)", R"(/opt/a\\b/zveklc)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        ASSERT_TRUE(WriteTagLyrAssociation(c.program));
        const std::string text = Desktop();
        EXPECT_NE(text.find("\n" + c.exec + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("\nX-ZVEKLC-Converter=" + c.converter + "\n"), std::string::npos) << text;
        EXPECT_EQ(RunTagLyrAssociationCheck(c.program), AssociationState::Complete);
    }
    EXPECT_FALSE(WriteTagLyrAssociation("/opt/a\nb/zveklc"));
    EXPECT_FALSE(WriteTagLyrAssociation("zveklc"));
}

}  // namespace
}  // namespace zvek
