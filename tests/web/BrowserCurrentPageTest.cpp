#include "web/BrowserCurrentPage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "LoopbackServer.h"
#include "TestSupport.h"
#include "lyrics/Conversions.h"
#include "lyrics/LyricsDocument.h"
#include "lyrics/OpenBrowserPage.h"
#include "tags/TagConversions.h"
#include "web/WebAddress.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;
using test::MozLz4;

// A session of two windows (tests/data/browser/session.json); the second is
// selected, its second tab is, and that tab stands at the second of three
// history entries, whose address is `current`. The closed window and the
// keys after "windows" are there to be passed over.
std::string Session(const std::string& current) {
    std::string session = test::ReadBytes(ZVEKLC_TEST_DATA "/browser/session.json");
    return session.replace(session.find("@CURRENT@"), 9, current);
}

class BrowserCurrentPageTest : public ::testing::Test {
protected:
    void WriteSession(const std::string& profile, const std::string& bytes) {
        tmp.Write(profile + "/sessionstore-backups/recovery.jsonlz4", bytes);
    }
    // A default profile of the user's Firefox whose session file holds `bytes`.
    void OneProfile(const std::string& bytes) {
        tmp.Write(firefox + "profiles.ini", "[Profile0]\nIsRelative=1\nPath=p.default\nDefault=1\n");
        WriteSession(firefox + "p.default", bytes);
    }

    test::TempDir tmp;
    test::UserHome home{tmp.path() / "home"};
    test::ScopedEnv runtime{"XDG_RUNTIME_DIR", tmp.path().string()};
    const std::string firefox = test::FirefoxProfiles("home").generic_string() + "/";
    const int closedPort = test::UnusedPort();
    test::LoopbackServer server;
};

TEST_F(BrowserCurrentPageTest, DefaultProfileGivesTheSelectedTabsCurrentEntry) {
    // `profile` is the one that holds the expected session.
    // {what, ini, profile}
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"Default=1 without an installation section",
         "[General]\nStartWithLastProfile=1\n\n[Profile0]\nIsRelative=1\nPath=a.old\n\n[Profile1]\r\nIsRelative=1\r\n"
         "Path=c.mine\r\nDefault=1\r\n",
         "c.mine"},
        {"the first profile when none is marked",
         "[Profile0]\nIsRelative=1\nPath=d.first\n\n[Profile1]\nIsRelative=1\nPath=a.old\n", "d.first"}};
    for (const auto& [what, ini, profile] : cases) {
        fs::remove_all(tmp.path() / "home");
        tmp.Write(firefox + "profiles.ini", ini);
        WriteSession(firefox + "a.old", MozLz4(Session("http://wrong/")));
        WriteSession(firefox + profile, MozLz4(Session("http://lyrics.example/song?id=1&x=%20")));
        EXPECT_EQ(GetBrowserPage(closedPort), "http://lyrics.example/song?id=1&x=%20") << what;
    }

    // An installation's default wins over Default=1. With the snap's Firefox
    // too, the session written last wins; a damaged one leaves the other.
    if (!test::kLinuxDesktop) return;
    const std::string snap = "home/snap/firefox/common/.mozilla/firefox";
    tmp.Write(snap + "/profiles.ini",
              "[Profile1]\nPath=s.old\nIsRelative=1\nDefault=1\n[Install4F96D1932A9F858E]\n"
              "Default=Profiles/s.default\n[Profile0]\nPath=Profiles/s.default\nIsRelative=1\n");
    WriteSession(snap + "/s.old", MozLz4(Session("http://wrong/")));
    WriteSession(snap + "/Profiles/s.default", MozLz4(Session("http://snap/")));
    OneProfile(MozLz4(Session("http://stale/")));
    fs::last_write_time(tmp / (firefox + "p.default/sessionstore-backups/recovery.jsonlz4"),
                        fs::file_time_type::clock::now() - std::chrono::hours(1));
    EXPECT_EQ(GetBrowserPage(closedPort), "http://snap/");
    WriteSession(snap + "/Profiles/s.default", "mozLz40");
    EXPECT_EQ(GetBrowserPage(closedPort), "http://stale/");
}

