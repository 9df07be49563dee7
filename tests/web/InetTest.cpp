#include "web/Inet.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <filesystem>
#include <thread>

#include "LoopbackServer.h"
#include "TestSupport.h"
#include "web/LyricsSites.h"

namespace zvek {
namespace {

using test::HttpHeaders;
using test::LoopbackServer;
using Report = std::pair<ProgressStatus, std::uint32_t>;
using Reports = std::vector<Report>;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const std::string kNotFetched = "\r\nページを取得できませんでした";

class InetTest : public ::testing::Test {
protected:
    InetTest() {
        // Limits short enough that a hanging fetch fails the test quickly,
        // long enough that a busy machine never trips them by accident.
        InetLimits limits;
        limits.connectTimeout = std::chrono::seconds(5);
        limits.stallTimeout = std::chrono::seconds(5);
        SetInetLimits(limits);
    }
    ~InetTest() override { SetInetLimits(InetLimits{}); }

    void SetLimits(void (*change)(InetLimits&)) {
        InetLimits limits = GetInetLimits();
        change(limits);
        SetInetLimits(limits);
    }

    // Downloads directly, recording every report.
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

    test::TempDir dir;
    test::TempDir runtime;
    // The agent numbers are counted among this test's handles alone, not
    // among other test programs that happen to run at the same time.
    const std::string runtimePath = runtime.path().string();
    test::ScopedEnv xdg{"XDG_RUNTIME_DIR", runtimePath};
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
    EXPECT_EQ(reports, (Reports{{psConnecting, 0},
                                {psDownloading, 0},
                                {psDownloading, 4096},
                                {psDownloading, 8192},
                                {psDownloading, 10000},
                                {psDownloading, 10000},  // the empty read at the end
                                {psDisconnecting, 10000},
                                {psDone, 10000}}));
    EXPECT_EQ(test::ReadBytes(dir / "direct.htm"), body);

