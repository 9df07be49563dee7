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

// A TCP socket bound to 127.0.0.1 on a port the system picks, and that port.
SOCKET BoundSocket(int& port) {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    sockaddr_in address{AF_INET, 0, {}, {}};
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    const SOCKET fd = started ? ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
    if (fd == INVALID_SOCKET || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("cannot bind on 127.0.0.1");
    port = ntohs(address.sin_port);
    return fd;
}

std::string Field(std::string text) { return text; }
std::string Field(long long number) { return std::to_string(number); }

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

    // One question, its words and numbers as fields, and the answer.
    template <class... Parts>
    Fields Ask(const Parts&... parts) {
        return Exchange({Field(parts)...});
    }
    Fields Exchange(const Fields& question) {
        std::lock_guard lock(mutex);
        const std::string message = EncodeMessage(question);  // a blocking socket takes all of it, or fails
        if (::send(control, message.data(), static_cast<int>(message.size()), 0) != static_cast<int>(message.size()))
            throw std::runtime_error("the loopback server's helper has gone");
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
    const char* const schemes[] = {"", " https", " stranger"};  // as the Scheme values go
    std::string command =
        std::string("\"") + ZVEKLC_LOOPBACK_HOST + "\" " + std::to_string(waiting) + schemes[static_cast<int>(scheme)];
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

int LoopbackServer::FullQueuePort() { return std::stoi(impl_->Ask("full").at(0)); }

void LoopbackServer::Serve(const std::string& path, int status, std::string body, HttpHeaders headers) {
    Fields question{"serve", path, Field(status), std::move(body)};
    for (auto& [name, value] : headers) question.insert(question.end(), {name, value});
    impl_->Exchange(question);
}

void LoopbackServer::Redirect(const std::string& path, const std::string& location, int status) {
    impl_->Ask("redirect", path, location, status);
}

void LoopbackServer::Stall(const std::string& path, std::string first, long long declaredLength) {
    impl_->Ask("stall", path, first, declaredLength);
}

void LoopbackServer::Stream(const std::string& path, std::size_t size, bool chunked) {
    impl_->Ask("stream", path, static_cast<long long>(size), chunked);
}

void LoopbackServer::Trickle(const std::string& path, std::string piece, std::chrono::milliseconds interval, int count,
                             long long length, int status) {
    impl_->Ask("trickle", path, piece, interval.count(), count, length, status);
}

void LoopbackServer::Hold(const std::string& path, const std::string& gate, std::string body) {
    impl_->Ask("hold", path, gate, body);
}

void LoopbackServer::OpenGate(const std::string& gate) { impl_->Ask("open", gate); }

std::vector<HttpRequest> LoopbackServer::Requests() const {
    const Fields answer = impl_->Ask("requests");
    std::vector<HttpRequest> requests;
    for (std::size_t i = 0; i + 1 < answer.size(); i += 2) requests.push_back({answer[i], answer[i + 1]});
    return requests;
}

bool LoopbackServer::WaitForRequests(const std::string& path, std::size_t count, std::chrono::milliseconds timeout) {
    return impl_->Ask("wait", path, static_cast<long long>(count), timeout.count()).at(0) == "1";
}

}  // namespace zvek::test
