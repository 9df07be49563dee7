// The loopback server of a Windows test under Wine, in a Linux process of
// its own. The test's LoopbackServer (support/windows) starts it with the
// port on which it waits for this process; the helper connects back,
// reports its server's port and certificate, and then does what each
// message asks, answering every one, until the test closes the connection.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "LoopbackServer.h"

namespace {

using zvek::test::LoopbackServer;
using Fields = std::vector<std::string>;

long long Number(const std::string& text) { return std::stoll(text); }

Fields Do(LoopbackServer& server, const Fields& m) {
    const std::string& verb = m.at(0);
    if (verb == "serve") {
        zvek::test::HttpHeaders headers;
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
        Fields answer;
        for (const auto& request : server.Requests()) answer.insert(answer.end(), {request.path, request.userAgent});
        return answer;
    } else if (verb == "wait") {
        const bool came = server.WaitForRequests(m.at(1), static_cast<std::size_t>(Number(m.at(2))),
                                                 std::chrono::milliseconds(Number(m.at(3))));
        return {came ? "1" : "0"};
    } else if (verb == "full") {
        return {std::to_string(server.FullQueuePort())};
    } else {
        return {"error", "unknown message " + verb};
    }
    return {"ok"};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const int control = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in test{AF_INET, htons(static_cast<std::uint16_t>(std::stoi(argv[1]))), {htonl(INADDR_LOOPBACK)}, {}};
    if (::connect(control, reinterpret_cast<sockaddr*>(&test), sizeof test) != 0) return 1;
    auto send = [control](const Fields& fields) {
        const std::string message = zvek::test::EncodeMessage(fields);
        for (std::size_t sent = 0; sent < message.size();) {
            const ssize_t n = ::send(control, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    };
    std::optional<LoopbackServer> server;
    try {
        server.emplace(argc > 2 && std::string(argv[2]) == "https" ? LoopbackServer::Scheme::Https
                                                                   : LoopbackServer::Scheme::Http);
    } catch (const std::exception& error) {
        send({"error", error.what()});
        return 1;
    }
    if (!send({"ready", std::to_string(server->Port()), server->Certificate()})) return 1;
    std::string buffer;
    for (;;) {
        Fields message;
        while (!zvek::test::DecodeMessage(buffer, message)) {
            char chunk[64 * 1024];
            const ssize_t n = ::recv(control, chunk, sizeof chunk, 0);
            if (n <= 0) return 0;  // the test has ended: the server stops with us
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
        Fields answer;
        try {
            answer = Do(*server, message);
        } catch (const std::exception& error) {
            answer = {"error", error.what()};
        }
        if (!send(answer)) return 0;
    }
}
