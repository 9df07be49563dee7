// The desktop's side of the program: the TagLyr file association and the
// browser that opens pages, each against fake desktop tools.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "TestSupport.h"
#include "platform/Association.h"
#include "platform/ShowInBrowser.h"
#include "window/WindowHost.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;

// The MIME package and the desktop entry as written (tests/data/desktop);
// in the entry, @EXEC@ stands for the program's path quoted for the Exec
// lines, @CONVERTER@ for the path as the converter key holds it.
const std::string kMimePackage = test::ReadBytes(ZVEKLC_TEST_DATA "/desktop/zveklc-taglyr.xml");
std::string DesktopEntry(const std::string& exec, const std::string& converter) {
    std::string entry = test::ReadBytes(ZVEKLC_TEST_DATA "/desktop/zveklc.desktop");
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"@EXEC@", exec}, {"@CONVERTER@", converter}})
        for (std::size_t at; (at = entry.find(key)) != std::string::npos;) entry.replace(at, key.size(), value);
    return entry;
}

// The home folder, the data folders and PATH inside a temporary folder. PATH
// holds only fakes, so no real desktop tool or browser can start.
class Desktop : public ::testing::Test {
protected:
    Desktop() { fs::create_directories(tmp / "bin"); }

    void WriteScript(const std::string& name, const std::string& body) {
        test::WriteBytes(tmp / name, "#!/bin/sh\n" + body);
        fs::permissions(tmp / name, fs::perms::owner_all);
    }

    test::TempDir tmp;
    test::ScopedEnv home{"HOME", tmp / "home"};
    test::ScopedEnv dataHome{"XDG_DATA_HOME", tmp / "data"};
    test::ScopedEnv dataDirs{"XDG_DATA_DIRS", tmp / "sys"};
    test::ScopedEnv path{"PATH", tmp / "bin"};
};

// The update tools note how they were called.
class AssociationTest : public Desktop {
protected:
    AssociationTest() {
        for (const std::string tool : {"update-mime-database", "update-desktop-database", "xdg-mime"})
            WriteScript("bin/" + tool, "printf '%s\\n' \"${0##*/} $*\" >> '" + toolsLog + "'\n");
        for (const std::string& copy : {program, other, quoted}) test::WriteBytes(copy, "");
    }

    const std::string data = tmp / "data", mime = data + "/mime/packages/zveklc-taglyr.xml";
    const std::string desktop = data + "/applications/zveklc.desktop", toolsLog = tmp / "tools.log";
    // Installed copies, and one whose path the Exec lines quote.
    const std::string program = tmp / "opt/ZVEK Lyrics Converter/zveklc", other = tmp / "old/zveklc";
    const std::string quoted = tmp / "50% $off/zveklc";
};

TEST_F(AssociationTest, WhatIsMissingIsWrittenForThisCopyAndThenFoundComplete) {
    const std::string entry = DesktopEntry('"' + program + '"', program);
    auto without = [&](const std::string& part) { return std::string(entry).erase(entry.find(part), part.size()); };
    // {name, the desktop entry in place of the one written (none: removed), the MIME package kept}
    const std::tuple<const char*, std::optional<std::string>, bool> cases[] = {
        {"no desktop entry", std::nullopt, true},
        {"no converter key", without("X-ZVEKLC-Converter=" + program + "\n"), true},
        {"convert not among the actions", without("convert;"), true},
        {"no convert action group", without("[Desktop Action convert]\n"), true},
        {"no MIME package, desktop entry for another copy", DesktopEntry('"' + other + '"', other), false}};
    for (const auto& [name, planted, keepMime] : cases) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(WriteTagLyrAssociation(program));
        if (planted) test::WriteBytes(desktop, *planted);
        else fs::remove(desktop);
        if (!keepMime) fs::remove(mime);
        fs::remove(toolsLog);
        EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Repaired);
        EXPECT_EQ(std::tuple(test::ReadBytes(mime), test::ReadBytes(desktop)), std::tuple(kMimePackage, entry));
        EXPECT_EQ(test::ReadBytes(toolsLog), "update-mime-database " + data + "/mime\nupdate-desktop-database " + data +
                                                 "/applications\nxdg-mime default zveklc.desktop text/x-zvek-taglyr\n");
        EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Complete);
    }
}

