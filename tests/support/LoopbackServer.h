// An HTTP server on 127.0.0.1 for the network tests (HTTPS with a
// certificate of its own), on a port the system picks. Answers are
// registered per path (the query is not part of the match); any other path
// gets 404. Every request is recorded. Besides plain answers it redirects,
// stalls after the headers, streams big bodies, trickles, and holds a body
// until the test opens a named gate. The destructor ends every held or
// stalled answer before it stops the server, so no test waits on a client
// that has gone.
//
// The server is always a Linux process's (cpp-httplib, posix/): in the
// Windows tests, which run under Wine, each LoopbackServer drives one in a
// helper process of its own (host/LoopbackHost) over a loopback connection
// (windows/), so both builds fetch from the same servers.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zvek::test {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string path;  // without the query
    std::string userAgent;
};

// `size` bytes of a pattern that does not repeat at 4096, starting at byte
// `from`, so a lost, repeated or reordered piece of a body shows.
std::string PatternBytes(std::size_t size, std::size_t from = 0);

// A local port that nothing listens on (connections to it are refused).
int UnusedPort();

class LoopbackServer {
public:
    // Body lengths for Trickle besides a byte count: chunked, or no framing
    // at all (the bytes follow the headers raw until the connection closes).
    static constexpr long long kChunked = -1, kUnframed = -2;
    enum class Scheme { Http, Https };

    // An https server makes its certificate with openssl, for "localhost"
    // and 127.0.0.1, and throws std::runtime_error when it cannot.
    explicit LoopbackServer(Scheme scheme = Scheme::Http);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return port_; }
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
    // An https server's addresses name it "localhost", the name its
    // certificate is checked against everywhere (Wine's check of a
    // certificate's IP address does not match).
    std::string Url(std::string_view path) const;
    // The https server's certificate (PEM); empty for http.
    const std::string& Certificate() const { return certificate_; }
    // A port on this machine where connections are never accepted (its
    // listener's queue is full), so a connection attempt hangs until the
    // client gives up. It stays so while the server lives.
    int FullQueuePort();

    void Serve(const std::string& path, int status, std::string body, HttpHeaders headers = {});
    void Redirect(const std::string& path, const std::string& location, int status = 302);
    // Headers declaring `declaredLength` bytes, then `first`, then silence
    // until the server stops.
    void Stall(const std::string& path, std::string first = {}, long long declaredLength = 1 << 20);
    // A body of `size` PatternBytes, with a Content-Length or chunked.
    void Stream(const std::string& path, std::size_t size, bool chunked);
    // Sends the headers of a `length`-byte body, then `piece` every
    // `interval`, `count` times or until the server stops.
    void Trickle(const std::string& path, std::string piece, std::chrono::milliseconds interval, int count,
                 long long length, int status = 200);
    // Sends the headers at once and `body` only after OpenGate(gate).
    void Hold(const std::string& path, const std::string& gate, std::string body);
    void OpenGate(const std::string& gate);

    std::vector<HttpRequest> Requests() const;
    // Waits until `count` requests for `path` have arrived; false on timeout.
    bool WaitForRequests(const std::string& path, std::size_t count,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    struct Impl;  // the server itself, or the connection to its helper process
    std::unique_ptr<Impl> impl_;
    Scheme scheme_;
    int port_ = 0;
    std::string certificate_;
};

// Trusts `server`'s certificate for the program's https fetches while the
// object lives, through each system's test-only way: libcurl trusts exactly
// that certificate (InetLimits::trustedCertificates, written to `folder`);
// under WinINet it goes into the user's Root store of the private Wine
// prefix, and only there: never into a real Windows user's store. Windows
// reads that store when a process makes its first https connection, so
// trust comes before the first https fetch of the test.
class TrustedCertificate {
public:
    TrustedCertificate(const LoopbackServer& server, const std::string& folder);
    ~TrustedCertificate();
    TrustedCertificate(const TrustedCertificate&) = delete;
    TrustedCertificate& operator=(const TrustedCertificate&) = delete;
    // False when this system offers no test-only way (Windows outside Wine).
    bool Trusted() const { return trusted_; }

private:
    bool trusted_ = false;
    std::string undo_;
};

// Messages between a LoopbackServer in a Windows test and its helper
// process: a count of fields, then each field, every number as decimal text
// ended by a newline and every field's length coming before its bytes.
std::string EncodeMessage(const std::vector<std::string>& fields);
// Takes one message off the front of `buffer`; nothing while it is not all
// there (or is no message).
bool DecodeMessage(std::string& buffer, std::vector<std::string>& fields);

}  // namespace zvek::test
