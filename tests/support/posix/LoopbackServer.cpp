// The loopback server itself: cpp-httplib on 127.0.0.1, in the test's own
// process on Linux and in a helper process of the Windows tests.
#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace zvek::test {

namespace {

// A certificate and key for "localhost" and 127.0.0.1, made by openssl in a
// folder of their own that goes with the object.
struct OwnCertificate {
    std::filesystem::path folder;
    std::string cert, key, pem;

    OwnCertificate() {
        std::string name = (std::filesystem::temp_directory_path() / "zveklc-cert-XXXXXX").string();
        if (!::mkdtemp(name.data())) throw std::runtime_error("no folder for a certificate");
        folder = name;
        cert = (folder / "cert.pem").string();
        key = (folder / "key.pem").string();
        const char* args[] = {"openssl",
                              "req",
                              "-x509",
                              "-newkey",
                              "ec",
                              "-pkeyopt",
                              "ec_paramgen_curve:prime256v1",
                              "-nodes",
                              "-days",
                              "1",
                              "-subj",
                              "/CN=localhost",
                              "-addext",
                              "subjectAltName=DNS:localhost,IP:127.0.0.1",
                              "-keyout",
                              key.c_str(),
                              "-out",
                              cert.c_str(),
                              nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        int status = -1;
        const bool made = ::posix_spawnp(&pid, "openssl", &actions, nullptr, const_cast<char**>(args), environ) == 0 &&
                          ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        posix_spawn_file_actions_destroy(&actions);
        std::ifstream in(cert, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        pem = text.str();
        if (!made || pem.empty()) {
            std::filesystem::remove_all(folder);
            throw std::runtime_error("openssl could not make a certificate");
        }
    }
    ~OwnCertificate() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

}  // namespace

struct LoopbackServer::Impl {
    std::optional<OwnCertificate> certificate;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::atomic<bool> ended = false;  // the server's thread has returned
    std::vector<int> fullQueue;       // a listener and the connections that fill its queue

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, std::function<void(httplib::Response&)>> routes;
    std::set<std::string> openGates;
    std::vector<HttpRequest> requests;

    // The body piece by piece: the i-th call gives piece i, or nothing at the end.
    using Pieces = std::function<std::optional<std::string>(std::size_t i)>;

    void Answer(const std::string& path, int status, long long length, Pieces pieces) {
        std::lock_guard lock(mutex);
        routes[path] = [status, length, pieces = std::move(pieces)](httplib::Response& response) {
            response.status = status;
            // Piece after piece; at the end a chunked or unframed body is closed,
            // and one that ends short of its declared length is cut off.
            auto provider = [pieces, at = std::make_shared<std::size_t>(0), length](std::size_t,
                                                                                    httplib::DataSink& sink) {
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

    bool WaitGate(const std::string& gate) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return openGates.count({}) || openGates.count(gate); });
        return openGates.count(gate) > 0;
    }

    bool Sleep(std::chrono::milliseconds time) {
        std::unique_lock lock(mutex);
        return !changed.wait_for(lock, time, [this] { return openGates.count({}); });
    }
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

LoopbackServer::LoopbackServer(Scheme scheme) : impl_(std::make_unique<Impl>()), scheme_(scheme) {
    Impl& impl = *impl_;
    if (scheme == Scheme::Https) {
        impl.certificate.emplace();
        certificate_ = impl.certificate->pem;
        impl.server =
            std::make_unique<httplib::SSLServer>(impl.certificate->cert.c_str(), impl.certificate->key.c_str());
    } else {
        impl.server = std::make_unique<httplib::Server>();
    }
    // Held and stalled answers each keep a thread until the server stops.
    impl.server->new_task_queue = [] { return new httplib::ThreadPool(32); };
    impl.server->Get(".*", [&impl](const httplib::Request& request, httplib::Response& response) {
        // Routes only set the answer up; its body is written after this returns.
        std::lock_guard lock(impl.mutex);
        impl.requests.push_back({request.path, request.get_header_value("User-Agent")});
        impl.changed.notify_all();
        if (auto route = impl.routes.find(request.path); route != impl.routes.end()) route->second(response);
        else response.status = 404;
    });
    port_ = impl.server->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot listen on 127.0.0.1");
    impl.thread = std::thread([&impl] {
        impl.server->listen_after_bind();
        impl.ended = true;
    });
    while (!impl.server->is_running() && !impl.ended) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (impl.ended) {
        impl.thread.join();
        throw std::runtime_error("the loopback server did not start");
    }
}

LoopbackServer::~LoopbackServer() {
    OpenGate({});  // the empty name stands for "stopping": every wait ends
    impl_->server->stop();
    impl_->thread.join();
    for (const int fd : impl_->fullQueue) ::close(fd);
}

int LoopbackServer::FullQueuePort() {
    std::vector<int>& sockets = impl_->fullQueue;
    sockaddr_in full{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof full;
    if (!sockets.empty()) {
        ::getsockname(sockets[0], reinterpret_cast<sockaddr*>(&full), &length);
        return ntohs(full.sin_port);
    }
    // A listening socket with a full queue: the system drops further
    // connection attempts, so they hang until the client's limit.
    sockets.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (::bind(sockets[0], reinterpret_cast<sockaddr*>(&full), length) != 0 || ::listen(sockets[0], 0) != 0 ||
        ::getsockname(sockets[0], reinterpret_cast<sockaddr*>(&full), &length) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    for (int i = 0; i < 4; ++i) {
        sockets.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        ::connect(sockets.back(), reinterpret_cast<sockaddr*>(&full), sizeof full);
    }
    return ntohs(full.sin_port);
}

void LoopbackServer::Serve(const std::string& path, int status, std::string body, HttpHeaders headers) {
    std::lock_guard lock(impl_->mutex);
    impl_->routes[path] = [status, body = std::move(body), headers = std::move(headers)](httplib::Response& response) {
        response.status = status;
        response.body = body;
        for (const auto& [name, value] : headers) response.set_header(name, value);
    };
}

void LoopbackServer::Redirect(const std::string& path, const std::string& location, int status) {
    Serve(path, status, "moved", {{"Location", location}});
}

void LoopbackServer::Stall(const std::string& path, std::string first, long long declaredLength) {
    Impl& impl = *impl_;
    impl.Answer(path, 200, declaredLength, [&impl, first = std::move(first)](std::size_t i) {
        return i == 0 ? std::optional(first) : (impl.WaitGate("\n never opened"), std::nullopt);
    });
}

void LoopbackServer::Stream(const std::string& path, std::size_t size, bool chunked) {
    static constexpr std::size_t kPiece = 16384;
    impl_->Answer(path, 200, chunked ? kChunked : static_cast<long long>(size),
                  [size](std::size_t i) -> std::optional<std::string> {
                      if (i * kPiece >= size) return std::nullopt;
                      return PatternBytes(std::min(kPiece, size - i * kPiece), i * kPiece);
                  });
}

void LoopbackServer::Trickle(const std::string& path, std::string piece, std::chrono::milliseconds interval, int count,
                             long long length, int status) {
    Impl& impl = *impl_;
    impl.Answer(path, status, length, [&impl, piece = std::move(piece), interval, count](std::size_t i) {
        return static_cast<int>(i) < count && impl.Sleep(interval) ? std::optional(piece) : std::nullopt;
    });
}

void LoopbackServer::Hold(const std::string& path, const std::string& gate, std::string body) {
    Impl& impl = *impl_;
    impl.Answer(path, 200, static_cast<long long>(body.size()), [&impl, gate, body = std::move(body)](std::size_t i) {
        return i == 0 && impl.WaitGate(gate) ? std::optional(body) : std::nullopt;
    });
}

void LoopbackServer::OpenGate(const std::string& gate) {
    std::lock_guard lock(impl_->mutex);
    impl_->openGates.insert(gate);
    impl_->changed.notify_all();
}

std::vector<HttpRequest> LoopbackServer::Requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

bool LoopbackServer::WaitForRequests(const std::string& path, std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(impl_->mutex);
    const std::vector<HttpRequest>& requests = impl_->requests;
    return impl_->changed.wait_for(lock, timeout, [&] {
        return static_cast<std::size_t>(std::count_if(requests.begin(), requests.end(),
                                                      [&](const HttpRequest& r) { return r.path == path; })) >= count;
    });
}

}  // namespace zvek::test
