#include "web/Inet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>

#include "LoopbackServer.h"
#include "TestSupport.h"

namespace zvek {
namespace {

using test::LoopbackServer;
using Reports = std::vector<std::pair<ProgressStatus, std::uint32_t>>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
namespace fs = std::filesystem;

const std::string kTimedOut = "時間切れです（サーバーが応答しないか、遅すぎます）";
// What the system says of a file name whose folder is a file.
#ifdef _WIN32
const std::string kThroughAFile = "No such file or directory";
#else
const std::string kThroughAFile = "Not a directory";
#endif

class InetTest : public ::testing::Test {
protected:
    // Limits short enough that a hanging fetch fails the test quickly, long
    // enough that a busy machine never trips them by accident.
    InetTest() {
        SetLimits([](InetLimits& l) { l.connectTimeout = l.stallTimeout = std::chrono::seconds(5); });
    }
    ~InetTest() override { SetInetLimits(InetLimits{}); }

    template <class Change>
    void SetLimits(Change change) {
        InetLimits limits = GetInetLimits();
        change(limits);
        SetInetLimits(limits);
    }

    // Every way a fetch can fail ends the same way: no file, one error box
    // naming the address and saying why, the status line cleared.
    static void ExpectFailedFetch(const std::string& url, const std::string& file, const test::FakeHost& host,
                                  const std::string& reason) {
        EXPECT_FALSE(fs::exists(file));
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, url + "\r\nページを取得できませんでした\r\n" + reason);
        EXPECT_TRUE(host.messages[0].kind == MsgKind::Error && host.messages[0].buttons == MsgButtons::Ok);
        EXPECT_EQ(host.status.back(), "");
    }