// A system-wide association counts; the user's own entry, found first,
// hides it, and one for another copy is left alone until the menu command.
// Without a data folder of its own the user's goes under the home folder.
TEST_F(AssociationTest, OtherAssociationsAreLeftAlone) {
    ASSERT_TRUE(WriteTagLyrAssociation(program));
    fs::rename(data, tmp / "sys");  // as a package installs it
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Complete);
    EXPECT_EQ(RunTagLyrAssociationCheck(other), AssociationState::Elsewhere);
    EXPECT_FALSE(fs::exists(data));

    ASSERT_TRUE(WriteTagLyrAssociation(other));
    EXPECT_FALSE(CheckTagLyrAssociation(program));
    EXPECT_EQ(test::ReadBytes(desktop), DesktopEntry('"' + other + '"', other));
    ASSERT_TRUE(WriteTagLyrAssociation(program));
    EXPECT_TRUE(CheckTagLyrAssociation(program));

    test::ScopedEnv noTools{"PATH", tmp / "empty"};
    test::ScopedEnv noDataHome{"XDG_DATA_HOME", std::nullopt};
    EXPECT_TRUE(WriteTagLyrAssociation(program));
    EXPECT_EQ(test::ReadBytes(tmp / "home/.local/share/applications/zveklc.desktop"), test::ReadBytes(desktop));
}

// An association whose program is gone is made anew at start-up; a program
// run from its build folder writes nothing then, but the menu still writes.
TEST_F(AssociationTest, GoneProgramsAreReplacedAndBuildFoldersWriteNothing) {
    ASSERT_TRUE(WriteTagLyrAssociation(tmp / "removed/zveklc"));
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Repaired);

    ASSERT_TRUE(WriteTagLyrAssociation(quoted));  // there, once the quoting is undone
    EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Elsewhere);

    test::WriteBytes(tmp / ("build/src/" + std::string(kBuildTreeMarker)), "");
    fs::remove_all(data);
    EXPECT_EQ(RunTagLyrAssociationCheck(tmp / "build/src/zveklc"), AssociationState::DevelopmentBuild);
    EXPECT_FALSE(fs::exists(data));
    EXPECT_TRUE(WriteTagLyrAssociation(tmp / "build/src/zveklc"));
    EXPECT_EQ(RunTagLyrAssociationCheck(tmp / "build/src/zveklc"), AssociationState::Complete);
}

// Under our names lie things of the user's: the start-up check neither reads
// a pipe nor writes over them; the menu command names them (to ask first)
// and then writes through a link, never replacing it, a pipe or a device.
TEST_F(AssociationTest, StartUpLeavesWhatIsNotOursAlone) {
    const std::string notes = tmp / "notes.txt";
    // {name, plant, menuWrites}
    const std::tuple<const char*, std::function<void()>, bool> cases[] = {
        {"a link to the user's file", [&] { fs::create_symlink(notes, desktop); }, true},
        {"a pipe", [&] { test::MakeFifo(desktop); }, false},
        {"a dangling link", [&] { fs::create_symlink(tmp / "nowhere", desktop); }, false}};
    for (const auto& [name, plant, menuWrites] : cases) {
        SCOPED_TRACE(name);
        fs::create_directories(data + "/applications");
        test::WriteBytes(notes, "mine");
        plant();
        EXPECT_TRUE(test::ReturnsWithoutWaitingOn(
            {desktop}, [&] { EXPECT_EQ(RunTagLyrAssociationCheck(program), AssociationState::Elsewhere); }));
        EXPECT_FALSE(fs::exists(mime));  // nothing half-made
        EXPECT_EQ(ForeignTagLyrAssociationFile(), desktop);
        EXPECT_EQ(WriteTagLyrAssociation(program), menuWrites);
        EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(desktop)));
        EXPECT_EQ(test::ReadBytes(notes) == DesktopEntry('"' + program + '"', program), menuWrites);
        fs::remove_all(data);
    }
}

