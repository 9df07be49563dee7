#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

namespace zvek::test {

namespace {

constexpr std::size_t kMaxRequestHead = 64 * 1024;

const char* Reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 303: return "See Other";
        case 307: return "Temporary Redirect";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int BoundPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("getsockname failed");
    return ntohs(address.sin_port);
}

}  // namespace

std::string ResponseHead(int status, const HttpHeaders& headers, long long contentLength) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
    for (const auto& [name, value] : headers) head += name + ": " + value + "\r\n";
    if (contentLength >= 0) head += "Content-Length: " + std::to_string(contentLength) + "\r\n";
    else head += "Transfer-Encoding: chunked\r\n";
    head += "Connection: close\r\n\r\n";
    return head;
}

std::string Chunk(std::string_view data) {
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", data.size());
    return size + std::string(data) + "\r\n";
}

char PatternByte(std::size_t i) { return static_cast<char>((i * 7 + i / 251) & 0xFF); }

std::string PatternBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = PatternByte(i);
    return bytes;
}

int UnusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in address = Loopback(0);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        throw std::runtime_error("bind failed");
    }
    const int port = BoundPort(fd);
    ::close(fd);  // bound but never listening: nothing answers there now
    return port;
}

// One accepted connection; non-blocking, so every wait can also watch the
// server's stop signal.
class LoopbackServer::Connection : public ResponseStream {
public:
    Connection(LoopbackServer& server, int fd) : server_(server), fd_(fd) {}
    ~Connection() override { ::close(fd_); }

    bool Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && Await(POLLOUT)) continue;
            return false;
        }
        return true;
    }

    bool WaitGate(const std::string& gate) override { return server_.WaitGate(gate); }
    bool Sleep(std::chrono::milliseconds time) override { return server_.Sleep(time); }

    // The request line and headers; false when the client sent none.
    bool ReadHead(HttpRequest& request) {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos) {
            if (head.size() > kMaxRequestHead) return false;
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0) head.append(buffer, static_cast<std::size_t>(n));
            else if (n < 0 && errno == EINTR) continue;
            else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && Await(POLLIN)) continue;
            else return false;
        }
        std::size_t lineEnd = head.find("\r\n");
        const std::string line = head.substr(0, lineEnd);
        const std::size_t a = line.find(' '), b = line.rfind(' ');
        if (a == std::string::npos || b <= a) return false;
        request.method = line.substr(0, a);
        request.target = line.substr(a + 1, b - a - 1);
        request.path = request.target.substr(0, request.target.find('?'));
        for (std::size_t at = lineEnd + 2; at < head.size();) {
            const std::size_t end = head.find("\r\n", at);
            if (end == at || end == std::string::npos) break;
            const std::string header = head.substr(at, end - at);
            if (const std::size_t colon = header.find(':'); colon != std::string::npos) {
                std::string value = header.substr(colon + 1);
                value.erase(0, value.find_first_not_of(' '));
                request.headers.emplace_back(header.substr(0, colon), value);
                if (EqualsNoCase(header.substr(0, colon), "User-Agent")) request.userAgent = value;
            }
            at = end + 2;
        }
        return true;
    }

private:
    // Waits for the socket to be ready; false when the server stops.
    bool Await(short events) {
        pollfd fds[2] = {{fd_, events, 0}, {server_.wakeFds_[0], POLLIN, 0}};
        for (;;) {
            const int n = ::poll(fds, 2, -1);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 || fds[1].revents) return false;
            return fds[0].revents & (events | POLLHUP | POLLERR);
        }
    }

    LoopbackServer& server_;
    int fd_;
};

LoopbackServer::LoopbackServer() {
    if (::pipe2(wakeFds_, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address = Loopback(0);
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 64) != 0) {
        Stop();
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = BoundPort(listenFd_);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() { Stop(); }

void LoopbackServer::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (wakeFds_[1] >= 0) {
        const char byte = 0;
        while (::write(wakeFds_[1], &byte, 1) < 0 && errno == EINTR) {
        }
    }
    if (acceptor_.joinable()) acceptor_.join();
    // No new connection can start now; wait for the ones still answering.
    std::vector<std::thread> running;
    {
        std::lock_guard lock(mutex_);
        running.swap(connections_);
    }
    for (auto& thread : running) thread.join();
    for (int* fd : {&listenFd_, &wakeFds_[0], &wakeFds_[1]}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

void LoopbackServer::AcceptLoop() {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents) return;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) continue;
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, fd] { Answer(fd); });
    }
}

