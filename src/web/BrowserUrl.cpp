#include "web/BrowserUrl.h"

#include "text/Sjis.h"

namespace zvek {

namespace {

constexpr std::size_t npos = std::string_view::npos;

std::size_t FindIgnoreCase(std::string_view text, std::string_view what) {
    return FindText(LowerAscii(text), what);
}

}  // namespace

std::size_t FindWebScheme(std::string_view text) {
    // "https:" does not contain "http:", so both are looked for.
    const std::size_t http = FindIgnoreCase(text, "http:");
    const std::size_t https = FindIgnoreCase(text, "https:");
    return http < https ? http : https;
}

bool IsHttpAddress(std::string_view value) {
    const std::string scheme = LowerAscii(value.substr(0, 8));
    return scheme.starts_with("http://") || scheme.starts_with("https://");
}

std::string NormalizeBrowserUrl(std::string_view address) {
    const std::size_t file = FindIgnoreCase(address, "file:");
    const std::size_t web = FindWebScheme(address);
    if (file != npos && (web == npos || file < web)) {
        // A local file: the path after "file:" and its slashes, absolute.
        std::size_t start = file + 5;
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
        return path;
    }
    if (web == npos) return std::string(address);
    const std::string_view url = address.substr(web);
    const std::size_t query = FindChar(url, '?');
    if (query == npos) return std::string(url);
    const std::size_t sentaku = FindText(url, "sentaku");
    if (sentaku == npos) return std::string(url);
    const std::size_t amp = FindChar(url, '&', sentaku);
    if (amp == npos) return std::string(url);
    return std::string(url.substr(0, query)) + "?" + std::string(url.substr(sentaku, amp - sentaku));
}

}  // namespace zvek
