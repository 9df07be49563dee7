// A small HTTP/1.1 server on 127.0.0.1 for the network tests.
//
// It listens on a free port chosen by the system, answers each connection
// with one response and closes it, and records every request. Handlers are
// registered per path (the query is not part of the match); a request for
// any other path gets 404. Besides plain answers it can redirect, stall
// after the headers, stream a large body, trickle, and hold a response until
// the test opens a named gate. Stopping (the destructor) opens every gate, ends
// every stalled answer and joins every thread, so no test waits on a
// client that has gone.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace zvek::test {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method;
    std::string target;  // as sent: path and query
    std::string path;    // without the query
    HttpHeaders headers;
    std::string userAgent;
};

struct HttpReply {
    int status = 200;
    std::string body;
    HttpHeaders headers;  // Content-Length and Connection are added
};

// The connection of a streaming handler: it writes the whole response,
// status line included, itself.
class ResponseStream {
public:
    virtual ~ResponseStream() = default;
    // False once the client has gone or the server is stopping.
    virtual bool Write(std::string_view bytes) = 0;
    // Blocks until the test opens `gate`; false when the server stops first.
    virtual bool WaitGate(const std::string& gate) = 0;
    // Waits `time`; false when the server stops first.
    virtual bool Sleep(std::chrono::milliseconds time) = 0;
};

// Status line and headers of a response; with `contentLength` negative the
// body is sent chunked (see Chunk).
std::string ResponseHead(int status, const HttpHeaders& headers, long long contentLength);
// One chunk of a chunked body; an empty `data` is the last chunk.
std::string Chunk(std::string_view data);

// Byte i of every generated body: a pattern that does not repeat at 4096,
// so a lost, repeated or reordered chunk shows.
char PatternByte(std::size_t i);
std::string PatternBytes(std::size_t size);

// A local port that nothing listens on (connections to it are refused).
int UnusedPort();

class LoopbackServer {
public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;
    using StreamHandler = std::function<void(const HttpRequest&, ResponseStream&)>;

    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return port_; }
    std::string HostPort() const;                  // "127.0.0.1:PORT"
    std::string Url(std::string_view path) const;  // "http://127.0.0.1:PORT" + path

    void Handle(const std::string& path, Handler handler);
    void HandleStream(const std::string& path, StreamHandler handler);

    void Serve(const std::string& path, int status, std::string body, HttpHeaders headers = {});
    void Redirect(const std::string& path, const std::string& location, int status = 302);
    // Headers declaring `declaredLength` bytes, then `first`, then silence
    // until the server stops.
    void Stall(const std::string& path, std::string first = {}, long long declaredLength = 1 << 20);
    // A body of `size` PatternBytes, with a Content-Length or chunked.
    void Stream(const std::string& path, std::size_t size, bool chunked);
    // Sends `head` (raw bytes: a status line and headers, or nothing), then
    // `piece` every `interval`, `count` times or until the server stops.
    void Trickle(const std::string& path, std::string head, std::string piece, std::chrono::milliseconds interval,
                 int count);
    // Sends the headers at once and `body` only after OpenGate(gate).
    void Hold(const std::string& path, const std::string& gate, std::string body);

    void OpenGate(const std::string& gate);

    std::vector<HttpRequest> Requests() const;
    // Waits until `count` requests for `path` have arrived; false on timeout.
    bool WaitForRequests(const std::string& path, std::size_t count,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    class Connection;

    void AcceptLoop();
    void Answer(int fd);
    bool WaitGate(const std::string& gate);
    bool Sleep(std::chrono::milliseconds time);
    void Stop();

    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};  // readable once the server stops
    int port_ = 0;
    std::thread acceptor_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    std::map<std::string, StreamHandler> routes_;
    std::set<std::string> openGates_;
    std::vector<HttpRequest> requests_;
    std::vector<std::thread> connections_;
};

}  // namespace zvek::test
