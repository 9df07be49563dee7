// An HTTP server on 127.0.0.1 for the network tests (HTTPS when given a
// certificate), on a port the system picks; a native Linux process in
// both builds. Answers are registered per path
// (the query is not part of the match); any other path gets 404. Every
// request is recorded. Besides plain answers it redirects, stalls after the
// headers, streams big bodies, trickles, and holds a body until the test
// opens a named gate. The destructor ends every held or stalled answer
// before it stops the server, so no test waits on a client that has gone.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
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

    LoopbackServer() : LoopbackServer({}, {}) {}
    LoopbackServer(const std::string& certFile, const std::string& keyFile);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return port_; }
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string Url(std::string_view path) const { return scheme_ + HostPort() + std::string(path); }

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
    // The server itself: in this process on Linux; on Windows a helper
    // process of the Linux build, so that the server stays a native Linux
    // program whichever build's client it serves.
    struct Engine;
    std::unique_ptr<Engine> engine_;
    std::string scheme_;
    int port_ = 0;
};

}  // namespace zvek::test
