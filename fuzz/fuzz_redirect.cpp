// A server's redirect on hostile input: the first line is the address that
// answered, the rest its Location. The address the client then asks for is
// resolved and made into a request address, as the Windows client does on
// every hop; neither may grow faster than its input, and a request address
// is printable ASCII without blanks, backslashes or a fragment.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "web/HttpAddress.h"

namespace {

void CheckRequest(std::string_view from, bool fromServer) {
    const auto request = zvek::RequestAddress(from, fromServer);
    if (!request) return;
    if (request->size() > 3 * from.size()) std::abort();
    for (const char c : *request) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '\\' || c == '#') std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    const std::string_view base = input.substr(0, newline);
    const std::string_view location = newline == std::string_view::npos ? "" : input.substr(newline + 1);
    const std::string next = zvek::ResolveReference(base, location);
    // Dot segments only take away; the rest is the two addresses' parts.
    if (next.size() > base.size() + location.size() + 2) std::abort();
    CheckRequest(next, true);
    CheckRequest(base, false);
    return 0;
}