    test::TempDir dir, runtime;
    // Agent numbers are counted among this test's handles alone, not among
    // other test programs that happen to run at the same time.
    test::ScopedEnv xdg{"XDG_RUNTIME_DIR", runtime.path().string()};
    LoopbackServer server;
    test::FakeHost host;
};

// A download reports every read (at most 4096 bytes, with the running
// total) and then its end, through the window on the status line; a failed
// one reports what came before the failure.
TEST_F(InetTest, ReportsCountEveryChunkUpToDoneOrFailed) {
    SetLimits([](InetLimits& l) { l.stallTimeout = milliseconds(200); });
    const std::string url = server.Url("/page.htm");
    server.Serve("/page.htm", 200, test::PatternBytes(10000));
    server.Stall("/stall", std::string(5000, 'x'));
    ASSERT_TRUE(FetchPage(host, url, dir / "fetched.htm"));
    EXPECT_EQ(host.status, (std::vector<std::string>{url + "に接続中...", "Downloading (0 bytes)",
                                                     "Downloading (4096 bytes)", "Downloading (8192 bytes)",
                                                     "Downloading (10000 bytes)", "Downloading (10000 bytes)",
                                                     "Disconnecting", ""}));  // the empty read at the end too
    Reports reports;
    TWinInet inet;
    inet.OnProgress = [&reports](TWinInet&, ProgressStatus s, std::uint32_t n) { reports.emplace_back(s, n); };
    EXPECT_FALSE(inet.Download(server.Url("/stall"), dir / "stall.htm"));
    const Reports failed = {{psConnecting, 0},     {psDownloading, 0},      {psDownloading, 4096},
                            {psDownloading, 5000}, {psDisconnecting, 5000}, {psFailed, 5000}};
    EXPECT_EQ(reports, failed);
    EXPECT_FALSE(fs::exists(dir / "stall.htm"));
}

// Any 2xx answer is the page, also an empty one, and at most ten redirects
// are followed; everything else fails the same way, none of it slowly.
TEST_F(InetTest, FetchPageTakesTwoHundredAnswersAndFailsCleanlyOtherwise) {
    SetLimits([](InetLimits& l) {
        l.connectTimeout = l.stallTimeout = milliseconds(300);
        l.maxBodyBytes = 64 * 1024;
    });
    server.Serve("/empty", 200, "");
    server.Serve("/odd", 299, "<html>odd but fine</html>");
    server.Stream("/chunked-at", 64 * 1024, true);
    // /hop10 -> /hop9 -> ... -> /hop0, which answers: ten redirects.
    for (int i = 1; i <= 11; ++i) server.Redirect("/hop" + std::to_string(i), "/hop" + std::to_string(i - 1));
    server.Serve("/hop0", 200, "arrived");
    server.Stall("/stall-before-body", {}, 10000);
    server.Stream("/sized-over", 64 * 1024 + 1, false);
    server.Stream("/chunked-over", 200 * 1024, true);
    server.Redirect("/to-file", "file:///etc/passwd");
    // {the address, the page (none: the fetch fails), why it fails}
    const std::tuple<std::string, std::optional<std::string>, std::string> cases[] = {
        {server.Url("/empty"), "", ""},
        {server.Url("/odd"), "<html>odd but fine</html>", ""},
        {server.Url("/chunked-at"), test::PatternBytes(64 * 1024), ""},
        {server.Url("/hop10"), "arrived", ""},
        {server.Url("/hop11"), std::nullopt, "転送（リダイレクト）が多すぎます"},
        {server.Url("/stall-before-body"), std::nullopt, kTimedOut},
        {"http://127.0.0.1:" + std::to_string(server.FullQueuePort()) + "/", std::nullopt, kTimedOut},
        {server.Url("/sized-over"), std::nullopt, "ページが大きすぎます（64 KiBまで）"},
        {server.Url("/chunked-over"), std::nullopt, "ページが大きすぎます（64 KiBまで）"},
        {server.Url("/to-file"), std::nullopt, "http と https のアドレスしか取得しません"},
        {server.Url("/404"), std::nullopt, "HTTP 404 Not Found"},  // what the server answers for any other path
        {"http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/", std::nullopt,
         "サーバーに接続できません（接続を拒否されたか、届きません）"},
        {"file:///etc/passwd", std::nullopt, "http と https のアドレスしか取得しません"},
        {"not an address", std::nullopt, "アドレスの形が正しくありません"}};
    for (const auto& c : cases) {
        const auto& [url, page, reason] = c;
        SCOPED_TRACE(url);
        test::FakeHost window;
        const std::string file = dir / ("missing" + std::to_string(&c - cases) + "/folder/page.htm");
        const auto start = Clock::now();
        EXPECT_EQ(FetchPage(window, url, file), page.has_value());
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
        if (!page) ExpectFailedFetch(url, file, window, reason);
        else EXPECT_TRUE(window.messages.empty() && test::ReadBytes(file) == *page);
    }
    for (const auto& request : server.Requests()) EXPECT_EQ(request.userAgent, "test_web0") << request.path;
    // A page that cannot be stored fails too, and says so.
    test::WriteBytes(dir / "blocker", "");
    EXPECT_FALSE(FetchPage(host, server.Url("/empty"), dir / "blocker/page.htm"));
    ExpectFailedFetch(server.Url("/empty"), dir / "blocker/page.htm", host,
                      "一時ファイルを作れません（" + kThroughAFile + "）");
}

// Two of a test's own TLS servers: a page arrives only from the one whose
// certificate is trusted.
TEST_F(InetTest, PagesComeOverTlsOnlyFromTrustedServers) {
    LoopbackServer trusted(LoopbackServer::Scheme::Https), stranger(LoopbackServer::Scheme::HttpsStranger);
    test::TrustedCertificate trust(trusted, dir.path().string());
    if (!trust.Trusted()) GTEST_SKIP() << "no test-only way to trust a certificate on this system";
    const std::string body = "<html><body>" + test::PatternBytes(20000) + "</body></html>";
    const std::string url = trusted.Url("/page.htm"), other = stranger.Url("/page.htm");
    trusted.Serve("/page.htm", 200, body);
    stranger.Serve("/page.htm", 200, body);
    EXPECT_FALSE(FetchPage(host, other, dir / "untrusted.htm"));
    ExpectFailedFetch(other, dir / "untrusted.htm", host, "サーバーの証明書を確認できません");
    EXPECT_TRUE(FetchPage(host, url, dir / "trusted.htm"));
    EXPECT_EQ(test::ReadBytes(dir / "trusted.htm"), body);
}

// Bodies large enough that curl hands over many buffers and the transfer
// has to pause while the reader catches up.
TEST_F(InetTest, BigBodiesOfEitherShapeArriveByteForByte) {
    const std::size_t size = 3 * 1024 * 1024 + 17;
    server.Stream("/sized", size, false);
    server.Stream("/chunked", size, true);
    for (const std::string path : {"/sized", "/chunked"}) {
        ASSERT_TRUE(TWinInet().Download(server.Url(path), dir / path.substr(1))) << path;
        EXPECT_TRUE(test::ReadBytes(dir / path.substr(1)) == test::PatternBytes(size)) << path;
    }
    EXPECT_TRUE(TWinInet().Download(server.Url("/sized"), ""));  // without a file name the body is read and dropped
}

// Answers never silent long enough to stall: one byte at a time, an endless
// run of interim answers, a body fast enough but without end. Each ends at
// its own limit (the time shows which) as a failed fetch.
TEST_F(InetTest, TricklesEndAtTheLowSpeedOrTheOverallLimit) {
    server.Trickle("/trickle", "x", milliseconds(20), 400, 1 << 20);
    server.Trickle("/continue", "HTTP/1.1 100 Continue\r\n\r\n", milliseconds(10), 800, LoopbackServer::kUnframed, 100);
    server.Trickle("/endless", std::string(2048, 'x'), milliseconds(20), 400, LoopbackServer::kChunked);
    // {path, lowSpeedTime, totalTimeout, expected}
    const std::tuple<std::string, milliseconds, milliseconds, milliseconds> cases[] = {
        {"/trickle", milliseconds(300), milliseconds(60'000), milliseconds(300)},  // 50 bytes a second
        {"/continue", milliseconds(0), milliseconds(600), milliseconds(600)},      // low-speed check off
        {"/endless", milliseconds(300), milliseconds(600), milliseconds(600)},     // 100 KiB a second
    };
    for (const auto& [path, lowSpeedTime, totalTimeout, expected] : cases) {
        SCOPED_TRACE(path);
        SetLimits([&](InetLimits& l) {
            l.lowSpeedTime = lowSpeedTime;
            l.totalTimeout = totalTimeout;
        });
        test::FakeHost window;
        const auto start = Clock::now();
        EXPECT_FALSE(FetchPage(window, server.Url(path), dir / "out/page.htm"));
        const auto took = Clock::now() - start;
        EXPECT_GE(took, expected - milliseconds(50));
        EXPECT_LT(took, expected + std::chrono::seconds(2));
        ExpectFailedFetch(server.Url(path), dir / "out/page.htm", window, kTimedOut);
    }
    // The low-speed limit judges the rate, not the length: 10,000 bytes a
    // second against 1,024 run through several of its windows.
    SetLimits([](InetLimits& l) {
        l.lowSpeedTime = milliseconds(200);
        l.totalTimeout = std::chrono::seconds(60);
    });
    server.Trickle("/steady", std::string(200, 's'), milliseconds(20), 40, 40 * 200);
    ASSERT_TRUE(TWinInet().Download(server.Url("/steady"), dir / "steady.htm"));
    EXPECT_EQ(test::ReadBytes(dir / "steady.htm"), std::string(40 * 200, 's'));
}

// A download thread refuses to start without an address or a file, runs one
// download at a time, delivers the reports of one started without waiting
// to whoever waits for it, and stops one when asked.
TEST_F(InetTest, DownloadThreadStartsOnlyWithAddressAndFileAndOneAtATime) {
    TDownloadThread thread(host);
    Reports reports;
    thread.OnProgress = [&](TDownloadThread&, ProgressStatus s, std::uint32_t n) { reports.emplace_back(s, n); };
    EXPECT_TRUE(!thread.Start("", dir / "x.htm", true) && !thread.Start(server.Url("/p"), "", true));
    EXPECT_EQ(thread.Status(), psFailed);
    EXPECT_TRUE(server.Requests().empty() && reports.empty() && !thread.Busy());
    EXPECT_EQ(host.processMessagesCalls, 0);

    server.Hold("/held", "go", "body");
    ASSERT_TRUE(thread.Start(server.Url("/held"), dir / "held.htm", false));
    ASSERT_TRUE(server.WaitForRequests("/held", 1));
    EXPECT_TRUE(thread.Busy());
    EXPECT_FALSE(thread.Start(server.Url("/held"), dir / "other.htm", true));  // one at a time
    EXPECT_TRUE(reports.empty());
    server.OpenGate("go");
    EXPECT_TRUE(thread.Wait());
    EXPECT_EQ(std::tuple(thread.Status(), reports.back()), std::tuple(psDone, std::pair(psDone, 4u)));

    // Stopped, a download ends at once as a failure that says so, its file gone.
    server.Hold("/never", "never", "body");
    ASSERT_TRUE(thread.Start(server.Url("/never"), dir / "never.htm", false));
    ASSERT_TRUE(server.WaitForRequests("/never", 1));
    const auto start = Clock::now();
    thread.Cancel();
    EXPECT_FALSE(thread.Wait());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(std::tuple(thread.Status(), thread.FailureReason()), std::tuple(psFailed, "中止しました"));
    EXPECT_FALSE(fs::exists(dir / "never.htm"));
}

TEST_F(InetTest, QueryInfoAnswersFromTheFinalResponse) {
    server.Redirect("/old", "/new");
    server.Serve("/new", 404, "gone",
                 {{"Content-Type", "text/html; charset=Shift_JIS"}, {"X-Long", std::string(300, 'a')}});
    TWinInet inet;
    EXPECT_EQ(inet.QueryInfo(kHttpQueryStatusCodeNumber), "");  // nothing open
    ASSERT_TRUE(inet.Open() && inet.OpenUrl(server.Url("/old")));
    EXPECT_EQ(inet.QueryInfo(kHttpQueryStatusCode), "404");
    EXPECT_EQ(inet.QueryInfo(kHttpQueryStatusText), "Not Found");
    EXPECT_EQ(inet.QueryInfo(kHttpQueryContentType), "text/html; charset=Shift_JIS");
    EXPECT_EQ(inet.QueryInfo(kHttpQueryContentType | kHttpQueryFlagNumber), "");  // not a number
    EXPECT_EQ(inet.QueryInfo(kHttpQueryContentLength | kHttpQueryFlagNumber), "4");
    EXPECT_EQ(inet.QueryInfo(kHttpQueryLocation), "");        // the redirect's headers are gone
    EXPECT_EQ(inet.QueryInfo(kHttpQueryRawHeadersCrlf), "");  // over 255 bytes, like any value
}

// An open handle holds its agent number until it is closed.
TEST_F(InetTest, EachOpenHandleHasItsOwnAgentNumber) {
    TWinInet first, second, third;
    ASSERT_TRUE(first.Open() && second.Open());
    EXPECT_EQ(first.AgentName() + " " + second.AgentName(), "test_web0 test_web1");
    first.Close();
    ASSERT_TRUE(third.Open());
    EXPECT_EQ(third.AgentName(), "test_web0");
}

// The lyrics site's page may live under /phplib/ or /members/phplib/: the
// first that answers 200 to a header probe is the one to use.
TEST_F(InetTest, ResolveUtaNetUrlPicksTheAddressThatAnswers200) {
    test::ScopedEnv utaNet{"ZVEKLC_UTANET_HOST", server.HostPort()};
    server.Serve("/members/phplib/only-members.php", 200, "<html>yes</html>");
    server.Serve("/phplib/first.php", 200, "");
    server.Stall("/phplib/slow.php", "<html>", 1 << 20);  // only the headers are waited for
    // {from, to}
    const std::tuple<std::string, std::string> cases[] = {
        {"/phplib/only-members.php", "/members/phplib/only-members.php"},
        {"/phplib/first.php", "/phplib/first.php"},
        {"/phplib/neither.php", "/phplib/neither.php"},  // both answer 404
        {"/phplib/slow.php", "/phplib/slow.php"},
        {"/other/page.php", "/other/page.php"},  // other addresses come back without any request
    };
    const auto start = Clock::now();
    for (const auto& [from, to] : cases) EXPECT_EQ(ResolveUtaNetUrl(server.Url(from)), server.Url(to)) << from;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    // Where the first address answers, the other is never asked.
    for (const auto& request : server.Requests())
        for (const char* path : {"/members/phplib/first.php", "/other/page.php"}) EXPECT_NE(request.path, path);
}

}  // namespace
}  // namespace zvek