void LoopbackServer::Answer(int fd) {
    Connection connection(*this, fd);
    HttpRequest request;
    if (!connection.ReadHead(request)) return;
    StreamHandler handler;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        if (auto route = routes_.find(request.path); route != routes_.end()) handler = route->second;
    }
    changed_.notify_all();
    if (handler) handler(request, connection);
    else connection.Write(ResponseHead(404, {{"Content-Type", "text/plain"}}, 9) + "not found");
}

std::string LoopbackServer::HostPort() const { return "127.0.0.1:" + std::to_string(port_); }

std::string LoopbackServer::Url(std::string_view path) const { return "http://" + HostPort() + std::string(path); }

void LoopbackServer::HandleStream(const std::string& path, StreamHandler handler) {
    std::lock_guard lock(mutex_);
    routes_[path] = std::move(handler);
}

void LoopbackServer::Handle(const std::string& path, Handler handler) {
    HandleStream(path, [handler = std::move(handler)](const HttpRequest& request, ResponseStream& out) {
        const HttpReply reply = handler(request);
        out.Write(ResponseHead(reply.status, reply.headers, static_cast<long long>(reply.body.size())) + reply.body);
    });
}

void LoopbackServer::Serve(const std::string& path, int status, std::string body, HttpHeaders headers) {
    Handle(path, [status, body = std::move(body), headers = std::move(headers)](const HttpRequest&) {
        return HttpReply{status, body, headers};
    });
}

void LoopbackServer::Redirect(const std::string& path, const std::string& location, int status) {
    Serve(path, status, "moved", {{"Location", location}});
}

void LoopbackServer::Stall(const std::string& path, std::string first, long long declaredLength) {
    HandleStream(path, [first = std::move(first), declaredLength](const HttpRequest&, ResponseStream& out) {
        if (out.Write(ResponseHead(200, {{"Content-Type", "text/html"}}, declaredLength) + first))
            out.WaitGate("\n never opened");
    });
}

void LoopbackServer::Stream(const std::string& path, std::size_t size, bool chunked) {
    HandleStream(path, [size, chunked](const HttpRequest&, ResponseStream& out) {
        if (!out.Write(ResponseHead(200, {{"Content-Type", "application/octet-stream"}},
                                    chunked ? -1 : static_cast<long long>(size))))
            return;
        std::string piece;
        for (std::size_t at = 0; at < size;) {
            const std::size_t n = std::min<std::size_t>(size - at, 16384);
            piece.resize(n);
            for (std::size_t i = 0; i < n; ++i) piece[i] = PatternByte(at + i);
            if (!out.Write(chunked ? Chunk(piece) : piece)) return;
            at += n;
        }
        if (chunked) out.Write(Chunk({}));
    });
}

void LoopbackServer::Hold(const std::string& path, const std::string& gate, std::string body) {
    HandleStream(path, [gate, body = std::move(body)](const HttpRequest&, ResponseStream& out) {
        if (out.Write(ResponseHead(200, {{"Content-Type", "text/html"}}, static_cast<long long>(body.size()))) &&
            out.WaitGate(gate))
            out.Write(body);
    });
}

void LoopbackServer::Trickle(const std::string& path, std::string head, std::string piece,
                             std::chrono::milliseconds interval, int count) {
    HandleStream(path, [head = std::move(head), piece = std::move(piece), interval, count](const HttpRequest&,
                                                                                            ResponseStream& out) {
        if (!out.Write(head)) return;
        for (int i = 0; i < count; ++i)
            if (!out.Sleep(interval) || !out.Write(piece)) return;
    });
}

void LoopbackServer::OpenGate(const std::string& gate) {
    {
        std::lock_guard lock(mutex_);
        openGates_.insert(gate);
    }
    changed_.notify_all();
}

bool LoopbackServer::WaitGate(const std::string& gate) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopping_ || openGates_.count(gate) > 0; });
    return openGates_.count(gate) > 0;
}

bool LoopbackServer::Sleep(std::chrono::milliseconds time) {
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, time, [this] { return stopping_; });
}

std::vector<HttpRequest> LoopbackServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool LoopbackServer::WaitForRequests(const std::string& path, std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        return static_cast<std::size_t>(std::count_if(requests_.begin(), requests_.end(),
                                                       [&](const HttpRequest& r) { return r.path == path; })) >=
               count;
    });
}

}  // namespace zvek::test
