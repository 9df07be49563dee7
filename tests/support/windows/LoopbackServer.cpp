// The loopback server of the Windows tests: a Linux process under the same
// machine as Wine (host/LoopbackHost), started for each server and driven
// over a loopback connection, so the program under test meets exactly the
// servers the Linux tests use.
#include "platform/windows/Win32.h"
#include "LoopbackServer.h"

#include <winsock2.h>

#include <mutex>
#include <stdexcept>

namespace zvek::test {

namespace {

using Fields = std::vector<std::string>;

void StartWinsock() {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) throw std::runtime_error("Winsock does not start");
}

// A TCP socket bound to 127.0.0.1 on a port the system picks, and that port.
SOCKET BoundSocket(int& port) {
    StartWinsock();
    const SOCKET fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (fd == INVALID_SOCKET || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("cannot bind on 127.0.0.1");
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

struct LoopbackServer::Impl {
    SOCKET control = INVALID_SOCKET;
    HANDLE process = nullptr;
    std::string buffer;
    std::mutex mutex;  // one question and its answer at a time

    ~Impl() {
        if (control != INVALID_SOCKET) ::closesocket(control);  // the helper stops its server and ends
        if (process) {
            ::WaitForSingleObject(process, 5000);
            ::CloseHandle(process);
        }
    }

    Fields Receive() {
        Fields fields;
        while (!DecodeMessage(buffer, fields)) {
            char chunk[64 * 1024];
            const int n = ::recv(control, chunk, sizeof chunk, 0);
            if (n <= 0) throw std::runtime_error("the loopback server's helper has gone");
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
        if (!fields.empty() && fields[0] == "error") throw std::runtime_error(fields.size() > 1 ? fields[1] : "error");
        return fields;
    }

    Fields Ask(const Fields& question) {
        std::lock_guard lock(mutex);
        const std::string message = EncodeMessage(question);
        for (std::size_t sent = 0; sent < message.size();) {
            const int n = ::send(control, message.data() + sent, static_cast<int>(message.size() - sent), 0);
            if (n <= 0) throw std::runtime_error("the loopback server's helper has gone");
            sent += static_cast<std::size_t>(n);
        }
        return Receive();
    }
};

int UnusedPort() {
    int port = 0;
    ::closesocket(BoundSocket(port));  // bound but never listening: connections to the port are refused
    return port;
}

LoopbackServer::LoopbackServer(Scheme scheme) : impl_(std::make_unique<Impl>()), scheme_(scheme) {
    int waiting = 0;
    const SOCKET listener = BoundSocket(waiting);
    ::listen(listener, 1);
    // Wine starts a Linux program as it starts a Windows one.
    std::string command = std::string("\"") + ZVEKLC_LOOPBACK_HOST + "\" " + std::to_string(waiting) +
                          (scheme == Scheme::Https ? " https" : "");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        ::closesocket(listener);
        throw std::runtime_error("cannot start " ZVEKLC_LOOPBACK_HOST);
    }
    ::CloseHandle(started.hThread);
    impl_->process = started.hProcess;
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(listener, &ready);
    timeval wait{30, 0};
    if (::select(0, &ready, nullptr, nullptr, &wait) == 1) impl_->control = ::accept(listener, nullptr, nullptr);
    ::closesocket(listener);
    if (impl_->control == INVALID_SOCKET) throw std::runtime_error("the loopback server's helper did not call");
    const Fields hello = impl_->Receive();
    port_ = std::stoi(hello.at(1));
    certificate_ = hello.at(2);
}

LoopbackServer::~LoopbackServer() = default;

int LoopbackServer::FullQueuePort() { return std::stoi(impl_->Ask({"full"}).at(0)); }

void LoopbackServer::Serve(const std::string& path, int status, std::string body, HttpHeaders headers) {
    Fields question{"serve", path, std::to_string(status), std::move(body)};
    for (auto& [name, value] : headers) question.insert(question.end(), {name, value});
    impl_->Ask(question);
}

void LoopbackServer::Redirect(const std::string& path, const std::string& location, int status) {
    impl_->Ask({"redirect", path, location, std::to_string(status)});
}

void LoopbackServer::Stall(const std::string& path, std::string first, long long declaredLength) {
    impl_->Ask({"stall", path, std::move(first), std::to_string(declaredLength)});
}

void LoopbackServer::Stream(const std::string& path, std::size_t size, bool chunked) {
    impl_->Ask({"stream", path, std::to_string(size), chunked ? "1" : "0"});
}

void LoopbackServer::Trickle(const std::string& path, std::string piece, std::chrono::milliseconds interval, int count,
                             long long length, int status) {
    impl_->Ask({"trickle", path, std::move(piece), std::to_string(interval.count()), std::to_string(count),
                std::to_string(length), std::to_string(status)});
}

void LoopbackServer::Hold(const std::string& path, const std::string& gate, std::string body) {
    impl_->Ask({"hold", path, gate, std::move(body)});
}

void LoopbackServer::OpenGate(const std::string& gate) { impl_->Ask({"open", gate}); }

std::vector<HttpRequest> LoopbackServer::Requests() const {
    const Fields answer = impl_->Ask({"requests"});
    std::vector<HttpRequest> requests;
    for (std::size_t i = 0; i + 1 < answer.size(); i += 2) requests.push_back({answer[i], answer[i + 1]});
    return requests;
}

bool LoopbackServer::WaitForRequests(const std::string& path, std::size_t count, std::chrono::milliseconds timeout) {
    return impl_->Ask({"wait", path, std::to_string(count), std::to_string(timeout.count())}).at(0) == "1";
}

}  // namespace zvek::test
