#include "web/BrowserPage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "LoopbackServer.h"
#include "TestSupport.h"
#include "lyrics/BrowserCommands.h"
#include "lyrics/Conversions.h"
#include "lyrics/LyricsDocument.h"
#include "tags/TagConversions.h"
#include "web/BrowserUrl.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;
using test::MozLz4;

// A session of two windows; the second is selected, its second tab is, and
// that tab stands at the second of three history entries. The closed window
// and the keys after "windows" are there to be passed over.
std::string Session(const std::string& current) {
    return R"({"version":["sessionrestore",1],"windows":[
      {"tabs":[{"entries":[{"url":"http://w1t1/"}],"index":1}],"selected":1},
      {"tabs":[{"entries":[{"url":"http://w2t1/","title":"x"}],"index":1},
               {"entries":[{"url":"http://w2t2e1/","children":[{"url":"http://frame/"}]},
                           {"url":")" + current + R"(","title":"\u6b4c\u8a5e"},
                           {"url":"http://w2t2e3/"}],"index":2,"attributes":{}}],
       "selected":2,"_closedTabs":[{"state":{"entries":[{"url":"http://closed/"}],"index":1}}]}],
      "selectedWindow":2,"_closedWindows":[{"tabs":[],"selected":1}],"session":{"lastUpdate":1}})";
}

class BrowserPageTest : public ::testing::Test {
protected:
    void WriteSession(const std::string& profile, const std::string& bytes) {
        tmp.Write(profile + "/sessionstore-backups/recovery.jsonlz4", bytes);
    }
    // A default profile under ~/.mozilla/firefox whose session file holds `bytes`.
    void OneProfile(const std::string& bytes) {
        tmp.Write("home/.mozilla/firefox/profiles.ini", "[Profile0]\nIsRelative=1\nPath=p.default\nDefault=1\n");
        WriteSession("home/.mozilla/firefox/p.default", bytes);
    }

    test::TempDir tmp;
    test::ScopedEnv home{"HOME", tmp / "home"};
    test::ScopedEnv config{"XDG_CONFIG_HOME", tmp / "config"};
    test::ScopedEnv runtime{"XDG_RUNTIME_DIR", tmp.path().string()};
    const int closedPort = test::UnusedPort();
    test::LoopbackServer server;
};