// Whatever a session file holds, it gives its page or nothing, quickly and
// without allocating what its header claims. (JSON that is damaged or names
// no page lies among the session fuzz target's regressions, which hold the
// walker against a JSON parser.) Then the browser's DevTools list is asked:
// its first page with an address is the one shown.
TEST_F(BrowserCurrentPageTest, DamagedSessionGivesNothingAndTheDevToolsListItsFirstPage) {
    const std::string session = Session("http://good/"), good = MozLz4(session);
    const std::pair<std::string, std::string> pages[] = {
        {MozLz4(session + std::string(kMaxSessionBytes - session.size(), ' ')), "http://good/"},          // the largest
        {MozLz4(Session(R"(http://x/\u00e9\ud83c\udfb5\"\\\/\n)")), "http://x/\u00e9\U0001F3B5\"\\/\n"},  // escapes
        {MozLz4(Session("http://x/\u00e9\u6b4c\uFF7F\U0001F3B5")),
         "http://x/\u00e9\u6b4c\uFF7F\U0001F3B5"}};  // UTF-8 as it stands
    // Damaged: the header only, the wrong magic, a size too small, zero, too
    // large or beyond any, one declared beyond the cap, and (last, so that
    // the list below is asked) JSON nested beyond reason.
    const std::string damaged[] = {good.substr(0, 12),
                                   "mozLz41" + good.substr(7),
                                   MozLz4(session, session.size() - 1),
                                   MozLz4(session, 0),
                                   MozLz4(session, session.size() + 1),
                                   MozLz4(session, 0xFFFFFFFFu),
                                   MozLz4(session + std::string(kMaxSessionBytes + 1 - session.size(), ' ')),
                                   MozLz4(Session("http://x/\xE0\x80\x80")),  // overlong UTF-8
                                   MozLz4(std::string(200000, '[') + std::string(200000, ']'))};
    for (const auto& [bytes, page] : pages) {
        OneProfile(bytes);
        EXPECT_EQ(GetBrowserPage(closedPort), page);
    }
    for (const std::string& bytes : damaged) {
        OneProfile(bytes);
        EXPECT_EQ(GetBrowserPage(closedPort), "") << bytes.size();
    }
    // {what, status, body, expected}
    const std::tuple<const char*, int, std::string, std::string> lists[] = {
        {"first page after other targets", 200,
         R"([{"type":"service_worker","url":"http://sw/"},{"type":"page","url":""},{"id":"A","type":"page",)"
         R"("url":"https://first.example/a?b=1","webSocketDebuggerUrl":"ws://x"},{"type":"page","url":"http://second/"}])",
         "https://first.example/a?b=1"},
        {"no page", 200, R"([{"type":"iframe","url":"http://frame/"},{"type":"page"}])", ""},
        {"not JSON", 200, "<html>nope</html>", ""},
        {"error status", 500, R"([{"type":"page","url":"http://error/"}])", ""}};
    for (const auto& [what, status, body, expected] : lists) {
        server.Serve("/json/list", status, body);
        EXPECT_EQ(GetBrowserPage(server.Port()), expected) << what;
    }
}

// The commands that take the browser's page: a web page comes in as its
// text through the private temporary folder and leaves the document
// untitled; a saved page opens under its own name; the tag maker takes the
// page as its reference.
TEST_F(BrowserCurrentPageTest, CommandsTakeThePageTheBrowserShows) {
    const std::string page = test::ReadBytes(ZVEKLC_SAMPLES "/sample.htm"), url = server.Url("/song.htm");
    server.Serve("/song.htm", 200, page, {{"Content-Type", "text/html"}});
    OneProfile(MozLz4(Session(url)));
    test::FakeHost host;
    LyricsDocument doc(host), pageText(host), lyrics(host), expected(host);
    pageText.LoadHtmlBytes(page);
    doc.SetFileName("/x/old.lyr");
    MenuOpenIEClick(doc);
    EXPECT_EQ(std::tuple(doc.Lines(), doc.FileName(), fs::exists(doc.OpenedFile())),
              std::tuple(pageText.Lines(), "", false));

    lyrics.SetText(test::ReadBytes(ZVEKLC_SAMPLES "/sample.txt"));
    ConvertTextToZVEK(lyrics);
    const auto zvek = lyrics.Lines();
    expected.SetLines(zvek);
    ASSERT_TRUE(MakeTagFile(expected, url));
    MenuConvertFromIEClick(lyrics);
    EXPECT_EQ(lyrics.Lines(), expected.Lines());

    // A local page is one by its scheme, whatever its path holds; the tag
    // file made from the web page comes back with it. (A folder "http:" is
    // a POSIX name.)
    if (!test::kLinuxDesktop) return;
    const std::string saved = tmp.Write("http:/saved page.htm", page);
    OneProfile(MozLz4(Session("file://" + (tmp / "http:/saved%20page.htm"))));
    MenuOpenIEClick(doc);
    EXPECT_EQ(std::tuple(doc.Lines(), doc.FileName()), std::tuple(pageText.Lines(), saved));
    MenuConvertFromIEClick(lyrics);
    EXPECT_EQ(std::tuple(lyrics.Lines(), host.messages.size()), std::tuple(zvek, 0u));
}

// An address that only holds a page's address, or names a local file that
// is no page, is no page, from either browser: the document stays as it is.
// The window waits for the DevTools list no longer than its limit, and a
// stop ends the wait at once.
TEST_F(BrowserCurrentPageTest, CommandsTakeNothingElseAndNeverHoldTheWindow) {
    const std::string secret = tmp.Write("secret.htm", "secret"), notes = tmp.Write("notes.txt", "notes");
    const std::string song = server.Url("/song.htm");
    server.Serve("/song.htm", 200, "song");
    test::ScopedEnv port{"ZVEKLC_DEVTOOLS_PORT", std::to_string(server.Port())};
    const std::string addresses[] = {"about:blank#file://" + secret,
                                     "about:reader?url=" + song,
                                     "view-source:" + song,
                                     "javascript:'" + song + "'",
                                     secret,
                                     "file://" + notes,
                                     "file://" + notes + "\\u0000.htm"};
    for (const bool fromSession : {true, false}) {
        for (const std::string& address : addresses) {
            SCOPED_TRACE(address);
            fs::remove_all(tmp.path() / "home");
            if (fromSession) OneProfile(MozLz4(Session(address)));
            else server.Serve("/json/list", 200, R"([{"type":"page","url":")" + address + R"("}])");
            test::FakeHost host;
            LyricsDocument doc(host);
            doc.SetText("lyrics\r\n");
            MenuOpenIEClick(doc);
            MenuConvertFromIEClick(doc);
            EXPECT_EQ(doc.Text(), "lyrics\r\n");
            ASSERT_EQ(host.messages.size(), 2u);
            EXPECT_EQ(host.messages[0].text + host.messages[1].text,
                      std::string(kNoBrowserPageText) + kNoBrowserPageText);
        }
    }

    server.Trickle("/json/list", " ", std::chrono::milliseconds(1500), 100, 1000);
    struct StoppingHost : test::FakeHost {
        std::function<bool()> stop = [] { return false; };
        bool CancelRequested() override { return stop(); }
    } host;
    LyricsDocument doc(host);
    doc.SetText("lyrics\r\n");
    const auto held = [&doc](void (*command)(LyricsDocument&)) {
        const auto start = std::chrono::steady_clock::now();
        command(doc);
        return std::chrono::steady_clock::now() - start;
    };
    EXPECT_LT(held(MenuConvertFromIEClick), std::chrono::seconds(10));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, kNoBrowserPageText);
    const std::size_t asked = server.Requests().size();
    host.stop = [&] { return server.Requests().size() > asked; };
    EXPECT_LT(held(MenuOpenIEClick), std::chrono::seconds(2));
    EXPECT_EQ(std::tuple(host.messages.size(), doc.Text()), std::tuple(1u, "lyrics\r\n"));
}

TEST(NormalizeBrowserUrl, CleansBrowserAddresses) {
    // {address, expected}
    std::tuple<const char*, const char*> cases[] = {
        {"http://x/a.php?id=3&sentaku=1&x=2", "http://x/a.php?sentaku=1"},
        {"HTTPS://x/a.php?x=2&sentaku=1", "HTTPS://x/a.php?x=2&sentaku=1"},  // last parameter: whole
        {"FILE:///home/me/My%20Songs/a%41.htm", "/home/me/My Songs/a%41.htm"},
        // No page: a control character, an address with no scheme of its own
        // (more, through the commands, in CommandsTakeNothingElse...).
        {"file:///home/me/a.htm\t", ""},
        {"<!-- saved from url=(0026)https://example.org/a.htm", ""},
        {"C:\\a.htm", ""}};
    for (const auto& [address, expected] : cases) EXPECT_EQ(NormalizeBrowserUrl(address), expected) << address;
}

}  // namespace
}  // namespace zvek
