// The parts of the loopback server that every build shares.
#include "LoopbackServer.h"

#include <charconv>

namespace zvek::test {

std::string PatternBytes(std::size_t size, std::size_t from) {
    std::string bytes(size, '\0');
    for (std::size_t i = from; i < from + size; ++i) bytes[i - from] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

std::string LoopbackServer::Url(std::string_view path) const {
    if (scheme_ == Scheme::Https) return "https://localhost:" + std::to_string(port_) + std::string(path);
    return "http://" + HostPort() + std::string(path);
}

std::string EncodeMessage(const std::vector<std::string>& fields) {
    std::string message = std::to_string(fields.size()) + "\n";
    for (const std::string& field : fields) message.append(std::to_string(field.size())).append("\n").append(field);
    return message;
}

bool DecodeMessage(std::string& buffer, std::vector<std::string>& fields) {
    std::size_t at = 0;
    auto number = [&buffer, &at](std::size_t& value) {
        const std::size_t end = buffer.find('\n', at);
        if (end == std::string::npos) return false;
        const auto [stop, error] = std::from_chars(buffer.data() + at, buffer.data() + end, value);
        at = end + 1;
        return error == std::errc() && stop == buffer.data() + end;
    };
    std::size_t count = 0;
    if (!number(count)) return false;
    std::vector<std::string> decoded;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t size = 0;
        if (!number(size) || buffer.size() - at < size) return false;
        decoded.push_back(buffer.substr(at, size));
        at += size;
    }
    buffer.erase(0, at);
    fields = std::move(decoded);
    return true;
}

}  // namespace zvek::test
