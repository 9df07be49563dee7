#include "web/BrowserPage.h"

#include <lz4.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "web/Inet.h"

namespace zvek {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Json = nlohmann::json;

// A session of many windows with long histories is a few megabytes; the cap
// only keeps a damaged or planted file from costing more than that.
constexpr std::uint32_t kMaxSessionBytes = 64u * 1024 * 1024;
constexpr std::uintmax_t kMaxProfilesIniBytes = 1024 * 1024;
// Firefox nests a few levels per frame of a page; nothing real comes near this.
constexpr std::size_t kMaxJsonDepth = 512;

// The DevTools endpoint is on this machine: it answers at once or not at all.
constexpr std::chrono::milliseconds kDevToolsConnect{1000};
constexpr std::chrono::milliseconds kDevToolsStall{2000};
constexpr std::chrono::milliseconds kDevToolsTotal{3000};
constexpr std::uint64_t kDevToolsMaxBody = 4u * 1024 * 1024;

std::optional<std::string> ReadFileCapped(const fs::path& path, std::uintmax_t cap) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > cap) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(size));
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    if (in.gcount() != static_cast<std::streamsize>(size)) return std::nullopt;
    return bytes;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// ---- Firefox: profiles.ini ----

struct IniSection {
    std::string name;
    std::map<std::string, std::string, std::less<>> values;
};

std::vector<IniSection> ParseIni(std::string_view text) {
    std::vector<IniSection> sections;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            sections.push_back({std::string(line.substr(1, line.size() - 2)), {}});
        } else if (const std::size_t eq = line.find('='); eq != std::string_view::npos && !sections.empty()) {
            sections.back().values.emplace(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
        }
    }
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
    const auto text = ReadFileCapped(root / "profiles.ini", kMaxProfilesIniBytes);
    if (!text) return {};
    const std::vector<IniSection> sections = ParseIni(*text);
    // A relative Path (IsRelative=1) is below profiles.ini's folder; joining
    // an absolute one leaves it as it is.
    auto folder = [&root](std::string_view path) { return root / fs::path(std::string(path)); };
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

// Where Firefox keeps its profiles: the classic folder, the snap's, the
// Flatpak's, and the XDG configuration folder newer versions use.
std::vector<fs::path> ProfileRoots() {
    std::vector<fs::path> roots;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') {
        const fs::path h(home);
        roots.push_back(h / ".mozilla/firefox");
        roots.push_back(h / "snap/firefox/common/.mozilla/firefox");
        roots.push_back(h / ".var/app/org.mozilla.firefox/.mozilla/firefox");
    }
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        roots.push_back(fs::path(config) / "mozilla/firefox");
    else if (home && home[0] == '/')
        roots.push_back(fs::path(home) / ".config/mozilla/firefox");
    return roots;
}

