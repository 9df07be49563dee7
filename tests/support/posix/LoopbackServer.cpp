#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace zvek::test {

std::string PatternBytes(std::size_t size, std::size_t from) {
    std::string bytes(size, '\0');
    for (std::size_t i = from; i < from + size; ++i) bytes[i - from] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

int UnusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    ::close(fd);  // bound but never listening: connections to the port are refused
    if (!bound) throw std::runtime_error("cannot bind on 127.0.0.1");
    return ntohs(address.sin_port);
}

LoopbackServer::LoopbackServer(const std::string& certFile, const std::string& keyFile)
    : server_(certFile.empty() ? std::make_unique<httplib::Server>()
                               : std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str())),
      scheme_(certFile.empty() ? "http://" : "https://") {
    // Held and stalled answers each keep a thread until the server stops.
    server_->new_task_queue = [] { return new httplib::ThreadPool(32); };
    server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        // Routes only set the answer up; its body is written after this returns.
        std::lock_guard lock(mutex_);
        requests_.push_back({request.path, request.get_header_value("User-Agent")});
        changed_.notify_all();
        if (auto route = routes_.find(request.path); route != routes_.end()) route->second(response);
        else response.status = 404;
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot listen on 127.0.0.1");
    thread_ = std::thread([this] {
        server_->listen_after_bind();
        ended_ = true;
    });
    while (!server_->is_running() && !ended_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (ended_) {
        thread_.join();
        throw std::runtime_error("the loopback server did not start");
    }
}

LoopbackServer::~LoopbackServer() {
    OpenGate({});  // the empty name stands for "stopping": every wait ends
    server_->stop();
    thread_.join();
}

void LoopbackServer::Serve(const std::string& path, int status, std::string body, HttpHeaders headers) {
    std::lock_guard lock(mutex_);
    routes_[path] = [status, body = std::move(body), headers = std::move(headers)](httplib::Response& response) {
        response.status = status;
        response.body = body;
        for (const auto& [name, value] : headers) response.set_header(name, value);
    };
}

void LoopbackServer::Redirect(const std::string& path, const std::string& location, int status) {
    Serve(path, status, "moved", {{"Location", location}});
}

void LoopbackServer::Answer(const std::string& path, int status, long long length, Pieces pieces) {
    std::lock_guard lock(mutex_);
    routes_[path] = [status, length, pieces = std::move(pieces)](httplib::Response& response) {
        response.status = status;
        // Piece after piece; at the end a chunked or unframed body is closed,
        // and one that ends short of its declared length is cut off.
        auto provider = [pieces, at = std::make_shared<std::size_t>(0), length](std::size_t, httplib::DataSink& sink) {
            const std::optional<std::string> piece = pieces((*at)++);
            if (piece) return sink.write(piece->data(), piece->size());
            if (length < 0) sink.done();
            return length < 0;
        };
        const std::string type = "application/octet-stream";
        if (length == kChunked) response.set_chunked_content_provider(type, provider);
        else if (length == kUnframed) response.set_content_provider(type, provider);
        else
            response.set_content_provider(static_cast<std::size_t>(length), type,
                                          [provider](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                              return provider(offset, sink);
                                          });
    };
}

void LoopbackServer::Stall(const std::string& path, std::string first, long long declaredLength) {
    Answer(path, 200, declaredLength, [this, first = std::move(first)](std::size_t i) {
        return i == 0 ? std::optional(first) : (WaitGate("\n never opened"), std::nullopt);
    });
}

void LoopbackServer::Stream(const std::string& path, std::size_t size, bool chunked) {
    static constexpr std::size_t kPiece = 16384;
    Answer(path, 200, chunked ? kChunked : static_cast<long long>(size),
           [size](std::size_t i) -> std::optional<std::string> {
               if (i * kPiece >= size) return std::nullopt;
               return PatternBytes(std::min(kPiece, size - i * kPiece), i * kPiece);
           });
}

void LoopbackServer::Trickle(const std::string& path, std::string piece, std::chrono::milliseconds interval,
                             int count, long long length, int status) {
    Answer(path, status, length, [this, piece = std::move(piece), interval, count](std::size_t i) {
        return static_cast<int>(i) < count && Sleep(interval) ? std::optional(piece) : std::nullopt;
    });
}

void LoopbackServer::Hold(const std::string& path, const std::string& gate, std::string body) {
    Answer(path, 200, static_cast<long long>(body.size()), [this, gate, body = std::move(body)](std::size_t i) {
        return i == 0 && WaitGate(gate) ? std::optional(body) : std::nullopt;
    });
}

void LoopbackServer::OpenGate(const std::string& gate) {
    std::lock_guard lock(mutex_);
    openGates_.insert(gate);
    changed_.notify_all();
}

bool LoopbackServer::WaitGate(const std::string& gate) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return openGates_.count({}) || openGates_.count(gate); });
    return openGates_.count(gate) > 0;
}

bool LoopbackServer::Sleep(std::chrono::milliseconds time) {
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, time, [this] { return openGates_.count({}); });
}

std::vector<HttpRequest> LoopbackServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool LoopbackServer::WaitForRequests(const std::string& path, std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        return static_cast<std::size_t>(std::count_if(requests_.begin(), requests_.end(),
                                                       [&](const HttpRequest& r) { return r.path == path; })) >= count;
    });
}

}  // namespace zvek::test
