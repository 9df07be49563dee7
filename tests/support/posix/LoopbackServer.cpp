#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

namespace zvek::test {

struct LoopbackServer::Engine {
    // The body piece by piece: the i-th call gives piece i, or nothing at the end.
    using Pieces = std::function<std::optional<std::string>(std::size_t i)>;
    void Answer(const std::string& path, int status, long long length, Pieces pieces);
    bool WaitGate(const std::string& gate);
    bool Sleep(std::chrono::milliseconds time);

    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::atomic<bool> ended = false;  // the server's thread has returned

    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, std::function<void(httplib::Response&)>> routes;
    std::set<std::string> openGates;
    std::vector<HttpRequest> requests;
};

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
    : engine_(std::make_unique<Engine>()), scheme_(certFile.empty() ? "http://" : "https://") {
    Engine& e = *engine_;
    if (certFile.empty()) e.server = std::make_unique<httplib::Server>();
    else e.server = std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str());
    // Held and stalled answers each keep a thread until the server stops.
    e.server->new_task_queue = [] { return new httplib::ThreadPool(32); };
    e.server->Get(".*", [&e](const httplib::Request& request, httplib::Response& response) {
        // Routes only set the answer up; its body is written after this returns.
        std::lock_guard lock(e.mutex);
        e.requests.push_back({request.path, request.get_header_value("User-Agent")});
        e.changed.notify_all();
        if (auto route = e.routes.find(request.path); route != e.routes.end()) route->second(response);
        else response.status = 404;
    });
    port_ = e.server->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot listen on 127.0.0.1");
    e.thread = std::thread([&e] {
        e.server->listen_after_bind();
        e.ended = true;
    });
    while (!e.server->is_running() && !e.ended) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (e.ended) {
        e.thread.join();
        throw std::runtime_error("the loopback server did not start");
    }
}

LoopbackServer::~LoopbackServer() {
    OpenGate({});  // the empty name stands for "stopping": every wait ends
    engine_->server->stop();
    engine_->thread.join();
}

void LoopbackServer::Serve(const std::string& path, int status, std::string body, HttpHeaders headers) {
    std::lock_guard lock(engine_->mutex);
    engine_->routes[path] = [status, body = std::move(body), headers = std::move(headers)](httplib::Response& response) {
        response.status = status;
        response.body = body;
        for (const auto& [name, value] : headers) response.set_header(name, value);
    };
}

void LoopbackServer::Redirect(const std::string& path, const std::string& location, int status) {
    Serve(path, status, "moved", {{"Location", location}});
}

void LoopbackServer::Engine::Answer(const std::string& path, int status, long long length, Pieces pieces) {
    std::lock_guard lock(mutex);
    routes[path] = [status, length, pieces = std::move(pieces)](httplib::Response& response) {
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
    engine_->Answer(path, 200, declaredLength, [e = engine_.get(), first = std::move(first)](std::size_t i) {
        return i == 0 ? std::optional(first) : (e->WaitGate("\n never opened"), std::nullopt);
    });
}

void LoopbackServer::Stream(const std::string& path, std::size_t size, bool chunked) {
    static constexpr std::size_t kPiece = 16384;
    engine_->Answer(path, 200, chunked ? kChunked : static_cast<long long>(size),
           [size](std::size_t i) -> std::optional<std::string> {
               if (i * kPiece >= size) return std::nullopt;
               return PatternBytes(std::min(kPiece, size - i * kPiece), i * kPiece);
           });
}

void LoopbackServer::Trickle(const std::string& path, std::string piece, std::chrono::milliseconds interval,
                             int count, long long length, int status) {
    engine_->Answer(path, status, length, [e = engine_.get(), piece = std::move(piece), interval, count](std::size_t i) {
        return static_cast<int>(i) < count && e->Sleep(interval) ? std::optional(piece) : std::nullopt;
    });
}

void LoopbackServer::Hold(const std::string& path, const std::string& gate, std::string body) {
    engine_->Answer(path, 200, static_cast<long long>(body.size()), [e = engine_.get(), gate, body = std::move(body)](std::size_t i) {
        return i == 0 && e->WaitGate(gate) ? std::optional(body) : std::nullopt;
    });
}

void LoopbackServer::OpenGate(const std::string& gate) {
    std::lock_guard lock(engine_->mutex);
    engine_->openGates.insert(gate);
    engine_->changed.notify_all();
}

bool LoopbackServer::Engine::WaitGate(const std::string& gate) {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return openGates.count({}) || openGates.count(gate); });
    return openGates.count(gate) > 0;
}

bool LoopbackServer::Engine::Sleep(std::chrono::milliseconds time) {
    std::unique_lock lock(mutex);
    return !changed.wait_for(lock, time, [this] { return openGates.count({}); });
}

std::vector<HttpRequest> LoopbackServer::Requests() const {
    std::lock_guard lock(engine_->mutex);
    return engine_->requests;
}

bool LoopbackServer::WaitForRequests(const std::string& path, std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(engine_->mutex);
    return engine_->changed.wait_for(lock, timeout, [&] {
        return static_cast<std::size_t>(std::count_if(engine_->requests.begin(), engine_->requests.end(),
                                                       [&](const HttpRequest& r) { return r.path == path; })) >= count;
    });
}

}  // namespace zvek::test
