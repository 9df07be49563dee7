#include "platform/Browser.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "TestSupport.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;
using Args = std::optional<std::vector<std::string>>;

class BrowserTest : public ::testing::Test {
protected:
    // The fakes stand first in PATH; everything a browser would be is one of
    // them, so no real browser or desktop tool can start.
    BrowserTest() {
        for (const char* folder : {"home", "data/applications", "sys", "bin", "prog"})
            fs::create_directories(tmp.path() / folder);
        WriteScript("bin/xdg-open", Recorder("xdg-open.args"));
        SetHandlerId("zvek-browser.desktop");
        WriteScript("prog/recorder", Recorder("handler.args"));
    }

    std::string Path(const std::string& name) const { return tmp / name; }
    void WriteScript(const std::string& name, const std::string& body) {
        test::WriteBytes(Path(name), "#!/bin/sh\n" + body);
        fs::permissions(Path(name), fs::perms::owner_all);
    }
    // Writes each argument NUL-terminated; the rename makes the record appear whole.
    std::string Recorder(const std::string& record) const {
        const std::string out = Path(record);
        return "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > '" + out + ".part'\nmv '" + out + ".part' '" + out + "'\n";
    }
    // The fake xdg-mime answers only the query for the HTML handler.
    void SetHandlerId(const std::string& answer, int status = 0) {
        WriteScript("bin/xdg-mime", "[ \"$*\" = 'query default text/html' ] || exit 2\nprintf '%s\\n' '" + answer +
                                        "'\nexit " + std::to_string(status) + "\n");
    }
    void WriteEntry(const std::string& exec, const std::string& at = "data/applications/zvek-browser.desktop") {
        fs::create_directories(fs::path(Path(at)).parent_path());
        test::WriteBytes(Path(at), "[Desktop Action new]\nExec=/bin/false %u\n\n[Desktop Entry]\nType=Application\n"
                                   "Name=Browser\nExec[de]=/bin/false %u\nExec=" + exec + "\nMimeType=text/html;\n");
    }
    // The arguments a started fake received, once it has written them; the record is taken away.
    Args Take(const std::string& record) const {
        const fs::path file = Path(record);
        for (int i = 0; i < 1000 && !fs::exists(file); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!fs::exists(file)) return std::nullopt;
        std::vector<std::string> args;
        const std::string bytes = test::ReadBytes(file);
        for (std::size_t start = 0, end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1)
            args.push_back(bytes.substr(start, end - start));
        fs::remove(file);
        return args;
    }

    test::TempDir tmp;
    // Every character a shell or a command line splitter would act on.
    const std::string url = "http://example.invalid/x?q=1 a b;c=$(touch " + Path("pwned") + ")&d=`touch " +
                            Path("pwned") + "`|e\"f'g\\h%u";
    test::ScopedEnv home{"HOME", Path("home")};
    test::ScopedEnv dataHome{"XDG_DATA_HOME", Path("data")};
    test::ScopedEnv dataDirs{"XDG_DATA_DIRS", Path("sys")};
    test::ScopedEnv path{"PATH", Path("bin") + ":/usr/bin:/bin"};
};

// The handler's Exec line gives the command, with the address as one argument
// of it; where there is no usable handler, xdg-open gets the address.
TEST_F(BrowserTest, ExecLineBecomesArgumentsWithTheAddressAsOneOfThem) {
    for (const char* name : {"firefox", "google-chrome-stable", "librewolf"})
        fs::copy_file(Path("prog/recorder"), Path("prog/") + name);
    // "@" in the Exec line stands for the path of prog/`program`; nothing expected: xdg-open gets the address.
    struct Case {
        std::optional<std::string> exec;
        std::vector<std::string> expected;
        const char* program = "recorder";
        std::string id = "zvek-browser.desktop";
        int status = 0;
    } cases[] = {
        {"\"@\" %u", {url}},
        {"@ --flag", {"--flag", url}},  // no code: the address goes last
        {"@ --url=%u %i %c %k 100%% %f", {"--url=" + url, "100%", url}},
        {"@ \"a b\" \"c\\\\\\\\d\" \"\\\\$HOME\" x\\sy %F", {"a b", "c\\d", "$HOME", "x", "y", url}},
        // Browsers that open a new window on request get asked for one.
        {"env MOZ_X=1 @ %u", {"--new-window", url}, "firefox"},  // as snap packages wrap it
        {"@ --new-window %U", {"--new-window", url}, "google-chrome-stable"},
        {"@ -P default", {"-P", "default", "--new-window", url}, "librewolf"},
        {"@ %u", {}, "recorder", ""},                                         // no handler registered
        {"@ %u", {}, "recorder", "zvek-browser.desktop", 1},                  // the query fails
        {"@ %u", {}, "recorder", "../applications/zvek-browser.desktop"},     // the id leaves the folder
        {std::nullopt, {}},                                                   // no entry
        {"\"@ %u", {}},                                                       // a quote left open
        {"@ %u", {}, "nothing"},                                              // no such program
        {"", {}},                                                             // an empty Exec line
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exec.value_or("no entry") + " for " + c.id);
        fs::remove(Path("data/applications/zvek-browser.desktop"));
        SetHandlerId(c.id, c.status);
        std::string exec = c.exec.value_or("");
        if (const std::size_t at = exec.find('@'); at != std::string::npos)
            exec.replace(at, 1, Path("prog/") + c.program);
        if (c.exec) WriteEntry(exec);
        ASSERT_TRUE(OpenInBrowser(url));
        if (c.expected.empty()) EXPECT_EQ(Take("xdg-open.args"), std::vector<std::string>{url});
        else EXPECT_EQ(Take("handler.args"), c.expected);
    }
    EXPECT_FALSE(fs::exists(Path("handler.args")));
    // The id's "-" stands for a folder; the system folders come after the user's.
    fs::remove_all(Path("data/applications"));
    SetHandlerId("vendor-zvek-browser.desktop");
    WriteEntry(Path("prog/recorder") + " %u", "sys/applications/vendor/zvek-browser.desktop");
    ASSERT_TRUE(LaunchHtmlHandler(url));
    EXPECT_EQ(Take("handler.args"), std::vector<std::string>{url});
    EXPECT_FALSE(fs::exists(Path("pwned")));
}

TEST_F(BrowserTest, HandlerComesFirstAndNothingStartsForAnOptionLikeAddress) {
    WriteEntry(Path("prog/recorder") + " %u");
    ASSERT_TRUE(OpenInBrowser("http://example.invalid/"));
    EXPECT_EQ(Take("handler.args"), std::vector<std::string>{"http://example.invalid/"});
    // Browsers take "--something" as an option, and some options run programs.
    EXPECT_FALSE(OpenInBrowser("--utility-cmd-prefix=touch " + Path("pwned")));
    EXPECT_FALSE(OpenInBrowser(""));
    // With neither a handler nor xdg-open (PATH holds only the fakes' folder,
    // so a real xdg-open cannot stand in), there is nothing to start.
    fs::remove(Path("bin/xdg-open"));
    WriteEntry(Path("prog/nothing") + " %u");
    {
        test::ScopedEnv onlyFakes{"PATH", Path("bin")};
        EXPECT_FALSE(OpenInBrowser("http://example.invalid/"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(fs::exists(Path("handler.args")) || fs::exists(Path("xdg-open.args")));
}

}  // namespace
}  // namespace zvek
