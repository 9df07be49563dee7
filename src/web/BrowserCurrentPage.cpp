#include "web/BrowserCurrentPage.h"

#include <lz4.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/BrowserProfiles.h"
#include "platform/Files.h"
#include "platform/FsPath.h"
#include "text/Ini.h"
#include "text/Sjis.h"
#include "web/Inet.h"

namespace zvek {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr std::size_t kMaxProfilesIniBytes = 1024 * 1024;
// Firefox nests a few levels per frame of a page; nothing real comes near this.
constexpr std::size_t kMaxJsonDepth = 512;

// The DevTools endpoint is on this machine: it answers at once or not at
// all, and the window waits for it.
constexpr std::chrono::milliseconds kDevToolsConnect{1000};
constexpr std::chrono::milliseconds kDevToolsStall{2000};
constexpr std::chrono::milliseconds kDevToolsTotal{3000};
constexpr std::uint64_t kDevToolsMaxBody = 4u * 1024 * 1024;
// How often the waiting window thread processes messages.
constexpr std::chrono::milliseconds kMessagePoll{20};

// A file from the browser's folders; nothing when it is missing, is no
// regular file, or is larger than `cap`.
std::optional<std::string> ReadBrowserFile(const fs::path& path, std::size_t cap) {
    try {
        return ReadRegularFile(PathText(path), cap);
    } catch (const FileError&) {
        return std::nullopt;
    }
}

// ---- Firefox: profiles.ini ----

struct IniSection {
    std::string name;
    std::map<std::string, std::string, std::less<>> values;
};

std::vector<IniSection> ParseIni(std::string_view text) {
    std::vector<IniSection> sections;
    ForEachLine(text, [&sections](std::string_view line) {
        const IniLine ini = ReadIniLine(line);
        if (ini.kind == IniLine::Kind::Section) sections.push_back({std::string(ini.name), {}});
        else if (ini.kind == IniLine::Kind::Entry && !sections.empty())
            sections.back().values.emplace(ini.name, ini.value);
    });
    return sections;
}

std::string_view Value(const IniSection& section, std::string_view key) {
    const auto it = section.values.find(key);
    return it == section.values.end() ? std::string_view() : std::string_view(it->second);
}

// The default profile folders that profiles.ini in `root` names. Every
// Firefox installation records its own default in an [Install...] section;
// older files only mark one [Profile...] with Default=1.
std::vector<fs::path> DefaultProfiles(const fs::path& root) {
    const auto text = ReadBrowserFile(root / "profiles.ini", kMaxProfilesIniBytes);
    if (!text) return {};
    const std::vector<IniSection> sections = ParseIni(*text);
    // A relative Path (IsRelative=1) is below profiles.ini's folder; joining
    // an absolute one leaves it as it is. The file is UTF-8. A folder on
    // another machine (a Windows network path) is passed over: reading it
    // could wait as long as the network takes.
    auto folder = [&root](std::string_view path) {
        const fs::path named = FsPath(path);
        return named.has_root_name() && named.root_name().native().size() != 2 ? fs::path() : root / named;
    };
    std::vector<fs::path> profiles;
    for (const auto& section : sections)
        if (section.name.starts_with("Install") && !Value(section, "Default").empty())
            profiles.push_back(folder(Value(section, "Default")));
    if (!profiles.empty()) return profiles;
    const IniSection* first = nullptr;
    for (const auto& section : sections) {
        if (!section.name.starts_with("Profile") || Value(section, "Path").empty()) continue;
        if (Value(section, "Default") == "1") return {folder(Value(section, "Path"))};
        if (!first) first = &section;
    }
    if (first) return {folder(Value(*first, "Path"))};
    return {};
}

// The session files of the default profiles, the most recently written
// first: with more than one Firefox installed, the one in use wrote last.
std::vector<fs::path> SessionFiles() {
    std::vector<std::pair<fs::file_time_type, fs::path>> found;
    for (const fs::path& root : FirefoxProfileRoots()) {
        for (const fs::path& profile : DefaultProfiles(root)) {
            if (profile.empty()) continue;
            fs::path file = profile / "sessionstore-backups" / "recovery.jsonlz4";
            std::error_code ec;
            const auto time = fs::last_write_time(file, ec);
            if (!ec && fs::is_regular_file(file, ec)) found.emplace_back(time, std::move(file));
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<fs::path> files;
    for (auto& entry : found) files.push_back(std::move(entry.second));
    return files;
}

// ---- Firefox: the session store ----
//
// A session holds every tab's whole history, and a planted one anything that
// decompresses to kMaxSessionBytes; four values are wanted. So nothing is
// built: the walk checks every value (damage anywhere rejects the file) and
// passes over it byte by byte, converting no number and copying no string
// but the address. The work is linear in the text and the memory fixed.

void SkipSpace(std::string_view& in) {
    std::size_t i = 0;
    while (i < in.size() && (in[i] == ' ' || in[i] == '\t' || in[i] == '\n' || in[i] == '\r')) ++i;
    in.remove_prefix(i);
}

bool Eat(std::string_view& in, char c) {
    SkipSpace(in);
    if (in.empty() || in.front() != c) return false;
    in.remove_prefix(1);
    return true;
}

// The UTF-16 unit of the four hex digits `in` starts with.
std::optional<unsigned> Hex4(std::string_view in) {
    unsigned unit = 0;
    if (in.size() < 4) return std::nullopt;
    const auto [end, error] = std::from_chars(in.data(), in.data() + 4, unit, 16);
    if (error != std::errc() || end != in.data() + 4) return std::nullopt;
    return unit;
}

// The length of the well-formed UTF-8 sequence `in` starts with; 0 when it
// is none.
std::size_t Utf8Sequence(std::string_view in) {
    const auto at = [&in](std::size_t i) -> unsigned { return i < in.size() ? static_cast<unsigned char>(in[i]) : 0u; };
    const unsigned lead = at(0);
    if (lead < 0xC2 || lead > 0xF4) return 0;
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    // The second byte's range rules out overlong forms, surrogates and
    // code points past U+10FFFF.
    const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (at(1) < low || at(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (at(i) < 0x80 || at(i) > 0xBF) return 0;
    return length;
}

// Passes over the string `in` starts with (after blanks), checking it; its
// text as written, between the quotes, goes to `raw`.
bool SkipString(std::string_view& in, std::string_view* raw = nullptr) {
    SkipSpace(in);
    if (in.empty() || in.front() != '"') return false;
    std::size_t i = 1;
    for (;;) {
        if (i >= in.size()) return false;
        const auto c = static_cast<unsigned char>(in[i]);
        if (c == '"') break;
        if (c < 0x20) return false;
        if (c >= 0x80) {
            const std::size_t n = Utf8Sequence(in.substr(i));
            if (n == 0) return false;
            i += n;
        } else if (c != '\\') {
            ++i;
        } else if (i + 1 < in.size() && std::string_view(R"("\/bfnrt)").find(in[i + 1]) != std::string_view::npos) {
            i += 2;
        } else {
            // \uXXXX; a surrogate only as a high one followed by a low one.
            const auto unit = Hex4(in.substr(std::min(i + 2, in.size())));
            if (i + 1 >= in.size() || in[i + 1] != 'u' || !unit || (*unit >= 0xDC00 && *unit <= 0xDFFF)) return false;
            i += 6;
            if (*unit >= 0xD800 && *unit <= 0xDBFF) {
                const auto second = in.substr(i).starts_with("\\u") ? Hex4(in.substr(i + 2)) : std::nullopt;
                if (!second || *second < 0xDC00 || *second > 0xDFFF) return false;
                i += 6;
            }
        }
    }
    if (raw) *raw = in.substr(1, i - 1);
    in.remove_prefix(i + 1);
    return true;
}

bool SkipNumber(std::string_view& in) {
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < in.size() && in[i] >= '0' && in[i] <= '9') ++i;
        return i > from;
    };
    if (i < in.size() && in[i] == '-') ++i;
    if (i < in.size() && in[i] == '0') ++i;
    else if (!digits()) return false;
    if (i < in.size() && in[i] == '.' && (++i, !digits())) return false;
    if (i < in.size() && (in[i] == 'e' || in[i] == 'E')) {
        ++i;
        if (i < in.size() && (in[i] == '+' || in[i] == '-')) ++i;
        if (!digits()) return false;
    }
    in.remove_prefix(i);
    return true;
}

// Passes over one value (after blanks), checking it; false when it is not
// well-formed or nests deeper than kMaxJsonDepth. Containers are followed
// with a stack of their kinds, not by recursion.
bool SkipValue(std::string_view& in) {
    std::array<bool, kMaxJsonDepth> isObject{};
    std::size_t depth = 0;
    for (;;) {
        SkipSpace(in);
        if (in.empty()) return false;
        const char c = in.front();
        if (c == '{' || c == '[') {
            if (depth == kMaxJsonDepth) return false;
            in.remove_prefix(1);
            isObject[depth++] = c == '{';
            if (!Eat(in, c == '{' ? '}' : ']')) {
                if (c == '{' && !(SkipString(in) && Eat(in, ':'))) return false;
                continue;  // to its first value
            }
            --depth;
        } else if (c == '"') {
            if (!SkipString(in)) return false;
        } else if (c == 't' || c == 'f' || c == 'n') {
            const std::string_view word = c == 't' ? "true" : c == 'f' ? "false" : "null";
            if (!in.starts_with(word)) return false;
            in.remove_prefix(word.size());
        } else if (!SkipNumber(in)) {
            return false;
        }
        // A value has ended: the next one in its container, or the container's end.
        for (;;) {
            if (depth == 0) return true;
            if (Eat(in, ',')) {
                if (isObject[depth - 1] && !(SkipString(in) && Eat(in, ':'))) return false;
                break;
            }
            if (!Eat(in, isObject[depth - 1] ? '}' : ']')) return false;
            --depth;
        }
    }
}

// The bytes PassValue looks at; it runs over all others.
constexpr std::array<bool, 256> kStructural = [] {
    std::array<bool, 256> table{};
    for (const char c : std::string_view("\"[]{},")) table[static_cast<unsigned char>(c)] = true;
    return table;
}();

// Passes over one value of text SkipValue has checked, minding only
// strings and brackets: the way to the wanted values crosses the same
// text again, and need not check it twice.
void PassValue(std::string_view& in) {
    SkipSpace(in);
    const char* p = in.data();
    const char* const end = p + in.size();
    std::size_t depth = 0;
    while (p < end) {
        while (p < end && !kStructural[static_cast<unsigned char>(*p)]) ++p;
        if (p == end) break;
        const char c = *p;
        if (depth == 0 && (c == ',' || c == ']' || c == '}')) break;  // what follows a number or word
        ++p;
        if (c == '"') {
            // The closing quote is the first one after an even run of backslashes.
            for (const char* quote; (quote = static_cast<const char*>(std::memchr(p, '"', end - p)));) {
                std::size_t slashes = 0;
                while (quote - slashes > p && quote[-1 - static_cast<std::ptrdiff_t>(slashes)] == '\\') ++slashes;
                p = quote + 1;
                if (slashes % 2 == 0) break;
            }
        } else if (c == '[' || c == '{') {
            ++depth;
            continue;
        } else if (c == ']' || c == '}') {
            --depth;
        } else {
            continue;
        }
        if (depth == 0) break;
    }
    in.remove_prefix(static_cast<std::size_t>(std::min(p, end) - in.data()));
}

// The value of the first member called `name` (as written) of the object
// `in` starts with; "" when there is none. Only on checked text.
std::string_view Member(std::string_view in, std::string_view name) {
    if (!Eat(in, '{') || Eat(in, '}')) return {};
    do {
        std::string_view key;
        if (!SkipString(in, &key) || !Eat(in, ':')) return {};
        SkipSpace(in);
        if (key == name) return in;
        PassValue(in);
    } while (Eat(in, ','));
    return {};
}

// The element at `index` of the array `in` starts with; "" when there is
// none. Only on checked text.
std::string_view Element(std::string_view in, std::size_t index) {
    if (!Eat(in, '[') || Eat(in, ']')) return {};
    for (std::size_t i = 0;; ++i) {
        SkipSpace(in);
        if (i == index) return in;
        PassValue(in);
        if (!Eat(in, ',')) return {};
    }
}

// A 1-based position stored in the session, as a 0-based index: a whole
// number from 1 to 2^31-1 written without fraction or exponent.
std::optional<std::size_t> Position(std::string_view in) {
    std::size_t digits = 0;
    while (digits < in.size() && in[digits] >= '0' && in[digits] <= '9') ++digits;
    if (digits == 0 || digits > 10 || in[0] == '0') return std::nullopt;
    if (digits < in.size() && (in[digits] == '.' || in[digits] == 'e' || in[digits] == 'E')) return std::nullopt;
    std::uint64_t value = 0;
    std::from_chars(in.data(), in.data() + digits, value);
    if (value > INT32_MAX) return std::nullopt;
    return static_cast<std::size_t>(value - 1);
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The text of the string `in` starts with, its escapes decoded. Only on checked text.
std::optional<std::string> Text(std::string_view in) {
    std::string_view raw;
    if (!SkipString(in, &raw)) return std::nullopt;
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            text += raw[i];
            continue;
        }
        const char e = raw[++i];
        if (e != 'u') {
            constexpr std::string_view from = R"("\/bfnrt)", to = "\"\\/\b\f\n\r\t";
            text += to[from.find(e)];
            continue;
        }
        std::uint32_t code = *Hex4(raw.substr(i + 1));
        i += 4;
        if (code >= 0xD800 && code <= 0xDBFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (*Hex4(raw.substr(i + 3)) - 0xDC00);
            i += 6;
        }
        AppendUtf8(text, code);
    }
    return text;
}

// The current history entry of the selected tab of the selected window.
std::string SelectedTabUrl(std::string_view session) {
    std::string_view rest = session;
    if (!SkipValue(rest) || (SkipSpace(rest), !rest.empty())) return {};
    const auto window = Position(Member(session, "selectedWindow"));
    if (!window) return {};
    const std::string_view windowValue = Element(Member(session, "windows"), *window);
    const auto tab = Position(Member(windowValue, "selected"));
    if (!tab) return {};
    const std::string_view tabValue = Element(Member(windowValue, "tabs"), *tab);
    const auto entry = Position(Member(tabValue, "index"));
    if (!entry) return {};
    return Text(Member(Element(Member(tabValue, "entries"), *entry), "url")).value_or("");
}

// "mozLz40\0", the decompressed size (32 bits, little-endian), one LZ4 block.
std::optional<std::string> Decompress(std::string_view bytes) {
    constexpr std::string_view kMagic("mozLz40\0", 8);
    constexpr std::size_t kHeader = kMagic.size() + 4;
    if (bytes.size() <= kHeader || bytes.substr(0, kMagic.size()) != kMagic) return std::nullopt;
    const auto* sizeBytes = reinterpret_cast<const unsigned char*>(bytes.data() + kMagic.size());
    const std::uint32_t size =
        sizeBytes[0] | sizeBytes[1] << 8 | sizeBytes[2] << 8 * 2 | static_cast<std::uint32_t>(sizeBytes[3]) << 8 * 3;
    const std::size_t compressed = bytes.size() - kHeader;
    // One LZ4 input byte can stand for at most 255 output bytes: a header
    // that claims more is lying, and nothing is allocated for it.
    if (size == 0 || size > kMaxSessionBytes || size > static_cast<std::uint64_t>(compressed) * 255 + 16 ||
        compressed > static_cast<std::size_t>(LZ4_COMPRESSBOUND(kMaxSessionBytes)))
        return std::nullopt;
    std::string text(size, '\0');
    const int n =
        LZ4_decompress_safe(bytes.data() + kHeader, text.data(), static_cast<int>(compressed), static_cast<int>(size));
    if (n < 0 || static_cast<std::uint32_t>(n) != size) return std::nullopt;
    return text;
}

std::string FirefoxPage() {
    constexpr std::size_t kMaxFileBytes = 12 + LZ4_COMPRESSBOUND(kMaxSessionBytes);
    for (const fs::path& file : SessionFiles()) {
        const auto bytes = ReadBrowserFile(file, kMaxFileBytes);
        if (!bytes) continue;
        if (std::string url = SessionFilePage(*bytes); !url.empty()) return url;
    }
    return {};
}

// ---- Chromium family: the DevTools endpoint ----

std::string DevToolsPage(int port, const std::atomic<bool>* stop) {
    if (port <= 0 || port > 65535) return {};
    const std::string address = "http://127.0.0.1:" + std::to_string(port) + "/json/list";
    // A browser on this machine answers at once or not at all; the limit on
    // the whole transfer also ends one that trickles.
    InetLimits quick = GetInetLimits();
    quick.connectTimeout = kDevToolsConnect;
    quick.stallTimeout = kDevToolsStall;
    quick.totalTimeout = kDevToolsTotal;
    quick.maxBodyBytes = kDevToolsMaxBody;
    quick.maxRedirects = 0;  // the list is on this machine and stays there
    TWinInet inet;
    inet.Limits = quick;
    inet.StopFlag = stop;
    const bool open = inet.Open() && inet.OpenUrl(address);
    if (!open || inet.QueryInfo(kHttpQueryStatusCodeNumber) != "200") return {};
    std::string body;
    char buffer[16 * 1024];
    for (;;) {
        const int n = inet.Read(buffer, sizeof buffer);
        if (n < 0) return {};
        if (n == 0) break;
        body.append(buffer, static_cast<std::size_t>(n));
    }
    return DevToolsListPage(body);
}

}  // namespace

