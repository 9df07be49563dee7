// The loopback server seen from a test program under Wine: the server is
// the Linux build's loopback_helper, a native process that this program
// starts (Wine runs Linux programs too) and drives over a connection to
// 127.0.0.1. Every call is one request and its answer.
#include "LoopbackServer.h"

#include <winsock2.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <stdexcept>

#include "LoopbackWire.h"
#include "platform/Launch.h"

namespace zvek::test {

namespace {

void StartSockets() {
    static std::once_flag started;
    std::call_once(started, [] {
        WSADATA data{};
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("no sockets");
    });
}

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int PortOf(SOCKET socket) {
    sockaddr_in address{};
    int size = sizeof address;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
    return ntohs(address.sin_port);
}

}  // namespace

int UnusedPort() {
    StartSockets();
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = Loopback(0);
    const bool bound = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    const int port = bound ? PortOf(s) : 0;
    ::closesocket(s);  // bound but never listening: connections to the port are refused
    if (port == 0) throw std::runtime_error("cannot bind on 127.0.0.1");
    return port;
}

struct LoopbackServer::Engine {
    SOCKET connection = INVALID_SOCKET;
    std::mutex mutex;

    ~Engine() {
        if (connection != INVALID_SOCKET) ::closesocket(connection);
    }

    WireMessage Read() {
        const auto read = [this](char* buffer, std::size_t size) -> std::size_t {
            const int n = ::recv(connection, buffer, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
            return n > 0 ? static_cast<std::size_t>(n) : 0;
        };
        std::optional<WireMessage> message = ReadWire(read);
        if (!message || message->empty()) throw std::runtime_error("the loopback helper has gone");
        if (message->front() == "error") throw std::runtime_error("loopback helper: " + message->back());
        return *message;
    }

    WireMessage Ask(const WireMessage& request) {
        std::lock_guard lock(mutex);
        const std::string bytes = EncodeWire(request);
        for (std::size_t done = 0; done < bytes.size();) {
            const int n = ::send(connection, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
            if (n <= 0) throw std::runtime_error("the loopback helper has gone");
            done += static_cast<std::size_t>(n);
        }
        return Read();
    }
};

LoopbackServer::LoopbackServer(const std::string& certFile, const std::string& keyFile)
    : engine_(std::make_unique<Engine>()) {
    StartSockets();
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = Loopback(0);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 1) != 0) {
        ::closesocket(listener);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    std::vector<std::string> helper = {ZVEKLC_LOOPBACK_HELPER, std::to_string(PortOf(listener))};
    if (!certFile.empty()) helper.insert(helper.end(), {certFile, keyFile});
    // The helper connects back within moments, or not at all.
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(listener, &ready);
    timeval wait{10, 0};
    const bool started = StartProgram(helper) && ::select(0, &ready, nullptr, nullptr, &wait) == 1;
    engine_->connection = started ? ::accept(listener, nullptr, nullptr) : INVALID_SOCKET;
    ::closesocket(listener);
    if (engine_->connection == INVALID_SOCKET)
        throw std::runtime_error("the loopback helper did not start: " ZVEKLC_LOOPBACK_HELPER);
    const WireMessage hello = engine_->Read();
    port_ = std::stoi(hello.at(1));
    scheme_ = hello.at(2);
}

// Closing the connection stops the helper's server, every held answer ended.
LoopbackServer::~LoopbackServer() = default;

void LoopbackServer::Serve(const std::string& path, int status, std::string body, HttpHeaders headers) {
    WireMessage request = {"serve", path, std::to_string(status), std::move(body)};
    for (auto& [name, value] : headers) request.insert(request.end(), {name, value});
    engine_->Ask(request);
}

void LoopbackServer::Redirect(const std::string& path, const std::string& location, int status) {
    engine_->Ask({"redirect", path, location, std::to_string(status)});
}

void LoopbackServer::Stall(const std::string& path, std::string first, long long declaredLength) {
    engine_->Ask({"stall", path, std::move(first), std::to_string(declaredLength)});
}

void LoopbackServer::Stream(const std::string& path, std::size_t size, bool chunked) {
    engine_->Ask({"stream", path, std::to_string(size), chunked ? "1" : "0"});
}

void LoopbackServer::Trickle(const std::string& path, std::string piece, std::chrono::milliseconds interval,
                             int count, long long length, int status) {
    engine_->Ask({"trickle", path, std::move(piece), std::to_string(interval.count()), std::to_string(count),
                  std::to_string(length), std::to_string(status)});
}

void LoopbackServer::Hold(const std::string& path, const std::string& gate, std::string body) {
    engine_->Ask({"hold", path, gate, std::move(body)});
}

void LoopbackServer::OpenGate(const std::string& gate) { engine_->Ask({"open", gate}); }

std::vector<HttpRequest> LoopbackServer::Requests() const {
    const WireMessage reply = engine_->Ask({"requests"});
    std::vector<HttpRequest> requests;
    for (std::size_t i = 1; i + 1 < reply.size(); i += 2) requests.push_back({reply[i], reply[i + 1]});
    return requests;
}

// Asked again and again rather than waited for in the helper, which
// answers one request at a time: another thread may open a gate meanwhile.
bool LoopbackServer::WaitForRequests(const std::string& path, std::size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const std::vector<HttpRequest> requests = Requests();
        if (static_cast<std::size_t>(std::count_if(requests.begin(), requests.end(),
                                                   [&](const HttpRequest& r) { return r.path == path; })) >= count)
            return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace zvek::test
