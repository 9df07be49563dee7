// Downloads over https from a real TLS server on this machine: openssl's own
// test server with a certificate made for the test. The page arrives only
// when the program trusts that certificate; otherwise the fetch fails.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackServer.h"
#include "TestSupport.h"
#include "platform/Launch.h"
#include "web/Inet.h"

extern char** environ;

namespace zvek {
namespace {

namespace fs = std::filesystem;

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// `openssl s_server -WWW` serving the files of `folder`, until destroyed.
class TlsServer {
public:
    TlsServer(const fs::path& folder, int port) {
        const std::string accept = std::to_string(port);
        std::vector<std::string> argv = {"openssl", "s_server", "-quiet", "-WWW", "-accept", "127.0.0.1:" + accept,
                                         "-cert", (folder / "cert.pem").string(), "-key",
                                         (folder / "key.pem").string()};
        std::vector<char*> args;
        for (auto& arg : argv) args.push_back(arg.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addchdir_np(&files, folder.c_str());
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
        if (posix_spawnp(&pid_, "openssl", &files, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&files);
        for (int i = 0; i < 100 && pid_ > 0 && !Accepts(port); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~TlsServer() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    bool Running() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
};

TEST(HttpsTest, PagesComeOverTlsOnlyFromTrustedServers) {
    test::TempDir dir;
    const fs::path folder = dir.path();
    const int made = RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                                 "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                                 (folder / "key.pem").string(), "-out", (folder / "cert.pem").string()});
    if (made != 0) GTEST_SKIP() << "openssl could not make a certificate";
    const std::string body = "<html><body>" + test::PatternBytes(20000) + "</body></html>";
    test::WriteBytes(folder / "page.htm", body);
    const int port = test::UnusedPort();
    TlsServer server(folder, port);
    ASSERT_TRUE(server.Running());
    ASSERT_TRUE(Accepts(port));
    test::ScopedEnv runtime{"XDG_RUNTIME_DIR", folder.string()};
    test::ScopedEnv noProxy{"https_proxy", std::nullopt};
    const std::string url = "https://127.0.0.1:" + std::to_string(port) + "/page.htm";

    test::FakeHost host;
    EXPECT_FALSE(FetchPage(host, url, (folder / "untrusted.htm").string()));
    EXPECT_FALSE(fs::exists(folder / "untrusted.htm"));

    const InetLimits usual = GetInetLimits();
    InetLimits trusting = usual;
    trusting.trustedCertificates = (folder / "cert.pem").string();
    SetInetLimits(trusting);
    EXPECT_TRUE(FetchPage(host, url, (folder / "trusted.htm").string()));
    SetInetLimits(usual);
    EXPECT_EQ(test::ReadBytes(folder / "trusted.htm"), body);
}

}  // namespace
}  // namespace zvek