TEST_F(BrowserPageTest, DefaultProfileGivesTheSelectedTabsCurrentEntry) {
    const std::string firefox = "home/.mozilla/firefox/";
    // `profile` is the one that holds the expected session.
    const struct { const char* what; std::string ini, profile; } cases[] = {
        {"Default=1 without an installation section",
         "[General]\nStartWithLastProfile=1\n\n[Profile0]\nIsRelative=1\nPath=a.old\n\n[Profile1]\r\nIsRelative=1\r\n"
         "Path=c.mine\r\nDefault=1\r\n",
         "c.mine"},
        {"the first profile when none is marked",
         "[Profile0]\nIsRelative=1\nPath=d.first\n\n[Profile1]\nIsRelative=1\nPath=a.old\n", "d.first"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(tmp.path() / "home");
        tmp.Write(firefox + "profiles.ini", c.ini);
        WriteSession(firefox + "a.old", MozLz4(Session("http://wrong/")));
        WriteSession(firefox + c.profile, MozLz4(Session("http://lyrics.example/song?id=1&x=%20")));
        EXPECT_EQ(GetBrowserPage(closedPort), "http://lyrics.example/song?id=1&x=%20");
    }

    // An installation's default wins over Default=1. With the snap's Firefox
    // too, the session written last wins; a damaged one leaves the other.
    const std::string snap = "home/snap/firefox/common/.mozilla/firefox";
    tmp.Write(snap + "/profiles.ini", "[Profile1]\nPath=s.old\nIsRelative=1\nDefault=1\n[Install4F96D1932A9F858E]\n"
                                  "Default=Profiles/s.default\n[Profile0]\nPath=Profiles/s.default\nIsRelative=1\n");
    WriteSession(snap + "/s.old", MozLz4(Session("http://wrong/")));
    WriteSession(snap + "/Profiles/s.default", MozLz4(Session("http://snap/")));
    OneProfile(MozLz4(Session("http://stale/")));
    fs::last_write_time(tmp / "home/.mozilla/firefox/p.default/sessionstore-backups/recovery.jsonlz4",
                        fs::file_time_type::clock::now() - std::chrono::hours(1));
    EXPECT_EQ(GetBrowserPage(closedPort), "http://snap/");
    WriteSession(snap + "/Profiles/s.default", "mozLz40");
    EXPECT_EQ(GetBrowserPage(closedPort), "http://stale/");
}

// Whatever a session file holds, it gives its page or nothing, quickly and
// without allocating what its header claims. Then the browser's DevTools
// list is asked: its first page with an address is the one shown.
TEST_F(BrowserPageTest, DamagedSessionGivesNothingAndTheDevToolsListItsFirstPage) {
    const std::string session = Session("http://good/"), good = MozLz4(session);
    const struct { const char* what; std::string bytes; } cases[] = {
        {"header only", good.substr(0, 12)},
        {"wrong magic", "mozLz41" + good.substr(7)},
        {"size too small", MozLz4(session, session.size() - 1)},
        {"size too large", MozLz4(session, session.size() + 1)},
        {"size beyond any real session", MozLz4(session, 0xFFFFFFFFu)},
        {"size zero", MozLz4(session, 0)},
        {"JSON broken after the tab", MozLz4(session + ",")},
        {"window zero", MozLz4(R"({"windows":[{"tabs":[{"entries":[{"url":"http://a/"}],"index":1}],"selected":1}],"selectedWindow":0})")},
        {"fractional index", MozLz4(R"({"windows":[{"tabs":[{"entries":[{"url":"http://a/"}],"index":1.5}],"selected":1}],"selectedWindow":1})")},
        {"url not text", MozLz4(R"({"windows":[{"tabs":[{"entries":[{"url":7}],"index":1}],"selected":1}],"selectedWindow":1})")},
        {"windows not a list", MozLz4(R"({"windows":{"0":{}},"selectedWindow":1})")},
        {"nested beyond reason", MozLz4(std::string(200000, '[') + std::string(200000, ']'))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OneProfile(c.bytes);
        EXPECT_EQ(GetBrowserPage(closedPort), "");
    }
    const struct { const char* what; int status; std::string body, expected; } lists[] = {
        {"first page after other targets", 200,
         R"([{"type":"service_worker","url":"http://sw/"},{"type":"page","url":""},{"id":"A","type":"page",)"
         R"("url":"https://first.example/a?b=1","webSocketDebuggerUrl":"ws://x"},{"type":"page","url":"http://second/"}])",
         "https://first.example/a?b=1"},
        {"no page", 200, R"([{"type":"iframe","url":"http://frame/"},{"type":"page"}])", ""},
        {"not JSON", 200, "<html>nope</html>", ""},
        {"error status", 500, R"([{"type":"page","url":"http://error/"}])", ""},
    };
    for (const auto& c : lists) {
        SCOPED_TRACE(c.what);
        server.Serve("/json/list", c.status, c.body);
        EXPECT_EQ(GetBrowserPage(server.Port()), c.expected);
    }
}

// The commands that take the browser's page: a web page comes in as its
// text through the private temporary folder and leaves the document
// untitled; a saved page opens under its own name; the tag maker takes the
// page as its reference.
TEST_F(BrowserPageTest, CommandsTakeThePageTheBrowserShows) {
    const std::string page = test::ReadBytes(ZVEKLC_SAMPLES "/sample.htm"), url = server.Url("/song.htm");
    server.Serve("/song.htm", 200, page, {{"Content-Type", "text/html"}});
    OneProfile(MozLz4(Session(url)));
    test::FakeHost host;
    LyricsDocument doc(host), pageText(host), lyrics(host), expected(host);
    pageText.LoadHtmlBytes(page);
    doc.SetFileName("/x/old.lyr");
    MenuOpenIEClick(doc);
    EXPECT_EQ(doc.Lines(), pageText.Lines());
    EXPECT_EQ(doc.FileName(), "");
    EXPECT_FALSE(fs::exists(doc.OpenedFile()));

    lyrics.SetText(test::ReadBytes(ZVEKLC_SAMPLES "/sample.txt"));
    ConvertTextToZVEK(lyrics);
    expected.SetLines(lyrics.Lines());
    ASSERT_TRUE(MakeTagFile(expected, url));
    MenuConvertFromIEClick(lyrics);
    EXPECT_EQ(lyrics.Lines(), expected.Lines());

    test::WriteBytes(tmp / "saved page.htm", page);
    OneProfile(MozLz4(Session("file://" + (tmp / "saved%20page.htm"))));
    MenuOpenIEClick(doc);
    EXPECT_EQ(doc.FileName(), tmp / "saved page.htm");
    EXPECT_EQ(doc.Lines(), pageText.Lines());
    EXPECT_TRUE(host.messages.empty());
}

TEST(NormalizeBrowserUrl, CleansBrowserAddresses) {
    struct { const char* address; const char* expected; } cases[] = {
        {"<!-- saved from url=(0026)https://example.org/a.htm", "https://example.org/a.htm"},
        {"http://x/a.php?id=3&sentaku=1&x=2", "http://x/a.php?sentaku=1"},
        {"http://x/a.php?x=2&sentaku=1", "http://x/a.php?x=2&sentaku=1"},  // last parameter: whole
        {"http://x/a.php?x=2", "http://x/a.php?x=2"},
        {"FILE:///home/me/My%20Songs/a%41.htm", "/home/me/My Songs/a%41.htm"},
        {"C:\\songs\\a.htm", "C:\\songs\\a.htm"},  // neither: unchanged
    };
    for (const auto& c : cases) EXPECT_EQ(NormalizeBrowserUrl(c.address), c.expected) << c.address;
}

}  // namespace
}  // namespace zvek