TEST_F(AssociationTest, ProgramPathIsQuotedForTheDesktop) {
    // The path in the Exec lines and the converter key as the file holds them.
    // {the program, its path in the Exec lines, in the converter key}
    std::tuple<std::string, std::string, std::string> cases[] = {
        {"/opt/50%/zveklc", R"("/opt/50%%/zveklc")", "/opt/50%/zveklc"},
        {"/opt/a\"b$c`d/zveklc", R"("/opt/a\\"b\\$c\\`d/zveklc")", "/opt/a\"b$c`d/zveklc"},
        {"/opt/a\\b/zveklc", R"("/opt/a\\\\b/zveklc")", R"(/opt/a\\b/zveklc)"}};
    for (const auto& [location, exec, converter] : cases) {
        SCOPED_TRACE(location);
        ASSERT_TRUE(WriteTagLyrAssociation(location));
        EXPECT_EQ(test::ReadBytes(desktop), DesktopEntry(exec, converter));
        EXPECT_EQ(RunTagLyrAssociationCheck(location), AssociationState::Complete);
    }
    EXPECT_TRUE(!WriteTagLyrAssociation("/opt/a\nb/zveklc") && !WriteTagLyrAssociation("zveklc"));
}

// The fake xdg-open and the handler's program record their arguments.
class BrowserTest : public Desktop {
protected:
    BrowserTest() {
        WriteScript("bin/xdg-open", Recorder("xdg-open.args"));
        SetHandlerId("zvek-browser.desktop");
        WriteScript("bin/recorder", Recorder("handler.args"));
    }

    // Writes each argument NUL-terminated; the rename makes the record appear whole.
    std::string Recorder(const std::string& record) const {
        const std::string out = tmp / record;
        return "printf '%s\\0' \"$@\" > '" + out + ".part' && /bin/mv '" + out + ".part' '" + out + "'\n";
    }
    // The fake xdg-mime answers only the query for the HTML handler.
    void SetHandlerId(const std::string& answer, int status = 0) {
        WriteScript("bin/xdg-mime", "[ \"$*\" = 'query default text/html' ] || exit 2\nprintf '%s\\n' '" + answer +
                                        "'\nexit " + std::to_string(status) + "\n");
    }
    void WriteEntry(const std::string& exec, const std::string& at = "data/applications/zvek-browser.desktop") {
        test::WriteBytes(tmp / at,
                         "[Desktop Action new]\nExec=/bin/false %u\n\n[Desktop Entry]\nType=Application\n"
                         "Name=Browser\nExec[de]=/bin/false %u\nExec=" +
                             exec + "\nMimeType=text/html;\n");
    }
    // The arguments a started fake received, once it has written them; the record is taken away.
    std::optional<std::vector<std::string>> Take(const std::string& record) const {
        const fs::path file = tmp / record;
        for (int i = 0; i < 1000 && !fs::exists(file); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!fs::exists(file)) return std::nullopt;
        std::vector<std::string> args;
        const std::string bytes = test::ReadBytes(file);
        for (std::size_t start = 0, end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1)
            args.push_back(bytes.substr(start, end - start));
        fs::remove(file);
        return args;
    }

    // Characters a shell would act on, and the address as the gate hands it on.
    const std::string pwned = tmp / "pwned", url = "http://example.invalid/x?q=1 a;c=$(/bin/touch${IFS}" + pwned +
                                                   ")&d=`/bin/touch " + pwned + "`|e\\h%u";
    const std::string sent = "http://example.invalid/x?q=1%20a%3Bc=%24%28/bin/touch%24%7BIFS%7D" + pwned +
                             "%29&d=%60/bin/touch%20" + pwned + "%60%7Ce%5Ch%25u";
    const std::string recorder = tmp / "bin/recorder";
};

