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

TEST_F(BrowserTest, ExecLineBecomesArgumentsWithTheAddressAsOneOfThem) {
    // The program is a copy of the recorder in prog/; "@" in the Exec line stands for its path.
    struct Case { const char* program; std::string exec; std::vector<std::string> expected; } cases[] = {
        {"recorder", "\"@\" %u", {url}},
        {"recorder", "@ --flag", {"--flag", url}},  // no code: the address goes last
        {"recorder", "@ --url=%u %i %c %k 100%% %f", {"--url=" + url, "100%", url}},
        {"recorder", "@ \"a b\" \"c\\\\\\\\d\" \"\\\\$HOME\" x\\sy %F", {"a b", "c\\d", "$HOME", "x", "y", url}},
        // Browsers that open a new window on request get asked for one.
        {"firefox", "env MOZ_X=1 @ %u", {"--new-window", url}},  // as snap packages wrap it
        {"google-chrome-stable", "@ --new-window %U", {"--new-window", url}},
        {"librewolf", "@ -P default", {"-P", "default", "--new-window", url}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exec);
        const std::string program = Path(std::string("prog/") + c.program);
        if (!fs::exists(program)) fs::copy_file(Path("prog/recorder"), program);
        std::string exec = c.exec;
        WriteEntry(exec.replace(exec.find('@'), 1, program));
        ASSERT_TRUE(LaunchHtmlHandler(url));
        EXPECT_EQ(Take("handler.args"), c.expected);
    }
    // The id's "-" stands for a folder; the system folders come after the user's.
    fs::remove_all(Path("data/applications"));
    SetHandlerId("vendor-zvek-browser.desktop");
    WriteEntry(Path("prog/recorder") + " %u", "sys/applications/vendor/zvek-browser.desktop");
    ASSERT_TRUE(LaunchHtmlHandler(url));
    EXPECT_EQ(Take("handler.args"), std::vector<std::string>{url});
    EXPECT_FALSE(fs::exists(Path("pwned")));
}

TEST_F(BrowserTest, WithoutAUsableHandlerXdgOpenGetsTheAddress) {
    const std::string recorder = Path("prog/recorder") + " %u";
    struct Case { const char* what; std::string id; int status; std::optional<std::string> exec; } cases[] = {
        {"no handler registered", "", 0, recorder},
        {"query fails", "zvek-browser.desktop", 1, recorder},
        {"id leaves the folder", "../applications/zvek-browser.desktop", 0, recorder},
        {"entry missing", "zvek-browser.desktop", 0, std::nullopt},
        {"open quote", "zvek-browser.desktop", 0, "\"" + recorder},
        {"program missing", "zvek-browser.desktop", 0, Path("prog/nothing") + " %u"},
        {"empty Exec", "zvek-browser.desktop", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(Path("data/applications/zvek-browser.desktop"));
        SetHandlerId(c.id, c.status);
        if (c.exec) WriteEntry(*c.exec);
        EXPECT_FALSE(LaunchHtmlHandler(url));
        ASSERT_TRUE(OpenInBrowser(url));
        EXPECT_EQ(Take("xdg-open.args"), std::vector<std::string>{url});
    }
    EXPECT_FALSE(fs::exists(Path("handler.args")));
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
