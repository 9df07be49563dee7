// How a test program under Wine talks to the loopback server's helper
// process: each message a list of byte strings, sent as its count and then
// each string's length and bytes, every number on a line of its own.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zvek::test {

using WireMessage = std::vector<std::string>;

std::string EncodeWire(const WireMessage& message);

// Reads one message through `read`, which fills its buffer with up to the
// given number of bytes and returns how many (0 at the end); nothing when
// the connection ends or the message is malformed.
std::optional<WireMessage> ReadWire(const std::function<std::size_t(char*, std::size_t)>& read);

}  // namespace zvek::test