    // The same through the window: every report on the status line, which is cleared at the end.
    ASSERT_TRUE(FetchPage(host, url, dir / "fetched.htm"));
    EXPECT_EQ(host.status, (std::vector<std::string>{url + "に接続中...", "Downloading (0 bytes)",
                                                     "Downloading (4096 bytes)", "Downloading (8192 bytes)",
                                                     "Downloading (10000 bytes)", "Downloading (10000 bytes)",
                                                     "Disconnecting", ""}));
    EXPECT_EQ(test::ReadBytes(dir / "fetched.htm"), body);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(UserAgents("/page.htm"), (std::vector<std::string>{"test_web0", "test_web0"}));
}

// The window's side: it must keep processing messages while the worker
// waits for the server, and every status-line change must come on the
// window's own thread.
// The user stops a download that waits for its body: it ends at once as a
// failure, the partial file goes, and no error box repeats what the user did.
TEST_F(InetTest, StoppedDownloadFailsAtOnceWithoutAMessage) {
    struct StoppingHost : test::FakeHost {
        bool CancelRequested() override { return processMessagesCalls >= 2; }
    } window;
    server.Hold("/never.htm", "never", "<html>never</html>");
    const std::string file = dir / "stopped.htm";
    const auto start = Clock::now();
    EXPECT_FALSE(FetchPage(window, server.Url("/never.htm"), file));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(window.status.back(), "");
}

TEST_F(InetTest, FetchPageKeepsTheWindowAliveAndUpdatesItFromItsOwnThread) {
    struct WindowHost : test::FakeHost {
        LoopbackServer* server = nullptr;
        std::vector<std::thread::id> statusThreads;
        std::vector<std::thread::id> messageThreads;
        void ProcessMessages() override {
            FakeHost::ProcessMessages();
            messageThreads.push_back(std::this_thread::get_id());
            // The body is sent only once the window has been serviced a few times.
            if (processMessagesCalls == 3) server->OpenGate("body");
        }
        void SetStatusText(std::string_view text) override {
            statusThreads.push_back(std::this_thread::get_id());
            FakeHost::SetStatusText(text);
        }
    } window;
    window.server = &server;
    server.Hold("/held.htm", "body", "<html>late</html>");

    ASSERT_TRUE(FetchPage(window, server.Url("/held.htm"), dir / "held.htm"));
    EXPECT_GE(window.processMessagesCalls, 3);
    EXPECT_EQ(test::ReadBytes(dir / "held.htm"), "<html>late</html>");
    const auto self = std::this_thread::get_id();
    ASSERT_FALSE(window.statusThreads.empty());
    for (const auto& id : window.statusThreads) EXPECT_EQ(id, self);
    for (const auto& id : window.messageThreads) EXPECT_EQ(id, self);
    EXPECT_EQ(window.status.end()[-2], "Disconnecting");
}

TEST_F(InetTest, AnyTwoHundredAnswerIsThePageEvenWhenEmpty) {
    struct Case {
        int status;
        std::string body;
    } cases[] = {
        {200, ""},
        {203, "<html>from a cache</html>"},
        {299, "<html>odd but fine</html>"},
    };
    int i = 0;
    for (const auto& c : cases) {
        const std::string path = "/case" + std::to_string(i++);
        server.Serve(path, c.status, c.body, {{"Content-Type", "text/html"}});
        const std::string file = dir / (path.substr(1) + ".htm");
        EXPECT_TRUE(FetchPage(host, server.Url(path), file)) << c.status;
        ASSERT_TRUE(fs::exists(file)) << c.status;
        EXPECT_EQ(test::ReadBytes(file), c.body);
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(InetTest, BodiesOfEveryShapeArriveByteForByte) {
    // Large enough that curl hands over many buffers and the transfer has
    // to pause while the reader catches up.
    const std::size_t size = 3 * 1024 * 1024 + 17;
    server.Stream("/sized", size, false);
    server.Stream("/chunked", size, true);
    for (const std::string path : {"/sized", "/chunked"}) {
        const std::string file = dir / ("big" + path.substr(1));
        ASSERT_TRUE(Download(server.Url(path), file)) << path;
        EXPECT_TRUE(test::ReadBytes(file) == test::PatternBytes(size)) << path;
    }
    // Small reads, far below what curl delivers at once.
    TWinInet inet;
    ASSERT_TRUE(inet.Open());
    ASSERT_TRUE(inet.OpenUrl(server.Url("/chunked")));
    std::string got;
    char buffer[1000];
    for (int n; (n = inet.Read(buffer, sizeof buffer)) > 0;) got.append(buffer, static_cast<std::size_t>(n));
    EXPECT_TRUE(got == test::PatternBytes(size)) << got.size();
    EXPECT_EQ(inet.Read(buffer, sizeof buffer), 0);
}

TEST_F(InetTest, BodyLimitAllowsExactlyTheCap) {
    SetLimits([](InetLimits& l) { l.maxBodyBytes = 64 * 1024; });
    server.Stream("/sized-at", 64 * 1024, false);
    server.Stream("/chunked-at", 64 * 1024, true);
    EXPECT_TRUE(Download(server.Url("/sized-at"), dir / "a"));
    EXPECT_TRUE(Download(server.Url("/chunked-at"), dir / "b"));
    EXPECT_EQ(fs::file_size(dir / "b"), 64u * 1024);
}

// Every way a fetch can fail ends the same way: no file, result code 12, and
// one error box naming the address; the status line is cleared.
TEST_F(InetTest, FailedFetchesLeaveNoFileAndReportTheAddress) {
    SetLimits([](InetLimits& l) {
        l.stallTimeout = std::chrono::milliseconds(300);
        l.maxBodyBytes = 64 * 1024;
    });
    server.Serve("/404", 404, "<html><body>Not here</body></html>", {{"Content-Type", "text/html"}});
    server.Serve("/500-empty", 500, "");
    server.Redirect("/to-404", "/404");

    server.Stall("/stall-before-body");
    server.Stall("/stall-mid-body", std::string(5000, 'x'));
    server.Stream("/sized-over", 64 * 1024 + 1, false);
    server.Stream("/chunked-over", 200 * 1024, true);
    server.Redirect("/loop", "/loop");
    server.Redirect("/to-file", "file:///etc/passwd");
    server.Serve("/never", 200, "secret");
    const std::string refused = "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/";
    const std::string urls[] = {
        server.Url("/stall-before-body"),
        server.Url("/stall-mid-body"),
        server.Url("/sized-over"),
        server.Url("/chunked-over"),
        server.Url("/loop"),
        server.Url("/to-file"),
        server.Url("/404"),
        server.Url("/500-empty"),
        server.Url("/to-404"),
        refused,
        "file:///etc/passwd",
        "ftp://" + server.HostPort() + "/never",
        "not an address",
    };
    for (const auto& url : urls) {
        test::FakeHost failing;
        const std::string file = dir / "out/page.htm";
        const auto start = Clock::now();
        EXPECT_FALSE(FetchPage(failing, url, file)) << url;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(3)) << url;
        EXPECT_FALSE(fs::exists(file)) << url;
        ASSERT_EQ(failing.messages.size(), 1u) << url;
        EXPECT_EQ(failing.messages[0].text, url + kNotFetched);
        EXPECT_EQ(failing.messages[0].kind, MsgKind::Error);
        EXPECT_EQ(failing.messages[0].buttons, MsgButtons::Ok);
        EXPECT_EQ(failing.status.back(), "") << url;
    }
    EXPECT_TRUE(UserAgents("/never").empty());
}

TEST_F(InetTest, FailureReportsEndWithFailedAndTheBytesSoFar) {
    SetLimits([](InetLimits& l) { l.stallTimeout = std::chrono::milliseconds(200); });
    server.Stall("/stall", std::string(5000, 'x'));
    Reports reports;
    EXPECT_FALSE(Download(server.Url("/stall"), dir / "stall.htm", &reports));
    EXPECT_EQ(reports, (Reports{{psConnecting, 0},
                                {psDownloading, 0},
                                {psDownloading, 4096},
                                {psDownloading, 5000},  // what came before the silence
                                {psDisconnecting, 5000},
                                {psFailed, 5000}}));

    // An address that cannot be opened: nothing after "connecting", and no file.
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

// Answers that are never silent long enough to stall: one byte at a time, an
// endless run of interim answers, a body fast enough but without end. Each
// ends at its own limit (the time shows which) as a failed fetch.
TEST_F(InetTest, TricklesEndAtTheLowSpeedOrTheOverallLimit) {
    using std::chrono::milliseconds;
    server.Trickle("/trickle", "x", milliseconds(20), 400, 1 << 20);
    server.Trickle("/continue", "HTTP/1.1 100 Continue\r\n\r\n", milliseconds(10), 800, LoopbackServer::kUnframed, 100);
    server.Trickle("/endless", std::string(2048, 'x'), milliseconds(20), 400, LoopbackServer::kChunked);
    struct Case {
        std::string path;
        milliseconds lowSpeedTime, totalTimeout, expected;
    } cases[] = {
        {"/trickle", milliseconds(300), milliseconds(60'000), milliseconds(300)},  // 50 bytes a second
        {"/continue", milliseconds(0), milliseconds(600), milliseconds(600)},      // low-speed check off
        {"/endless", milliseconds(300), milliseconds(600), milliseconds(600)},     // 100 KiB a second
    };
    for (const auto& c : cases) {
        InetLimits limits = GetInetLimits();
        limits.lowSpeedTime = c.lowSpeedTime;
        limits.totalTimeout = c.totalTimeout;
        SetInetLimits(limits);
        test::FakeHost failing;
        const std::string file = dir / "out/page.htm";
        const auto start = Clock::now();
        EXPECT_FALSE(FetchPage(failing, server.Url(c.path), file)) << c.path;
        const auto took = Clock::now() - start;
        EXPECT_GE(took, c.expected - milliseconds(50)) << c.path;
        EXPECT_LT(took, c.expected + std::chrono::seconds(2)) << c.path;
        EXPECT_FALSE(fs::exists(file)) << c.path;
        ASSERT_EQ(failing.messages.size(), 1u) << c.path;
        EXPECT_EQ(failing.messages[0].text, server.Url(c.path) + kNotFetched);
    }
}

// The low-speed limit judges the rate, not the length: a transfer well above
// it runs through several of its windows.
TEST_F(InetTest, SlowButSteadyBodiesArrive) {
    SetLimits([](InetLimits& l) { l.lowSpeedTime = std::chrono::milliseconds(200); });
    // 10,000 bytes a second against 1,024, for about 800 ms.
    server.Trickle("/steady", std::string(200, 's'), std::chrono::milliseconds(20), 40, 40 * 200);
    ASSERT_TRUE(Download(server.Url("/steady"), dir / "steady.htm"));
    EXPECT_EQ(test::ReadBytes(dir / "steady.htm"), std::string(40 * 200, 's'));
}

TEST_F(InetTest, RedirectsAreFollowedUpToTheLimit) {
    // /hop10 -> /hop9 -> ... -> /hop1 -> /hop0, which answers: ten redirects.
    for (int i = 1; i <= 11; ++i) server.Redirect("/hop" + std::to_string(i), "/hop" + std::to_string(i - 1));
    server.Serve("/hop0", 200, "arrived");
    EXPECT_TRUE(Download(server.Url("/hop10"), dir / "ten.htm"));
    EXPECT_EQ(test::ReadBytes(dir / "ten.htm"), "arrived");
    EXPECT_FALSE(Download(server.Url("/hop11"), dir / "eleven.htm"));
    EXPECT_FALSE(fs::exists(dir / "eleven.htm"));

    // An absolute address works too, and every hop carries the agent name.
    server.Redirect("/absolute", server.Url("/hop0"), 301);
    EXPECT_TRUE(Download(server.Url("/absolute"), dir / "abs.htm"));
    for (const auto& request : server.Requests()) EXPECT_EQ(request.userAgent, "test_web0") << request.path;
}

TEST_F(InetTest, MissingDestinationFoldersAreCreated) {
    server.Serve("/p", 200, "deep");
    const std::string file = dir / "a/b/c/page.htm";
    ASSERT_TRUE(Download(server.Url("/p"), file));
    EXPECT_EQ(test::ReadBytes(file), "deep");
    // Without a file name the body is read and dropped.
    EXPECT_TRUE(Download(server.Url("/p"), ""));
}

TEST_F(InetTest, StartWithoutAddressOrFileFailsAtOnce) {
    for (const auto& [url, file] : {std::pair<std::string, std::string>{"", dir / "x.htm"},
                                    std::pair<std::string, std::string>{server.Url("/p"), ""}}) {
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
}

TEST_F(InetTest, ThreadStartedWithoutWaitingDeliversItsReportsToWhoeverWaits) {
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
    EXPECT_EQ(inet.QueryInfo(kHttpQueryLocation), "");  // the redirect's headers are gone
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
    // Both are closed now, so the number is free again.
    EXPECT_TRUE(Download(server.Url("/second"), dir / "3.htm"));
    EXPECT_EQ(UserAgents("/first"), std::vector<std::string>{"test_web0"});
    EXPECT_EQ(UserAgents("/second"), (std::vector<std::string>{"test_web1", "test_web0"}));
}

TEST_F(InetTest, AnotherProcessHoldingAHandleMovesUsToTheNextNumber) {
    int toParent[2], toChild[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toChild), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(toParent[0]);
        ::close(toChild[1]);
        TWinInet inet;
        const bool opened = inet.Open();
        const std::string agent = opened ? inet.AgentName() : "-";
        (void)!::write(toParent[1], agent.data(), agent.size());
        ::close(toParent[1]);
        char byte;
        (void)!::read(toChild[0], &byte, 1);  // hold the handle until the parent is done
        ::_exit(0);
    }
    ::close(toParent[1]);
    ::close(toChild[0]);
    char buffer[64];
    const ssize_t n = ::read(toParent[0], buffer, sizeof buffer);
    ::close(toParent[0]);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), "test_web0");
    {
        TWinInet inet;
        ASSERT_TRUE(inet.Open());
        EXPECT_EQ(inet.AgentName(), "test_web1");
    }
    ::close(toChild[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    TWinInet inet;
    ASSERT_TRUE(inet.Open());
    EXPECT_EQ(inet.AgentName(), "test_web0");  // the child's lock went with it
}

class ResolveTest : public InetTest {
protected:
    const std::string hostPort = server.HostPort();
    test::ScopedEnv utaNet{"ZVEKLC_UTANET_HOST", hostPort};
    std::string Page(const std::string& path) { return "http://" + hostPort + path; }
};

TEST_F(ResolveTest, PicksTheAddressThatAnswers200) {
    server.Serve("/phplib/only-members.php", 404, "<html>no</html>");
    server.Serve("/members/phplib/only-members.php", 200, "<html>yes</html>");
    server.Serve("/phplib/both.php", 200, "");
    server.Serve("/members/phplib/both.php", 200, "");
    server.Serve("/phplib/neither.php", 404, "");
    server.Serve("/members/phplib/neither.php", 500, "");
    server.Redirect("/phplib/moved.php", "/phplib/both.php");
    struct Case {
        std::string url;
        std::string expected;
    } cases[] = {
        {Page("/phplib/only-members.php"), Page("/members/phplib/only-members.php")},
        {Page("/phplib/both.php"), Page("/phplib/both.php")},
        {Page("/phplib/neither.php"), Page("/phplib/neither.php")},
        {Page("/phplib/moved.php"), Page("/phplib/moved.php")},  // 200 after the redirect
        {Page("/phplib/nothing-here.php"), Page("/phplib/nothing-here.php")},
        // Only the first occurrence is replaced.
        {Page("/phplib/only-members.php?from=//" + hostPort + "/phplib/"),
         Page("/members/phplib/only-members.php?from=//" + hostPort + "/phplib/")},
    };
    for (const auto& c : cases) EXPECT_EQ(ResolveUtaNetUrl(c.url), c.expected) << c.url;
    // Where the first address answers, the other is never asked.
    for (const auto& request : server.Requests()) EXPECT_NE(request.path, "/members/phplib/both.php");
}

TEST_F(ResolveTest, OtherAddressesComeBackWithoutAnyRequest) {
    const std::string urls[] = {
        Page("/other/page.php"),
        Page("/PHPLIB/page.php"),                                       // the path is matched exactly
        "http://localhost:" + std::to_string(server.Port()) + "/phplib/x",  // same server, other host name
        "",
    };
    for (const auto& url : urls) EXPECT_EQ(ResolveUtaNetUrl(url), url);
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(ResolveTest, OnlyTheHeadersAreFetched) {
    // A body that never comes: waiting for it would take the whole stall time.
    server.Stall("/phplib/slow.php", "<html>", 1 << 20);
    const auto start = Clock::now();
    EXPECT_EQ(ResolveUtaNetUrl(Page("/phplib/slow.php")), Page("/phplib/slow.php"));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
}

TEST_F(InetTest, ConnectTimeoutEndsAConnectionThatIsNeverAccepted) {
    // A listening socket with a full queue: the system drops further
    // connection attempts, so they hang until the client gives up.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 0), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(filler);
    }
    SetLimits([](InetLimits& l) { l.connectTimeout = std::chrono::milliseconds(300); });
    const auto start = Clock::now();
    EXPECT_FALSE(Download("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/", dir / "x"));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(250));  // it did wait, so nothing refused it
    EXPECT_LT(took, std::chrono::seconds(3));
    for (int filler : fillers) ::close(filler);
    ::close(fd);
}

}  // namespace
}  // namespace zvek
