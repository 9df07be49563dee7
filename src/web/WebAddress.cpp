#include "web/WebAddress.h"

#include <algorithm>

#include "platform/Files.h"
#include "text/Sjis.h"

namespace zvek {

namespace {

constexpr std::size_t npos = std::string_view::npos;

std::size_t FindIgnoreCase(std::string_view text, std::string_view what) { return FindText(LowerAscii(text), what); }

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

std::size_t FindWebScheme(std::string_view text) {
    // "https:" does not contain "http:", so both are looked for.
    const std::size_t http = FindIgnoreCase(text, "http:");
    const std::size_t https = FindIgnoreCase(text, "https:");
    return http < https ? http : https;
}

std::string AddressScheme(std::string_view address) {
    if (address.empty() || !IsAsciiLetter(address.front())) return {};
    for (std::size_t i = 1; i < address.size(); ++i) {
        const char c = address[i];
        if (c == ':') return LowerAscii(address.substr(0, i));
        if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return {};
    }
    return {};
}

bool HasWebScheme(std::string_view address) {
    const std::string scheme = AddressScheme(address);
    return scheme == "http" || scheme == "https";
}

bool IsHttpAddress(std::string_view value) {
    return HasWebScheme(value) && value.substr(AddressScheme(value).size() + 1).starts_with("//");
}

std::string NormalizeBrowserUrl(std::string_view address) {
    // A NUL would cut the name short where it reaches the system
    // ("/etc/passwd\0.htm"); no browser shows a raw control character.
    if (std::any_of(address.begin(), address.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        return {};
    const std::string scheme = AddressScheme(address);
    if (scheme == "file") {
        std::size_t start = 5;
        while (start < address.size() && address[start] == '/') ++start;
        std::string path = "/";
        for (std::size_t i = start; i < address.size(); ++i) {
            if (address.compare(i, 3, "%20") == 0) {
                path += ' ';
                i += 2;
            } else {
                path += address[i];
            }
        }
        return IsHtmlFileName(path) ? path : std::string();
    }
    if (scheme != "http" && scheme != "https") return {};
    const std::size_t query = FindChar(address, '?');
    if (query == npos) return std::string(address);
    const std::size_t sentaku = FindText(address, "sentaku");
    if (sentaku == npos) return std::string(address);
    const std::size_t amp = FindChar(address, '&', sentaku);
    if (amp == npos) return std::string(address);
    return std::string(address.substr(0, query)) + "?" + std::string(address.substr(sentaku, amp - sentaku));
}

}  // namespace zvek