// The handler's Exec line, ahead of xdg-open, gives the command, with the address
// as one argument of it; where there is no usable handler, xdg-open gets the address.
TEST_F(BrowserTest, ExecLineBecomesArgumentsWithTheAddressAsOneOfThem) {
    for (const char* name : {"firefox", "google-chrome-stable", "librewolf", "flatpak"})
        fs::copy_file(recorder, (tmp / "bin/") + name);
    // {the handler's Exec line (none: no entry), the arguments it gets
    // (none: xdg-open gets the address), the handler's id, xdg-mime's status}
    const std::string id = "zvek-browser.desktop";
    const std::tuple<std::optional<std::string>, std::vector<std::string>, std::string, int> cases[] = {
        {recorder + " --url %u %i %c %k 100%% %f", {"--url", sent, "100%", sent}, id, 0},
        {recorder + " \"a b\" \"c\\\\\\\\d\" \"\\\\$HOME 5%%\" x\\sy %F",
         {"a b", "c\\d", "$HOME 5%", "x", "y", sent},
         id,
         0},
        // Browsers that open a new window on request get asked for one.
        {"/usr/bin/env MOZ_X=1 firefox %u", {"--new-window", sent}, id, 0},  // as snap packages wrap it
        {(tmp / "bin/google-chrome-stable") + " --new-window %U", {"--new-window", sent}, id, 0},
        {(tmp / "bin/librewolf") + " -P default", {"-P", "default", "--new-window", sent}, id, 0},  // address last
        // A Flatpak browser: the option goes before the addresses it forwards.
        {(tmp / "bin/flatpak") +
             " run --branch=stable --command=firefox --file-forwarding org.mozilla.firefox @@u %u @@",
         {"run", "--branch=stable", "--command=firefox", "--file-forwarding", "org.mozilla.firefox", "--new-window",
          "@@u", sent, "@@"},
         id,
         0},
        {(tmp / "bin/flatpak") + " run --branch=stable org.mozilla.firefox @@u %u @@",  // the application's own command
         {"run", "--branch=stable", "org.mozilla.firefox", "--new-window", "@@u", sent, "@@"},
         id,
         0},
        // A code inside quotes or inside a larger argument may land in a script
        // (more such lines: the desktop fuzz target's regressions).
        {recorder + " \"%i\" --url=%u", {}, id, 0},
        {recorder + " %u", {}, "", 0},                                      // no handler registered
        {recorder + " %u", {}, id, 1},                                      // the query fails
        {recorder + " %u", {}, "../applications/zvek-browser.desktop", 0},  // the id leaves the folder
        {std::nullopt, {}, id, 0},                                          // no entry
        {"\"" + recorder + " %u", {}, id, 0},                               // a quote left open
        {"", {}, id, 0}};                                                   // an empty Exec line
    for (const auto& [exec, expected, handler, status] : cases) {
        SCOPED_TRACE(exec.value_or("no entry") + " for " + handler);
        fs::remove(tmp / "data/applications/zvek-browser.desktop");
        SetHandlerId(handler, status);
        if (exec) WriteEntry(*exec);
        ASSERT_TRUE(OpenInBrowser(url));
        if (expected.empty()) EXPECT_EQ(Take("xdg-open.args"), std::vector<std::string>{sent});
        else EXPECT_EQ(Take("handler.args"), expected);
    }
    EXPECT_FALSE(fs::exists(tmp / "handler.args"));
    // The id's "-" stands for a folder; the system folders come after the user's.
    fs::remove_all(tmp / "data/applications");
    SetHandlerId("vendor-zvek-browser.desktop");
    WriteEntry(recorder + " %u", "sys/applications/vendor/zvek-browser.desktop");
    ASSERT_TRUE(LaunchHtmlHandler(url));
    EXPECT_EQ(Take("handler.args"), std::vector<std::string>{sent});
    EXPECT_FALSE(fs::exists(pwned));
}

// Only web addresses pass, with what a shell acts on encoded; what passed passes again unchanged.
TEST(BrowserAddressTest, OnlyWellFormedWebAddressesPassEncoded) {
    const std::pair<std::string, std::string> passing[] = {
        {"HTTPS://E.C:80/a?x=1&y=+2,3#f@:~", "https://E.C:80/a?x=1&y=+2,3#f@:~"},
        {"http://[::1]?q", "http://[::1]?q"},
        {"http://127.0.0.1:9/$(touch${IFS}x)", "http://127.0.0.1:9/%24%28touch%24%7BIFS%7Dx%29"},
        {"http://h/ \t\"'`;|<>(){}[]*!^\\", "http://h/%20%09%22%27%60%3B%7C%3C%3E%28%29%7B%7D%5B%5D%2A%21%5E%5C"},
        {"http://h#%41%4g%\x7f\xe6\xad\x8c", "http://h#%41%254g%25%7F%E6%AD%8C"}};
    for (const auto& [url, sent] : passing)
        for (const std::string& in : {url, sent}) EXPECT_EQ(BrowserAddress(in), sent) << in;
    const std::string refused[] = {
        "",           "file:///etc/x", "javascript:x()", "/a.desktop",    " http://h/",
        "http:/h",    "http:///h",     "http://u@h/",    "http://h:/",    "http://h:123456/",
        "http://[]/", "http://[::1/",  "http://h x/",    "http://h\\@e/", std::string("http://h/\0", 10)};
    for (const std::string& url : refused) EXPECT_EQ(BrowserAddress(url), std::nullopt) << url;
}

