#include "web/Inet.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "LoopbackServer.h"
#include "TestSupport.h"

namespace zvek {
namespace {

using test::LoopbackServer;
using Report = std::pair<ProgressStatus, std::uint32_t>;
using Reports = std::vector<Report>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
namespace fs = std::filesystem;

const std::string kNotFetched = "\r\nページを取得できませんでした";
const std::string kTimedOut = "時間切れです（サーバーが応答しないか、遅すぎます）";
const std::string kTooLarge = "ページが大きすぎます（64 KiBまで）";
const std::string kRedirects = "転送（リダイレクト）が多すぎます";
const std::string kNotWeb = "http と https のアドレスしか取得しません";

class InetTest : public ::testing::Test {
protected:
    // Limits short enough that a hanging fetch fails the test quickly, long
    // enough that a busy machine never trips them by accident.
    InetTest() {
        SetLimits([](InetLimits& l) { l.connectTimeout = l.stallTimeout = std::chrono::seconds(5); });
    }
    ~InetTest() override { SetInetLimits(InetLimits{}); }

    void SetLimits(void (*change)(InetLimits&)) {
        InetLimits limits = GetInetLimits();
        change(limits);
        SetInetLimits(limits);
    }

    bool Download(const std::string& url, const std::string& file, Reports* reports = nullptr) {
        TWinInet inet;
        if (reports)
            inet.OnProgress = [reports](TWinInet&, ProgressStatus s, std::uint32_t n) { reports->emplace_back(s, n); };
        return inet.Download(url, file);
    }

    std::vector<std::string> UserAgents(const std::string& path) const {
        std::vector<std::string> agents;
        for (const auto& request : server.Requests())
            if (request.path == path) agents.push_back(request.userAgent);
        return agents;
    }

    // Every way a fetch can fail ends the same way: no file, one error box
    // naming the address and saying why, the status line cleared.
    static void ExpectFailedFetch(const std::string& url, const std::string& file, const test::FakeHost& host,
                                  const std::string& reason) {
        EXPECT_FALSE(fs::exists(file));
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, url + kNotFetched + "\r\n" + reason);
        EXPECT_EQ(host.messages[0].kind, MsgKind::Error);
        EXPECT_EQ(host.messages[0].buttons, MsgButtons::Ok);
        EXPECT_EQ(host.status.back(), "");
    }

