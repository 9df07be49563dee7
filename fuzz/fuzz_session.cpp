// Fuzz target for the readers of the browser's current page.
//
// Every input is read four ways: as the bytes of a Firefox session file; as
// the JSON inside one (framed here in an LZ4 block of plain literals, so the
// fuzzer's changes reach the walker); as a DevTools list; and as an address
// a browser shows. The session walker builds nothing and checks JSON by
// hand, so it is held against nlohmann's parser: JSON that parser refuses
// never gives a page, and on JSON it accepts both find the same address
// (where the comparison is fair: no key twice in an object, since the walker
// takes the first and the parser keeps the last; no \u escape, which could
// spell a key the walker compares as written; no byte-order mark or NUL byte,
// which the parser skips or stops at; no number beyond a double, which it
// refuses).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "web/BrowserCurrentPage.h"
#include "web/WebAddress.h"

namespace {

using Json = nlohmann::json;

// `json` as a session file: the magic, its size, one LZ4 block holding it
// as literals only.
std::string Framed(std::string_view json) {
    std::string file("mozLz40\0", 8);
    for (int shift = 0; shift < 32; shift += 8) file += static_cast<char>(json.size() >> shift & 0xFF);
    file += static_cast<char>(std::min<std::size_t>(json.size(), 15) << 4);
    if (json.size() >= 15) {
        file.append((json.size() - 15) / 255, '\xFF');
        file += static_cast<char>((json.size() - 15) % 255);
    }
    return file.append(json);
}

// What nlohmann's parser makes of the same JSON.
struct Reference {
    bool known = true;  // whether the parser could judge the JSON at all
    bool valid = false;
    bool duplicateKey = false;
    std::size_t depth = 0;  // the deepest nesting of containers
    std::string url;
};

// A 1-based position: the parser keeps whole numbers from 0 up unsigned.
std::optional<std::size_t> Position(const Json& value) {
    if (!value.is_number_unsigned()) return std::nullopt;
    const auto number = value.get<std::uint64_t>();
    if (number < 1 || number > INT32_MAX) return std::nullopt;
    return static_cast<std::size_t>(number - 1);
}

// The member `name` of `object`, or null.
const Json& At(const Json& object, const char* name) {
    static const Json none;
    if (!object.is_object()) return none;
    const auto it = object.find(name);
    return it == object.end() ? none : *it;
}

const Json& At(const Json& array, std::size_t index) {
    static const Json none;
    return array.is_array() && index < array.size() ? array[index] : none;
}

Reference Parse(std::string_view text) {
    Reference r;
    // The parser skips a byte-order mark, and ends its input at a NUL byte
    // taking what came before.
    r.known = !text.starts_with("\xEF\xBB\xBF") && text.find('\0') == std::string_view::npos;
    std::vector<std::set<std::string>> keys;
    std::size_t open = 0;
    Json session;
    try {
        session = Json::parse(text, [&](int, Json::parse_event_t event, Json& parsed) {
            if (event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start)
                r.depth = std::max(r.depth, ++open);
            if (event == Json::parse_event_t::object_end || event == Json::parse_event_t::array_end) --open;
            if (event == Json::parse_event_t::object_start) keys.emplace_back();
            if (event == Json::parse_event_t::object_end) keys.pop_back();
            if (event == Json::parse_event_t::key && !keys.back().insert(parsed.get<std::string>()).second)
                r.duplicateKey = true;
            return true;
        });
    } catch (const Json::out_of_range&) {
        // A number beyond a double ("1e999"): JSON all the same, which the
        // walker, converting no number, takes as such.
        r.known = false;
        return r;
    } catch (const Json::parse_error&) {
        return r;
    }
    r.valid = true;
    const auto window = Position(At(session, "selectedWindow"));
    if (!window) return r;
    const Json& windowValue = At(At(session, "windows"), *window);
    const auto tab = Position(At(windowValue, "selected"));
    if (!tab) return r;
    const Json& tabValue = At(At(windowValue, "tabs"), *tab);
    const auto entry = Position(At(tabValue, "index"));
    if (!entry) return r;
    const Json& url = At(At(At(tabValue, "entries"), *entry), "url");
    if (url.is_string()) r.url = url.get<std::string>();
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    (void)zvek::SessionFilePage(input);
    (void)zvek::DevToolsListPage(input);

    const std::string url = zvek::SessionFilePage(Framed(input));
    const Reference reference = Parse(input);
    if (!url.empty() && reference.known && !reference.valid) std::abort();
    const bool fair =
        reference.known && reference.valid && !reference.duplicateKey && input.find("\\u") == std::string_view::npos;
    if (fair && url != (reference.depth <= 512 ? reference.url : std::string())) std::abort();

    // A page is an http(s) address, cleaned once and for all, or a local
    // .htm/.html page; never anything with a control character.
    const std::string page = zvek::NormalizeBrowserUrl(input);
    if (page.empty()) return 0;
    for (const char c : page)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
    if (zvek::HasWebScheme(page) ? zvek::NormalizeBrowserUrl(page) != page
                                 : page.front() != '/' || !zvek::IsHtmlFileName(page))
        std::abort();
    return 0;
}