int DevToolsPort() {
    int port = 0;
    const char* value = std::getenv("ZVEKLC_DEVTOOLS_PORT");
    const std::string_view text = value ? value : "";
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || port <= 0 || port > 65535)
        return 9222;
    return port;
}

std::string SessionFilePage(std::string_view fileBytes) {
    const auto session = Decompress(fileBytes);
    return session ? SelectedTabUrl(*session) : std::string();
}

std::string DevToolsListPage(std::string_view body) {
    const Json list = Json::parse(body, nullptr, false);
    if (!list.is_array()) return {};
    for (const Json& target : list) {
        if (!target.is_object()) continue;
        const auto type = target.find("type");
        const auto url = target.find("url");
        if (type == target.end() || url == target.end() || !type->is_string() || !url->is_string()) continue;
        if (type->get_ref<const std::string&>() == "page" && !url->get_ref<const std::string&>().empty())
            return url->get<std::string>();
    }
    return {};
}

std::string GetBrowserPage(int devToolsPort, const std::atomic<bool>* stop) {
    if (std::string url = FirefoxPage(); !url.empty()) return url;
    if (stop && stop->load(std::memory_order_relaxed)) return {};
    return DevToolsPage(devToolsPort, stop);
}

std::optional<std::string> WaitForBrowserPage(Host& host) {
    const int port = DevToolsPort();
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;
    std::string page;
    // Nothing leaves the thread: a failure of any kind is no page.
    const auto lookup = [&]() noexcept {
        try {
            page = GetBrowserPage(port, &stop);
        } catch (...) {
            page.clear();
        }
        std::lock_guard lock(mutex);
        finished = true;
        changed.notify_all();
    };
    host.SetStatusText("ブラウザが表示しているページを調べています...");
    std::thread worker;
    try {
        worker = std::thread(lookup);
    } catch (const std::system_error&) {
        lookup();  // no thread to be had: the window waits, at most the DevTools limit
    }
    // However the wait ends, the worker is told and waited for: after a stop
    // the transfer ends within a moment (TWinInet::StopFlag), and reading a
    // session takes well under a second even at its cap.
    const auto join = [&] {
        if (worker.joinable()) worker.join();
    };
    bool stopped = false;
    try {
        std::unique_lock lock(mutex);
        while (!finished && !stopped) {
            lock.unlock();
            host.ProcessMessages();
            stopped = host.CancelRequested();
            lock.lock();
            changed.wait_for(lock, kMessagePoll, [&] { return finished || stopped; });
        }
    } catch (...) {
        stop.store(true, std::memory_order_relaxed);
        join();
        throw;
    }
    stop.store(stopped, std::memory_order_relaxed);
    join();
    host.SetStatusText("");
    if (stopped) return std::nullopt;
    return page;
}

}  // namespace zvek
