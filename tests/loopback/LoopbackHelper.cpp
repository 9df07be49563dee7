// The loopback server for a test program under Wine: a native Linux
// process that the Windows test program starts, serving one LoopbackServer
// that it drives over a TCP connection back to it.
//   loopback_helper PORT [CERT KEY]
// It connects to 127.0.0.1:PORT, says "ready" with its server's port and
// scheme, and then answers every request; when the connection ends (the
// test program is done or gone), it stops the server and exits.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "LoopbackServer.h"
#include "LoopbackWire.h"

using namespace zvek::test;

namespace {

long long Number(const std::string& text) { return std::stoll(text); }

WireMessage Handle(LoopbackServer& server, const WireMessage& m) {
    const std::string& verb = m.at(0);
    if (verb == "serve") {
        HttpHeaders headers;
        for (std::size_t i = 4; i + 1 < m.size(); i += 2) headers.emplace_back(m[i], m[i + 1]);
        server.Serve(m.at(1), static_cast<int>(Number(m.at(2))), m.at(3), headers);
    } else if (verb == "redirect") {
        server.Redirect(m.at(1), m.at(2), static_cast<int>(Number(m.at(3))));
    } else if (verb == "stall") {
        server.Stall(m.at(1), m.at(2), Number(m.at(3)));
    } else if (verb == "stream") {
        server.Stream(m.at(1), static_cast<std::size_t>(Number(m.at(2))), m.at(3) == "1");
    } else if (verb == "trickle") {
        server.Trickle(m.at(1), m.at(2), std::chrono::milliseconds(Number(m.at(3))), static_cast<int>(Number(m.at(4))),
                       Number(m.at(5)), static_cast<int>(Number(m.at(6))));
    } else if (verb == "hold") {
        server.Hold(m.at(1), m.at(2), m.at(3));
    } else if (verb == "open") {
        server.OpenGate(m.at(1));
    } else if (verb == "requests") {
        WireMessage reply = {"ok"};
        for (const HttpRequest& request : server.Requests()) reply.insert(reply.end(), {request.path, request.userAgent});
        return reply;
    } else {
        return {"error", "unknown request " + verb};
    }
    return {"ok"};
}

bool SendAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) return 2;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, htons(static_cast<std::uint16_t>(std::atoi(argv[1]))), {htonl(INADDR_LOOPBACK)}, {}};
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 1;
    const auto read = [fd](char* buffer, std::size_t size) -> std::size_t {
        const ssize_t n = ::recv(fd, buffer, size, 0);
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    };
    try {
        LoopbackServer server(argc == 4 ? argv[2] : "", argc == 4 ? argv[3] : "");
        const std::string url = server.Url("");
        if (!SendAll(fd, EncodeWire({"ready", std::to_string(server.Port()), url.substr(0, url.find("//") + 2)})))
            return 1;
        while (const auto message = ReadWire(read)) {
            WireMessage reply;
            try {
                reply = message->empty() ? WireMessage{"error", "empty request"} : Handle(server, *message);
            } catch (const std::exception& e) {
                reply = {"error", e.what()};
            }
            if (!SendAll(fd, EncodeWire(reply))) break;
        }
    } catch (const std::exception& e) {
        SendAll(fd, EncodeWire({"error", e.what()}));
    }
    ::close(fd);
    return 0;
}
