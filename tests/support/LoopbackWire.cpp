#include "LoopbackWire.h"

#include "LoopbackServer.h"

namespace zvek::test {

std::string PatternBytes(std::size_t size, std::size_t from) {
    std::string bytes(size, '\0');
    for (std::size_t i = from; i < from + size; ++i) bytes[i - from] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

std::string EncodeWire(const WireMessage& message) {
    std::string out = std::to_string(message.size()) + "\n";
    for (const std::string& field : message) out += std::to_string(field.size()) + "\n" + field;
    return out;
}

std::optional<WireMessage> ReadWire(const std::function<std::size_t(char*, std::size_t)>& read) {
    const auto exactly = [&](std::string& into, std::size_t size) {
        into.resize(size);
        for (std::size_t done = 0; done < size;) {
            const std::size_t n = read(into.data() + done, size - done);
            if (n == 0) return false;
            done += n;
        }
        return true;
    };
    const auto number = [&]() -> std::optional<std::size_t> {
        std::size_t value = 0;
        for (std::string digit; exactly(digit, 1);) {
            if (digit[0] == '\n') return value;
            if (digit[0] < '0' || digit[0] > '9' || value > (1u << 30)) return std::nullopt;
            value = value * 10 + static_cast<std::size_t>(digit[0] - '0');
        }
        return std::nullopt;
    };
    const std::optional<std::size_t> count = number();
    if (!count) return std::nullopt;
    WireMessage message(*count);
    for (std::string& field : message) {
        const std::optional<std::size_t> size = number();
        if (!size || !exactly(field, *size)) return std::nullopt;
    }
    return message;
}

}  // namespace zvek::test
