#include "web/HttpAddress.h"

#include "web/WebAddress.h"

namespace zvek {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// An address cut into the parts that resolving treats apart; an absent
// part is not the same as an empty one ("http://h/p?" has an empty query).
struct Parts {
    std::optional<std::string_view> scheme, authority, query;
    std::string_view path;
};

Parts Split(std::string_view address) {
    Parts parts;
    address = address.substr(0, address.find('#'));
    if (const std::string scheme = AddressScheme(address); !scheme.empty()) {
        parts.scheme = address.substr(0, scheme.size());
        address.remove_prefix(scheme.size() + 1);
    }
    if (address.starts_with("//")) {
        const std::size_t end = address.find_first_of("/?", 2);
        parts.authority = address.substr(2, end == npos ? npos : end - 2);
        address.remove_prefix(end == npos ? address.size() : end);
    }
    const std::size_t query = address.find('?');
    parts.path = address.substr(0, query);
    if (query != npos) parts.query = address.substr(query + 1);
    return parts;
}

// Drops "." and ".." segments the way a browser does before it asks.
std::string RemoveDots(std::string_view path) {
    std::string out;
    while (!path.empty()) {
        if (path.starts_with("../")) path.remove_prefix(3);
        else if (path.starts_with("./")) path.remove_prefix(2);
        else if (path.starts_with("/./")) path.remove_prefix(2);
        else if (path == "/.") path = "/";
        else if (path.starts_with("/../") || path == "/..") {
            path = path.size() == 3 ? std::string_view("/") : path.substr(3);
            const std::size_t slash = out.rfind('/');
            out.erase(slash == npos ? 0 : slash);
        } else if (path == "." || path == "..") {
            path = {};
        } else {
            const std::size_t next = path.find('/', 1);
            out.append(path.substr(0, next));
            path.remove_prefix(next == npos ? path.size() : next);
        }
    }
    return out;
}

}  // namespace

std::string ResolveReference(std::string_view base, std::string_view reference) {
    const Parts b = Split(base), r = Split(reference);
    Parts t;
    std::string path;
    if (r.scheme) {
        t = r;
        path = RemoveDots(r.path);
    } else {
        t.scheme = b.scheme;
        if (r.authority) {
            t.authority = r.authority;
            path = RemoveDots(r.path);
            t.query = r.query;
        } else {
            t.authority = b.authority;
            if (r.path.empty()) {
                path = b.path;
                t.query = r.query ? r.query : b.query;
            } else {
                t.query = r.query;
                if (r.path.starts_with('/')) path = RemoveDots(r.path);
                else if (b.authority && b.path.empty()) path = RemoveDots("/" + std::string(r.path));
                else path = RemoveDots(std::string(b.path.substr(0, b.path.rfind('/') + 1)) + std::string(r.path));
            }
        }
    }
    std::string out;
    if (t.scheme) out.append(*t.scheme).append(":");
    if (t.authority) out.append("//").append(*t.authority);
    out += path;
    if (t.query) out.append("?").append(*t.query);
    return out;
}

std::optional<std::string> RequestAddress(std::string_view address, bool fromServer) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    address = address.substr(0, address.find('#'));
    std::string out;
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || (byte == ' ' && !fromServer)) return std::nullopt;
        if (byte > 0x7F || byte == ' ' || byte == '\\') out.append({'%', kHex[byte >> 4], kHex[byte & 15]});
        else out += c;
    }
    return out;
}

}  // namespace zvek