    test::TempDir dir;
    test::TempDir runtime;
    // Agent numbers are counted among this test's handles alone, not among
    // other test programs that happen to run at the same time.
    test::ScopedEnv xdg{"XDG_RUNTIME_DIR", runtime.path().string()};
    test::ScopedEnv noProxy{"http_proxy", std::nullopt};
    test::ScopedEnv noProxyAll{"all_proxy", std::nullopt};
    LoopbackServer server;
    test::FakeHost host;
};

TEST_F(InetTest, TenThousandBytesComeInChunksOfAtMost4096WithEveryTotalReported) {
    const std::string body = test::PatternBytes(10000);
    server.Serve("/page.htm", 200, body);
    const std::string url = server.Url("/page.htm");
    Reports reports;
    ASSERT_TRUE(Download(url, dir / "direct.htm", &reports));
    EXPECT_EQ(reports, (Reports{{psConnecting, 0}, {psDownloading, 0}, {psDownloading, 4096}, {psDownloading, 8192},
                                {psDownloading, 10000}, {psDownloading, 10000},  // the empty read at the end
                                {psDisconnecting, 10000}, {psDone, 10000}}));
    EXPECT_EQ(test::ReadBytes(dir / "direct.htm"), body);

    // Through the window every report goes to the status line, cleared at the end.
    ASSERT_TRUE(FetchPage(host, url, dir / "fetched.htm"));
    EXPECT_EQ(host.status, (std::vector<std::string>{url + "に接続中...", "Downloading (0 bytes)",
                                                     "Downloading (4096 bytes)", "Downloading (8192 bytes)",
                                                     "Downloading (10000 bytes)", "Downloading (10000 bytes)",
                                                     "Disconnecting", ""}));
    EXPECT_EQ(test::ReadBytes(dir / "fetched.htm"), body);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(UserAgents("/page.htm"), (std::vector<std::string>{"test_web0", "test_web0"}));
}

// Any 2xx answer is the page, also an empty one, and at most ten redirects
// are followed; everything else fails the same way (result code 12).
TEST_F(InetTest, FetchPageTakesTwoHundredAnswersAndFailsCleanlyOtherwise) {
    SetLimits([](InetLimits& l) {
        l.stallTimeout = milliseconds(300);
        l.maxBodyBytes = 64 * 1024;
    });
    server.Serve("/empty", 200, "");
    server.Serve("/cached", 203, "<html>from a cache</html>", {{"Content-Type", "text/html"}});
    server.Serve("/odd", 299, "<html>odd but fine</html>");
    server.Stream("/sized-at", 64 * 1024, false);
    server.Stream("/chunked-at", 64 * 1024, true);
    // /hop10 -> /hop9 -> ... -> /hop0, which answers: ten redirects.
    for (int i = 1; i <= 11; ++i) server.Redirect("/hop" + std::to_string(i), "/hop" + std::to_string(i - 1));
    server.Serve("/hop0", 200, "arrived");
    server.Redirect("/absolute", server.Url("/hop0"), 301);

    server.Serve("/404", 404, "<html><body>Not here</body></html>", {{"Content-Type", "text/html"}});
    server.Serve("/500-empty", 500, "");
    server.Redirect("/to-404", "/404");
    server.Stall("/stall-before-body", {}, 10000);
    server.Stall("/stall-mid-body", std::string(5000, 'x'), 10000);
    server.Stream("/sized-over", 64 * 1024 + 1, false);
    server.Stream("/chunked-over", 200 * 1024, true);
    server.Redirect("/loop", "/loop");
    server.Redirect("/to-file", "file:///etc/passwd");
    server.Serve("/never", 200, "secret");
    const std::optional<std::string> failed;
    const struct { std::string url; std::optional<std::string> page; std::string reason = {}; } cases[] = {
        {server.Url("/empty"), ""},
        {server.Url("/cached"), "<html>from a cache</html>"},
        {server.Url("/odd"), "<html>odd but fine</html>"},
        {server.Url("/sized-at"), test::PatternBytes(64 * 1024)},
        {server.Url("/chunked-at"), test::PatternBytes(64 * 1024)},
        {server.Url("/hop10"), "arrived"},
        {server.Url("/absolute"), "arrived"},
        {server.Url("/hop11"), failed, kRedirects},
        {server.Url("/stall-before-body"), failed, kTimedOut},
        {server.Url("/stall-mid-body"), failed, kTimedOut},
        {server.Url("/sized-over"), failed, kTooLarge},
        {server.Url("/chunked-over"), failed, kTooLarge},
        {server.Url("/loop"), failed, kRedirects},
        {server.Url("/to-file"), failed, kNotWeb},
        {server.Url("/404"), failed, "HTTP 404 Not Found"},
        {server.Url("/500-empty"), failed, "HTTP 500 Internal Server Error"},
        {server.Url("/to-404"), failed, "HTTP 404 Not Found"},
        {"http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/", failed,
         "サーバーに接続できません（接続を拒否されたか、届きません）"},
        {"file:///etc/passwd", failed, kNotWeb},
        {"ftp://" + server.HostPort() + "/never", failed, kNotWeb},
        {"not an address", failed, "アドレスの形が正しくありません"},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        test::FakeHost window;
        const std::string file = dir / ("missing" + std::to_string(i++) + "/folder/page.htm");
        const auto start = Clock::now();
        EXPECT_EQ(FetchPage(window, c.url, file), c.page.has_value());
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
        if (!c.page) {
            ExpectFailedFetch(c.url, file, window, c.reason);
            continue;
        }
        EXPECT_EQ(test::ReadBytes(file), *c.page);
        EXPECT_TRUE(window.messages.empty());
    }
    EXPECT_TRUE(UserAgents("/never").empty());
    for (const auto& request : server.Requests()) EXPECT_EQ(request.userAgent, "test_web0") << request.path;
    // A page that cannot be stored fails too, and says so.
    test::WriteBytes(dir / "blocker", "");
    test::FakeHost window;
    EXPECT_FALSE(FetchPage(window, server.Url("/empty"), dir / "blocker/page.htm"));
    ExpectFailedFetch(server.Url("/empty"), dir / "blocker/page.htm", window, "一時ファイルを作れません（Not a directory）");
}

TEST_F(InetTest, BigBodiesOfEitherShapeArriveByteForByte) {
    // Large enough that curl hands over many buffers and the transfer has
    // to pause while the reader catches up.
    const std::size_t size = 3 * 1024 * 1024 + 17;
    server.Stream("/sized", size, false);
    server.Stream("/chunked", size, true);
    for (const std::string path : {"/sized", "/chunked"}) {
        ASSERT_TRUE(Download(server.Url(path), dir / path.substr(1))) << path;
        EXPECT_TRUE(test::ReadBytes(dir / path.substr(1)) == test::PatternBytes(size)) << path;
    }
    EXPECT_TRUE(Download(server.Url("/sized"), ""));  // without a file name the body is read and dropped
    // Small reads, far below what curl delivers at once.
    TWinInet inet;
    ASSERT_TRUE(inet.Open());
    ASSERT_TRUE(inet.OpenUrl(server.Url("/chunked")));
    std::string got;
    char buffer[1000];
    for (int n; (n = inet.Read(buffer, sizeof buffer)) > 0;) got.append(buffer, static_cast<std::size_t>(n));
    EXPECT_TRUE(got == test::PatternBytes(size));
    EXPECT_EQ(inet.Read(buffer, sizeof buffer), 0);
}

TEST_F(InetTest, FailureReportsEndWithFailedAndTheBytesSoFar) {
    SetLimits([](InetLimits& l) { l.stallTimeout = milliseconds(200); });
    server.Stall("/stall", std::string(5000, 'x'));
    Reports reports;
    EXPECT_FALSE(Download(server.Url("/stall"), dir / "stall.htm", &reports));
    EXPECT_EQ(reports, (Reports{{psConnecting, 0}, {psDownloading, 0}, {psDownloading, 4096},
                                {psDownloading, 5000},  // what came before the silence
                                {psDisconnecting, 5000}, {psFailed, 5000}}));

    // An address that cannot be opened: nothing after "connecting", and the
    // file already there stays.
    reports.clear();
    test::WriteBytes(dir / "kept.htm", "old");
    EXPECT_FALSE(Download("http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/", dir / "kept.htm", &reports));
    EXPECT_EQ(reports, (Reports{{psConnecting, 0}}));
    EXPECT_EQ(test::ReadBytes(dir / "kept.htm"), "old");

    // An error answer: none of its body is read.
    reports.clear();
    server.Serve("/404", 404, std::string(5000, 'x'));
    EXPECT_FALSE(Download(server.Url("/404"), dir / "404.htm", &reports));
    EXPECT_EQ(reports, (Reports{{psConnecting, 0}, {psDisconnecting, 0}, {psFailed, 0}}));
    EXPECT_FALSE(fs::exists(dir / "404.htm"));
}

// Answers never silent long enough to stall: one byte at a time, an endless
// run of interim answers, a body fast enough but without end. Each ends at
// its own limit (the time shows which) as a failed fetch.
TEST_F(InetTest, TricklesEndAtTheLowSpeedOrTheOverallLimit) {
    server.Trickle("/trickle", "x", milliseconds(20), 400, 1 << 20);
    server.Trickle("/continue", "HTTP/1.1 100 Continue\r\n\r\n", milliseconds(10), 800, LoopbackServer::kUnframed,
                   100);
    server.Trickle("/endless", std::string(2048, 'x'), milliseconds(20), 400, LoopbackServer::kChunked);
    const struct { std::string path; milliseconds lowSpeedTime, totalTimeout, expected; } cases[] = {
        {"/trickle", milliseconds(300), milliseconds(60'000), milliseconds(300)},  // 50 bytes a second
        {"/continue", milliseconds(0), milliseconds(600), milliseconds(600)},      // low-speed check off
        {"/endless", milliseconds(300), milliseconds(600), milliseconds(600)},     // 100 KiB a second
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        InetLimits limits = GetInetLimits();
        limits.lowSpeedTime = c.lowSpeedTime;
        limits.totalTimeout = c.totalTimeout;
        SetInetLimits(limits);
        test::FakeHost window;
        const auto start = Clock::now();
        EXPECT_FALSE(FetchPage(window, server.Url(c.path), dir / "out/page.htm"));
        const auto took = Clock::now() - start;
        EXPECT_GE(took, c.expected - milliseconds(50));
        EXPECT_LT(took, c.expected + std::chrono::seconds(2));
        ExpectFailedFetch(server.Url(c.path), dir / "out/page.htm", window, kTimedOut);
    }
    // The low-speed limit judges the rate, not the length: 10,000 bytes a
    // second against 1,024 run through several of its windows.
    SetLimits([](InetLimits& l) {
        l.lowSpeedTime = milliseconds(200);
        l.totalTimeout = std::chrono::seconds(60);
    });
    server.Trickle("/steady", std::string(200, 's'), milliseconds(20), 40, 40 * 200);
    ASSERT_TRUE(Download(server.Url("/steady"), dir / "steady.htm"));
    EXPECT_EQ(test::ReadBytes(dir / "steady.htm"), std::string(40 * 200, 's'));
}

// A download thread refuses to start without an address or a file, runs one
// download at a time, and delivers the reports of one started without
// waiting to whoever waits for it.
TEST_F(InetTest, DownloadThreadStartsOnlyWithAddressAndFileAndOneAtATime) {
    for (const auto& [url, file] : {std::pair<std::string, std::string>{"", dir / "x.htm"}, {server.Url("/p"), ""}}) {
        TDownloadThread thread(host);
        int reports = 0;
        thread.OnProgress = [&](TDownloadThread&, ProgressStatus, std::uint32_t) { ++reports; };
        EXPECT_FALSE(thread.Start(url, file, true));
        EXPECT_EQ(thread.Status(), psFailed);
        EXPECT_FALSE(thread.Busy());
        EXPECT_EQ(reports, 0);
    }
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(host.processMessagesCalls, 0);

    server.Hold("/held", "go", "body");
    TDownloadThread thread(host);
    Reports reports;
    thread.OnProgress = [&](TDownloadThread& sender, ProgressStatus s, std::uint32_t n) {
        EXPECT_EQ(&sender, &thread);
        reports.emplace_back(s, n);
    };
    ASSERT_TRUE(thread.Start(server.Url("/held"), dir / "held.htm", false));
    ASSERT_TRUE(server.WaitForRequests("/held", 1));
    EXPECT_TRUE(thread.Busy());
    EXPECT_FALSE(thread.Start(server.Url("/held"), dir / "other.htm", true));  // one at a time
    EXPECT_TRUE(reports.empty());
    server.OpenGate("go");
    EXPECT_TRUE(thread.Wait());
    EXPECT_EQ(thread.Status(), psDone);
    EXPECT_EQ(reports.back(), (Report{psDone, 4}));
}

TEST_F(InetTest, QueryInfoAnswersFromTheFinalResponse) {
    server.Redirect("/old", "/new");
    server.Serve("/new", 404, "gone", {{"Content-Type", "text/html; charset=Shift_JIS"}, {"X-Long", std::string(300, 'a')}});
    TWinInet inet;
    EXPECT_EQ(inet.QueryInfo(kHttpQueryStatusCodeNumber), "");  // nothing open
    ASSERT_TRUE(inet.Open());
    ASSERT_TRUE(inet.OpenUrl(server.Url("/old")));
    EXPECT_EQ(inet.QueryInfo(kHttpQueryStatusCode | kHttpQueryFlagNumber), "404");
    EXPECT_EQ(inet.QueryInfo(kHttpQueryStatusCode), "404");
    EXPECT_EQ(inet.QueryInfo(kHttpQueryStatusText), "Not Found");
    EXPECT_EQ(inet.QueryInfo(kHttpQueryContentType), "text/html; charset=Shift_JIS");
    EXPECT_EQ(inet.QueryInfo(kHttpQueryContentType | kHttpQueryFlagNumber), "");  // not a number
    EXPECT_EQ(inet.QueryInfo(kHttpQueryContentLength | kHttpQueryFlagNumber), "4");
    EXPECT_EQ(inet.QueryInfo(kHttpQueryLocation), "");        // the redirect's headers are gone
    EXPECT_EQ(inet.QueryInfo(kHttpQueryRawHeadersCrlf), "");  // over 255 bytes, like any value
    inet.CloseUrl();
    EXPECT_EQ(inet.QueryInfo(kHttpQueryStatusCodeNumber), "");
}

TEST_F(InetTest, EachOpenHandleHasItsOwnAgentNumber) {
    // The first download is held open by the server while the second runs.
    server.Hold("/first", "release", "1");
    server.Serve("/second", 200, "2");
    std::thread first([&] { EXPECT_TRUE(Download(server.Url("/first"), dir / "1.htm")); });
    ASSERT_TRUE(server.WaitForRequests("/first", 1));
    EXPECT_TRUE(Download(server.Url("/second"), dir / "2.htm"));
    server.OpenGate("release");
    first.join();
    EXPECT_TRUE(Download(server.Url("/second"), dir / "3.htm"));  // both closed: the number is free again
    EXPECT_EQ(UserAgents("/first"), std::vector<std::string>{"test_web0"});
    EXPECT_EQ(UserAgents("/second"), (std::vector<std::string>{"test_web1", "test_web0"}));

    // A handle another process holds moves us to the next number until it goes.
    int toParent[2], toChild[2];
    ASSERT_EQ(::pipe(toParent) | ::pipe(toChild), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(toChild[1]);  // so that the parent closing its end is seen here
        TWinInet inet;
        const std::string agent = inet.Open() ? inet.AgentName() : "-";
        char byte;
        if (::write(toParent[1], agent.data(), agent.size()) > 0) (void)!::read(toChild[0], &byte, 1);
        ::_exit(0);
    }
    char agent[64];
    const ssize_t n = ::read(toParent[0], agent, sizeof agent);
    EXPECT_EQ(std::string(agent, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), "test_web0");
    {
        TWinInet inet;
        ASSERT_TRUE(inet.Open());
        EXPECT_EQ(inet.AgentName(), "test_web1");
    }
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) ::close(fd);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    TWinInet inet;
    ASSERT_TRUE(inet.Open());
    EXPECT_EQ(inet.AgentName(), "test_web0");
}

// The lyrics site's page may live under /phplib/ or /members/phplib/: the
// first that answers 200 to a header probe is the one to use.
TEST_F(InetTest, ResolveUtaNetUrlPicksTheAddressThatAnswers200) {
    const std::string hostPort = server.HostPort();
    test::ScopedEnv utaNet{"ZVEKLC_UTANET_HOST", hostPort};
    auto page = [&](const std::string& path) { return "http://" + hostPort + path; };
    server.Serve("/phplib/only-members.php", 404, "<html>no</html>");
    server.Serve("/members/phplib/only-members.php", 200, "<html>yes</html>");
    server.Serve("/phplib/both.php", 200, "");
    server.Serve("/members/phplib/both.php", 200, "");
    server.Serve("/phplib/neither.php", 404, "");
    server.Serve("/members/phplib/neither.php", 500, "");
    server.Redirect("/phplib/moved.php", "/phplib/both.php");
    server.Stall("/phplib/slow.php", "<html>", 1 << 20);  // only the headers are waited for
    const struct { std::string url, expected; } cases[] = {
        {page("/phplib/only-members.php"), page("/members/phplib/only-members.php")},
        {page("/phplib/both.php"), page("/phplib/both.php")},
        {page("/phplib/neither.php"), page("/phplib/neither.php")},
        {page("/phplib/moved.php"), page("/phplib/moved.php")},  // 200 after the redirect
        {page("/phplib/nothing-here.php"), page("/phplib/nothing-here.php")},
        {page("/phplib/slow.php"), page("/phplib/slow.php")},
        // Only the first occurrence is replaced.
        {page("/phplib/only-members.php?from=//" + hostPort + "/phplib/"),
         page("/members/phplib/only-members.php?from=//" + hostPort + "/phplib/")},
        // Other addresses come back without any request.
        {page("/other/page.php"), page("/other/page.php")},
        {page("/PHPLIB/page.php"), page("/PHPLIB/page.php")},  // the path is matched exactly
        {"http://localhost:" + std::to_string(server.Port()) + "/phplib/x",  // same server, other host name
         "http://localhost:" + std::to_string(server.Port()) + "/phplib/x"},
        {"", ""},
    };
    const auto start = Clock::now();
    for (const auto& c : cases) EXPECT_EQ(ResolveUtaNetUrl(c.url), c.expected) << c.url;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    // Where the first address answers, the other is never asked.
    for (const auto& request : server.Requests())
        for (const char* path : {"/members/phplib/both.php", "/other/page.php", "/PHPLIB/page.php", "/phplib/x"})
            EXPECT_NE(request.path, path);
}

TEST_F(InetTest, ConnectTimeoutEndsAConnectionThatIsNeverAccepted) {
    // A listening socket with a full queue: the system drops further
    // connection attempts, so they hang until the client gives up.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    ASSERT_TRUE(::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(fd, 0) == 0 &&
                ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    SetLimits([](InetLimits& l) { l.connectTimeout = milliseconds(300); });
    const auto start = Clock::now();
    EXPECT_FALSE(Download("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/", dir / "x"));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, milliseconds(250));  // it did wait, so nothing refused it
    EXPECT_LT(took, std::chrono::seconds(3));
    for (int filler : fillers) ::close(filler);
    ::close(fd);
}

}  // namespace
}  // namespace zvek
