// The one gate every address passes before any browser is started, on every
// platform.
#include <filesystem>
#include <system_error>

#include "platform/Files.h"
#include "platform/FsPath.h"
#include "platform/ShowInBrowser.h"

namespace zvek {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsAsciiAlnum(char c) { return IsAsciiLetter(c) || (c >= '0' && c <= '9'); }

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Appends `text` with every byte but ASCII letters, digits and `keep`
// percent-encoded; with `keepEscapes` an existing "%XX" stays as it is.
void AppendEncoded(std::string& out, std::string_view text, std::string_view keep, bool keepEscapes) {
    constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (IsAsciiAlnum(c) || keep.find(c) != std::string_view::npos ||
            (keepEscapes && c == '%' && i + 2 < text.size() && IsHexDigit(text[i + 1]) && IsHexDigit(text[i + 2]))) {
            out += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
}

// The length of the host and port at the start of `rest`, or 0 when they
// are not a plain host name or IPv6 literal with an optional port.
std::size_t AuthorityLength(std::string_view rest) {
    std::size_t i = 0;
    if (!rest.empty() && rest[0] == '[') {
        bool colon = false;
        for (i = 1; i < rest.size() && (IsHexDigit(rest[i]) || rest[i] == ':' || rest[i] == '.'); ++i)
            colon = colon || rest[i] == ':';
        if (!colon || i == rest.size() || rest[i] != ']') return 0;
        ++i;
    } else {
        while (i < rest.size() && (IsAsciiAlnum(rest[i]) || rest[i] == '-' || rest[i] == '.')) ++i;
        if (i == 0) return 0;
    }
    if (i < rest.size() && rest[i] == ':') {
        const std::size_t port = ++i;
        while (i < rest.size() && i - port < 5 && rest[i] >= '0' && rest[i] <= '9') ++i;
        if (i == port) return 0;
    }
    if (i < rest.size() && rest[i] != '/' && rest[i] != '?' && rest[i] != '#') return 0;
    return i;
}

}  // namespace

std::optional<std::string> BrowserAddress(std::string_view url) {
    if (url.find('\0') != std::string_view::npos) return std::nullopt;
    std::string out;
    for (const std::string_view scheme : {"http://", "https://"}) {
        if (url.size() < scheme.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < scheme.size(); ++i) {
            const char c = url[i];
            same = same && (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == scheme[i];
        }
        if (same) out = scheme;
    }
    if (out.empty()) return std::nullopt;
    url.remove_prefix(out.size());
    const std::size_t authority = AuthorityLength(url);
    if (authority == 0) return std::nullopt;
    out += url.substr(0, authority);
    AppendEncoded(out, url.substr(authority), "-._~:/?#@&=+,", true);
    return out;
}

std::optional<std::string> LocalPageAddress(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos || !IsHtmlFileName(path)) return std::nullopt;
    const std::filesystem::path file = FsPath(path);
    std::error_code ec;
    if (!file.is_absolute() || !std::filesystem::is_regular_file(file, ec)) return std::nullopt;
    // A file name may hold "?", "#" or "%" like any other byte: all of them
    // are escaped, so the browser reads back exactly this path. A Windows
    // path (one with a drive or a server) is written with "/" and its
    // drive's colon kept ("/C:/...").
    const std::u8string generic = file.has_root_name() ? file.generic_u8string() : std::u8string();
    std::string_view rest = path;
    if (file.has_root_name()) rest = {reinterpret_cast<const char*>(generic.data()), generic.size()};
    std::string out = "file://";
    if (rest.size() >= 2 && IsAsciiLetter(rest[0]) && rest[1] == ':') {
        out += '/';
        out += rest.substr(0, 2);
        rest.remove_prefix(2);
    }
    AppendEncoded(out, rest, "-._~/", false);
    return out;
}

}  // namespace zvek