// The session files of the default profiles, the most recently written
// first: with more than one Firefox installed, the one in use wrote last.
std::vector<fs::path> SessionFiles() {
    std::vector<std::pair<fs::file_time_type, fs::path>> found;
    for (const fs::path& root : ProfileRoots()) {
        for (const fs::path& profile : DefaultProfiles(root)) {
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

// "mozLz40\0", the decompressed size (32 bits, little-endian), one LZ4 block.
std::optional<std::string> ReadMozLz4(const fs::path& file) {
    constexpr std::string_view kMagic("mozLz40\0", 8);
    constexpr std::size_t kHeader = kMagic.size() + 4;
    const auto bytes = ReadFileCapped(file, kHeader + LZ4_COMPRESSBOUND(kMaxSessionBytes));
    if (!bytes || bytes->size() <= kHeader || std::string_view(*bytes).substr(0, kMagic.size()) != kMagic)
        return std::nullopt;
    const auto* sizeBytes = reinterpret_cast<const unsigned char*>(bytes->data() + kMagic.size());
    const std::uint32_t size = sizeBytes[0] | sizeBytes[1] << 8 | sizeBytes[2] << 8 * 2 |
                               static_cast<std::uint32_t>(sizeBytes[3]) << 8 * 3;
    const std::size_t compressed = bytes->size() - kHeader;
    // One LZ4 input byte can stand for at most 255 output bytes: a header
    // that claims more is lying, and nothing is allocated for it.
    if (size == 0 || size > kMaxSessionBytes || size > static_cast<std::uint64_t>(compressed) * 255 + 16)
        return std::nullopt;
    std::string text(size, '\0');
    const int n = LZ4_decompress_safe(bytes->data() + kHeader, text.data(), static_cast<int>(compressed),
                                      static_cast<int>(size));
    if (n < 0 || static_cast<std::uint32_t>(n) != size) return std::nullopt;
    return text;
}

// One step of a path into a JSON document: an object member or an array element.
struct Step {
    std::string key;
    std::size_t index = 0;
    bool isIndex = false;
};
Step Key(std::string key) { return {std::move(key), 0, false}; }
Step At(std::size_t index) { return {{}, index, true}; }

// Finds the scalar at one path while the parser streams past everything
// else. A session holds every tab's whole history; only one value is
// wanted, and memory stays proportional to the nesting depth, whatever the
// file holds.
class PathFinder {
public:
    using number_integer_t = Json::number_integer_t;
    using number_unsigned_t = Json::number_unsigned_t;
    using number_float_t = Json::number_float_t;
    using string_t = Json::string_t;
    using binary_t = Json::binary_t;

    std::optional<std::int64_t> number;
    std::optional<std::string> text;

    // `whole`: read the document to its end, so that a damaged one gives
    // nothing even when the value came before the damage.
    PathFinder(std::vector<Step> path, bool whole) : path_(std::move(path)), whole_(whole) {}

    bool Run(const std::string& document) {
        try {
            const bool ok = Json::sax_parse(document, this, nlohmann::detail::input_format_t::json, true, false);
            return ok || (!whole_ && found_);
        } catch (...) {
            return false;
        }
    }

    bool null() { return Scalar(); }
    bool boolean(bool) { return Scalar(); }
    bool number_integer(number_integer_t value) {
        if (Here() && !found_) number = value;
        return Done();
    }
    bool number_unsigned(number_unsigned_t value) {
        if (Here() && !found_ && value <= static_cast<number_unsigned_t>(INT64_MAX))
            number = static_cast<std::int64_t>(value);
        return Done();
    }
    bool number_float(number_float_t, const string_t&) { return Scalar(); }
    bool string(string_t& value) {
        if (Here() && !found_) text = std::move(value);
        return Done();
    }
    bool binary(binary_t&) { return Scalar(); }
    bool start_object(std::size_t) { return Open(false); }
    bool start_array(std::size_t) { return Open(true); }
    bool end_object() { return Close(); }
    bool end_array() { return Close(); }
    bool key(string_t& name) {
        Frame& frame = frames_.back();
        const std::size_t depth = frames_.size() - 1;
        frame.keyOnPath = frame.onPath && depth < path_.size() && !path_[depth].isIndex && path_[depth].key == name;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

private:
    struct Frame {
        bool array;
        bool onPath;
        std::size_t next = 0;
        bool keyOnPath = false;
    };

    // Whether the value that starts now lies on the path (its container does
    // and its own key or position is the next step); takes its array slot.
    bool OnPath() {
        if (frames_.empty()) return true;
        Frame& frame = frames_.back();
        const std::size_t depth = frames_.size() - 1;
        bool on = frame.onPath && depth < path_.size();
        if (frame.array) on = on && path_[depth].isIndex && path_[depth].index == frame.next++;
        else on = on && frame.keyOnPath;
        return on;
    }
    bool Here() {
        hit_ = OnPath() && frames_.size() == path_.size();
        return hit_;
    }
    // After a scalar: whether to read on.
    bool Done() {
        if (hit_) found_ = true;
        hit_ = false;
        return whole_ || !found_;
    }
    bool Scalar() {
        Here();
        return Done();
    }
    bool Open(bool array) {
        const bool on = OnPath();
        if (frames_.size() >= kMaxJsonDepth) return false;
        frames_.push_back({array, on});
        return true;
    }
    bool Close() {
        frames_.pop_back();
        return true;
    }

    const std::vector<Step> path_;
    const bool whole_;
    std::vector<Frame> frames_;
    bool hit_ = false;
    bool found_ = false;
};

// A 1-based position stored in the session, as a 0-based index.
std::optional<std::size_t> Position(const std::string& session, const std::vector<Step>& path, bool whole) {
    PathFinder finder(path, whole);
    if (!finder.Run(session) || !finder.number || *finder.number < 1 || *finder.number > INT32_MAX)
        return std::nullopt;
    return static_cast<std::size_t>(*finder.number - 1);
}

// The current history entry of the selected tab of the selected window.
std::string SelectedTabUrl(const std::string& session) {
    // The first pass reads the whole document: damage anywhere rejects it.
    const auto window = Position(session, {Key("selectedWindow")}, true);
    if (!window) return {};
    const auto tab = Position(session, {Key("windows"), At(*window), Key("selected")}, false);
    if (!tab) return {};
    const auto entry = Position(session, {Key("windows"), At(*window), Key("tabs"), At(*tab), Key("index")}, false);
    if (!entry) return {};
    PathFinder url({Key("windows"), At(*window), Key("tabs"), At(*tab), Key("entries"), At(*entry), Key("url")},
                   false);
    if (!url.Run(session) || !url.text) return {};
    return *url.text;
}

std::string FirefoxPage() {
    for (const fs::path& file : SessionFiles()) {
        const auto session = ReadMozLz4(file);
        if (!session) continue;
        if (std::string url = SelectedTabUrl(*session); !url.empty()) return url;
    }
    return {};
}

// ---- Chromium family: the DevTools endpoint ----

std::string DevToolsPage(int port) {
    if (port <= 0 || port > 65535) return {};
    const std::string address = "http://127.0.0.1:" + std::to_string(port) + "/json/list";
    // A browser on this machine answers at once or not at all.
    InetLimits quick = GetInetLimits();
    quick.connectTimeout = kDevToolsConnect;
    quick.stallTimeout = kDevToolsStall;
    quick.maxBodyBytes = kDevToolsMaxBody;
    quick.maxRedirects = 0;  // the list is on this machine and stays there
    TWinInet inet;
    inet.Limits = quick;
    const bool open = inet.Open() && inet.OpenUrl(address);
    if (!open || inet.QueryInfo(kHttpQueryStatusCodeNumber) != "200") return {};

    const Clock::time_point deadline = Clock::now() + kDevToolsTotal;
    std::string body;
    char buffer[16 * 1024];
    for (;;) {
        const int n = inet.Read(buffer, sizeof buffer);
        if (n < 0 || Clock::now() > deadline) return {};
        if (n == 0) break;
        body.append(buffer, static_cast<std::size_t>(n));
    }
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

}  // namespace

std::string GetBrowserPage(int devToolsPort) {
    if (std::string url = FirefoxPage(); !url.empty()) return url;
    return DevToolsPage(devToolsPort);
}

}  // namespace zvek