// Two links back to the folder and an id of 100 dashed parts: every way to read it names a folder.
TEST_F(BrowserTest, LinksBackIntoTheApplicationsFolderAreFollowedOnce) {
    fs::create_directories(tmp / "data/applications");
    for (const char* link : {"a", "a-a"}) fs::create_directory_symlink(".", tmp.path() / "data/applications" / link);
    std::string id = "zvek-browser.desktop";
    for (int i = 0; i < 98; ++i) id = "a-" + id;
    SetHandlerId(id);
    std::packaged_task<bool()> open([url = url] { return OpenInBrowser(url); });
    auto started = open.get_future();
    std::thread(std::move(open)).detach();  // a search that never ends must not keep the test waiting
    ASSERT_EQ(started.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_TRUE(started.get());
    EXPECT_EQ(Take("xdg-open.args"), std::vector<std::string>{sent});  // too deep to be a real entry
}

TEST_F(BrowserTest, NothingStartsForAnOptionLikeAddressOrWithoutAProgram) {
    // Browsers take "--something" as an option, and some options run programs; other schemes reach files and scripts.
    EXPECT_FALSE(OpenInBrowser("--utility-cmd-prefix=touch " + pwned) || OpenInBrowser("javascript:x()"));
    // Our own help page goes as a file: address; nothing but an existing .htm/.html file by its absolute path.
    const std::string page = tmp.Write("help 1.html/a#b%c?.html", "<p>");
    ASSERT_TRUE(OpenLocalPageInBrowser(page));
    EXPECT_EQ(Take("xdg-open.args"), std::vector<std::string>{"file://" + tmp / "help%201.html/a%23b%25c%3F.html"});
    for (const std::string& notOurs : {tmp / "help 1.html", tmp.Write("a.txt", ""), tmp / "none.html",
                                       std::string("help 1.html/a#b%c?.html"), "file://" + page})
        EXPECT_FALSE(OpenLocalPageInBrowser(notOurs)) << notOurs;
    // With neither a handler nor xdg-open there is nothing to start.
    fs::remove(tmp / "bin/xdg-open");
    WriteEntry((tmp / "bin/nothing") + " %u");
    EXPECT_FALSE(OpenInBrowser("http://example.invalid/"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(fs::exists(tmp / "handler.args") || fs::exists(tmp / "xdg-open.args"));
}

// The windows' own host goes through the same launcher (the window tests
// script it instead): it starts the browser, or says that it cannot.
TEST_F(BrowserTest, TheWindowsHostStartsTheBrowserOrSaysSo) {
    struct : WindowHost {
        std::vector<std::string> boxes;
        MsgResult ShowMessageBox(std::string_view text, MsgKind, MsgButtons) override {
            boxes.emplace_back(text);
            return MsgResult::Ok;
        }
        bool ShowFileDialog(FileDialog&) override { return false; }
        void ShowStatusText(std::string_view) override {}
        void HandleEvents() override {}
        std::int16_t ScreenCursor() const override { return crDefault; }
        void SetScreenCursor(std::int16_t) override {}
    } host;
    WriteEntry(recorder + " %u");
    EXPECT_TRUE(host.OpenInBrowser(url));
    EXPECT_EQ(Take("handler.args"), std::vector<std::string>{sent});
    fs::remove(tmp / "bin/xdg-open");
    WriteEntry((tmp / "bin/nothing") + " %u");
    EXPECT_FALSE(host.OpenInBrowser("http://example.invalid/"));
    EXPECT_EQ(host.boxes.size(), 1u);
}

}  // namespace
}  // namespace zvek
