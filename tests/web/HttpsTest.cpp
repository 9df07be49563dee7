// Downloads over https from a TLS server on this machine with a certificate
// made for the test: the page arrives only when the program trusts that
// certificate; otherwise the fetch fails.
#include <gtest/gtest.h>

#include <filesystem>

#include "LoopbackServer.h"
#include "TestSupport.h"
#include "platform/Launch.h"
#include "web/Inet.h"

namespace zvek {
namespace {

TEST(HttpsTest, PagesComeOverTlsOnlyFromTrustedServers) {
    test::TempDir dir;
    const std::string cert = dir / "cert.pem", key = dir / "key.pem";
    if (RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert}) != 0)
        GTEST_SKIP() << "openssl could not make a certificate";
    test::LoopbackServer server(cert, key);
    const std::string body = "<html><body>" + test::PatternBytes(20000) + "</body></html>";
    server.Serve("/page.htm", 200, body);
    test::ScopedEnv runtime{"XDG_RUNTIME_DIR", dir.path().string()};
    test::ScopedEnv noProxy{"https_proxy", std::nullopt};

    test::FakeHost host;
    EXPECT_FALSE(FetchPage(host, server.Url("/page.htm"), dir / "untrusted.htm"));
    EXPECT_FALSE(std::filesystem::exists(dir / "untrusted.htm"));

    const InetLimits usual = GetInetLimits();
    InetLimits trusting = usual;
    trusting.trustedCertificates = cert;
    SetInetLimits(trusting);
    EXPECT_TRUE(FetchPage(host, server.Url("/page.htm"), dir / "trusted.htm"));
    SetInetLimits(usual);
    EXPECT_EQ(test::ReadBytes(dir / "trusted.htm"), body);
}

}  // namespace
}  // namespace zvek
