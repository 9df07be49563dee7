// The HTTP client behind every download: TWinInet over libcurl, which is
// opened when the first connection is.
#include "web/HttpClient.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "text/Sjis.h"
#include "platform/Files.h"
#include "platform/InstanceLock.h"
#include "web/CurlLibrary.h"

namespace zvek {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Download reads the body in chunks of this size, one report per chunk.
constexpr int kChunk = 4096;
// Read gives up on a failing transfer after this many calls in a row. A
// failed curl transfer does not recover, so the later tries answer at once;
// the count is kept because callers were written against it.
constexpr int kReadTries = 5;
// Body bytes curl has handed over but nobody has read yet. Past this the
// transfer is paused until Read catches up, so a fast server never makes us
// hold more than this plus one delivery of curl's (16 KiB by default).
constexpr std::size_t kPendingLimit = 16 * 1024;
// Longest single wait in the transfer loop; curl's own timers shorten it.
constexpr milliseconds kPollSlice{1000};
// The same when a stop flag is watched, so that a stop ends the transfer
// at once and whoever waits for the thread is not kept.
constexpr milliseconds kStopPollSlice{50};

std::mutex limitsMutex;
InetLimits limits;

std::string_view TrimLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    return line;
}

}  // namespace

InetLimits GetInetLimits() {
    std::lock_guard lock(limitsMutex);
    return limits;
}

void SetInetLimits(const InetLimits& value) {
    std::lock_guard lock(limitsMutex);
    limits = value;
}

// The "Internet handle": a curl multi handle, which also keeps connections
// for reuse, and the agent number it was opened under.
struct TWinInet::Handle {
    CURLM* multi = nullptr;
    InstanceLock agentLock;

    ~Handle() {
        if (multi) Curl()->multi_cleanup(multi);
    }
};

// One open URL. The transfer runs only while someone waits for it (OpenUrl
// for the headers, Read for body bytes): between calls nothing moves, and
// the pending bytes never grow past kPendingLimit plus one delivery.
struct TWinInet::Request {
    CURLM* multi;
    CURL* easy = nullptr;
    InetLimits limits;

    // The latest response's status line and headers; once headersDone is
    // set they are the final response's (redirects and 1xx come before).
    int statusCode = 0;
    std::string statusText;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string rawHeaders;
    bool redirecting = false;
    bool headersDone = false;

    std::vector<char> pending;
    std::size_t pendingHead = 0;
    bool paused = false;
    std::uint64_t bodyBytes = 0;
    bool tooLarge = false;

    bool done = false;
    CURLcode result = CURLE_OK;
    const Clock::time_point started = Clock::now();
    Clock::time_point lastByte = started;
    // The low-speed window: bytes from the server and time spent waiting
    // for them since the window began.
    std::uint64_t windowBytes = 0;
    Clock::duration windowWaited{};
    const std::atomic<bool>* stop = nullptr;

    explicit Request(CURLM* m) : multi(m) {}
    ~Request() {
        if (!easy) return;
        Curl()->multi_remove_handle(multi, easy);
        Curl()->easy_cleanup(easy);
    }

    std::size_t Unread() const { return pending.size() - pendingHead; }

    // Why the transfer failed, for the user.
    std::string Failure() const {
        if (tooLarge || result == CURLE_FILESIZE_EXCEEDED)
            return "ページが大きすぎます（" + std::to_string(limits.maxBodyBytes / 1024) + " KiBまで）";
        switch (result) {
        case CURLE_COULDNT_RESOLVE_HOST: return "ホスト名が見つかりません";
        case CURLE_COULDNT_CONNECT: return "サーバーに接続できません（接続を拒否されたか、届きません）";
        case CURLE_OPERATION_TIMEDOUT: return "時間切れです（サーバーが応答しないか、遅すぎます）";
        case CURLE_TOO_MANY_REDIRECTS: return "転送（リダイレクト）が多すぎます";
        case CURLE_PEER_FAILED_VERIFICATION: return "サーバーの証明書を確認できません";
        case CURLE_SSL_CONNECT_ERROR: return "暗号化した接続（TLS）を始められません";
        case CURLE_UNSUPPORTED_PROTOCOL: return "http と https のアドレスしか取得しません";
        case CURLE_URL_MALFORMAT: return "アドレスの形が正しくありません";
        case CURLE_ABORTED_BY_CALLBACK: return "中止しました";
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_PARTIAL_FILE: return "接続が途中で切れました";
        default: return "通信に失敗しました（curl " + std::to_string(static_cast<int>(result)) + "）";
        }
    }

    void Finish(CURLcode code) {
        if (done) return;
        done = true;
        result = code;
    }

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
        auto& r = *static_cast<Request*>(user);
        const std::size_t n = size * count;
        r.lastByte = Clock::now();
        r.windowBytes += n;
        const std::string_view line = TrimLine({data, n});
        if (line.substr(0, 5) == "HTTP/") {
            // A new response: a redirect's or an interim one's headers are forgotten.
            r.headers.clear();
            r.rawHeaders.clear();
            r.redirecting = false;
            r.statusCode = 0;
            r.statusText.clear();
            std::size_t at = line.find(' ');
            if (at != std::string_view::npos) {
                const std::string_view rest = line.substr(at + 1);
                std::from_chars(rest.data(), rest.data() + rest.size(), r.statusCode);
                if (const std::size_t space = rest.find(' '); space != std::string_view::npos)
                    r.statusText = rest.substr(space + 1);
            }
        } else if (line.empty()) {
            // curl follows a 3xx that names a Location and skips its body;
            // the caller only ever sees the response after the last one.
            const bool interim = r.statusCode >= 100 && r.statusCode < 200;
            const bool followed = r.statusCode >= 300 && r.statusCode < 400 && r.redirecting;
            if (!interim && !followed) r.headersDone = true;
        } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
            const std::string_view name = line.substr(0, colon);
            const std::string_view value = Trim(line.substr(colon + 1));
            r.headers.emplace_back(name, value);
            if (EqualsIgnoreCase(name, "Location") && !value.empty()) r.redirecting = true;
        }
        if (!line.empty() || r.headersDone) r.rawHeaders.append(line).append("\r\n");
        return n;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
        auto& r = *static_cast<Request*>(user);
        const std::size_t n = size * count;
        r.lastByte = Clock::now();
        r.headersDone = true;
        if (r.Unread() >= kPendingLimit) {
            // curl keeps this delivery and hands it over again after the unpause.
            r.paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        if (r.bodyBytes + n > r.limits.maxBodyBytes) {
            r.tooLarge = true;
            return 0;  // ends the transfer with a write error
        }
        if (r.pendingHead == r.pending.size()) {
            r.pending.clear();
            r.pendingHead = 0;
        }
        r.pending.insert(r.pending.end(), data, data + n);
        r.bodyBytes += n;
        r.windowBytes += n;
        return n;
    }

    // Counts `waited` into the low-speed window; false when the window is
    // full and the server sent too little in it. Each window is judged on
    // its own, so a fast start does not pay for a trickle later.
    bool KeepsPace(Clock::duration waited) {
        if (limits.lowSpeedBytesPerSecond == 0 || limits.lowSpeedTime <= milliseconds::zero()) return true;
        windowWaited += waited;
        if (windowWaited < limits.lowSpeedTime) return true;
        const auto ms = static_cast<std::uint64_t>(std::chrono::duration_cast<milliseconds>(windowWaited).count());
        if (windowBytes < limits.lowSpeedBytesPerSecond * ms / 1000) return false;
        windowBytes = 0;
        windowWaited = {};
        return true;
    }

    // Drives the transfer until `ready()` holds or the transfer is over,
    // sleeping in poll while the server has nothing for us.
    template <class Ready>
    void Pump(Ready ready) {
        const Clock::time_point waitStart = Clock::now();
        Clock::time_point counted = waitStart;
        while (!done && !ready()) {
            if (stop && stop->load(std::memory_order_relaxed)) {
                Finish(CURLE_ABORTED_BY_CALLBACK);
                break;
            }
            if (paused) {
                paused = false;
                if (const CURLcode code = Curl()->easy_pause(easy, CURLPAUSE_CONT); code != CURLE_OK) Finish(code);
                continue;
            }
            int running = 0;
            if (Curl()->multi_perform(multi, &running) != CURLM_OK) {
                Finish(CURLE_FAILED_INIT);
                break;
            }
            int left = 0;
            while (CURLMsg* message = Curl()->multi_info_read(multi, &left))
                if (message->msg == CURLMSG_DONE && message->easy_handle == easy) Finish(message->data.result);
            const Clock::time_point now = Clock::now();
            // The low-speed window, too, counts only time spent waiting here.
            const bool keepsPace = KeepsPace(now - counted);
            counted = now;
            if (done || ready()) break;
            // The stall clock runs only while we wait: time the caller spent
            // elsewhere between two reads is not the server's silence.
            const Clock::time_point stallEnd = std::max(lastByte, waitStart) + limits.stallTimeout;
            const Clock::time_point totalEnd = started + limits.totalTimeout;
            if (!keepsPace || now >= stallEnd || now >= totalEnd) {
                Finish(CURLE_OPERATION_TIMEDOUT);
                break;
            }
            Clock::time_point deadline = std::min(stallEnd, totalEnd);
            if (limits.lowSpeedBytesPerSecond > 0 && limits.lowSpeedTime > milliseconds::zero())
                deadline = std::min(deadline, now + (limits.lowSpeedTime - windowWaited));
            const auto slice = std::min(stop ? kStopPollSlice : kPollSlice,
                                        std::chrono::ceil<milliseconds>(deadline - now) + milliseconds(1));
            Curl()->multi_poll(multi, nullptr, 0, static_cast<int>(slice.count()), nullptr);
        }
    }
};

namespace {

std::string FileFailure(const char* what, int error) { return std::string(what) + "（" + std::strerror(error) + "）"; }

}  // namespace

TWinInet::TWinInet() = default;

TWinInet::~TWinInet() { Close(); }

void TWinInet::Progress(ProgressStatus status, std::uint32_t count) {
    if (OnProgress) OnProgress(*this, status, count);
}

bool TWinInet::Open() {
    Close();
    if (!Curl()) {
        failure_ = "HTTP のライブラリ（libcurl）を読み込めません";
        return false;
    }
    auto handle = std::make_unique<Handle>();
    handle->multi = Curl()->multi_init();
    if (!handle->multi) return false;
    const std::string program = ProgramName();
    handle->agentLock = InstanceLock::Acquire(program);
    agent_ = program + std::to_string(handle->agentLock.number());
    internet_ = std::move(handle);
    return true;
}

void TWinInet::Close() {
    CloseUrl();
    internet_.reset();  // closes the connections, then gives the number back
    agent_.clear();
}

void TWinInet::CloseUrl() { request_.reset(); }

bool TWinInet::OpenUrl(const std::string& url) {
    CloseUrl();
    if (!internet_) return false;  // an open handle means libcurl is loaded
    failure_ = "通信を始められません";
    const CurlLibrary& curl = *Curl();
    auto request = std::make_unique<Request>(internet_->multi);
    request->limits = Limits ? *Limits : GetInetLimits();
    request->stop = StopFlag;
    CURL* easy = request->easy = curl.easy_init();
    if (!easy) return false;
    curl.easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl.easy_setopt(easy, CURLOPT_USERAGENT, agent_.c_str());
    curl.easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    // Addresses come from documents and web pages: never let one, or a
    // redirect, reach a local file or another protocol.
#if LIBCURL_VERSION_NUM >= 0x075500
    curl.easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl.easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
    curl.easy_setopt(easy, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    curl.easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    curl.easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl.easy_setopt(easy, CURLOPT_MAXREDIRS, request->limits.maxRedirects);
    curl.easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request->limits.connectTimeout.count()));
    // A declared length over the cap fails before any byte is kept; bodies
    // of unknown length are counted in OnBody.
    curl.easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request->limits.maxBodyBytes));
    curl.easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    if (!request->limits.trustedCertificates.empty())
        curl.easy_setopt(easy, CURLOPT_CAINFO, request->limits.trustedCertificates.c_str());
    // This machine is never reached through a proxy.
    curl.easy_setopt(easy, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
    // Sites that set a cookie and redirect to check it work as in a browser.
    curl.easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    // A proxy's CONNECT answer is no response of the page's.
    curl.easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl.easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Request::OnHeader);
    curl.easy_setopt(easy, CURLOPT_HEADERDATA, request.get());
    curl.easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Request::OnBody);
    curl.easy_setopt(easy, CURLOPT_WRITEDATA, request.get());
    if (curl.multi_add_handle(internet_->multi, easy) != CURLM_OK) {
        curl.easy_cleanup(easy);
        request->easy = nullptr;
        return false;
    }
    Request& r = *request;
    request_ = std::move(request);
    failure_.clear();
    r.Pump([&r] { return r.headersDone; });
    if (r.headersDone || (r.done && r.result == CURLE_OK)) return true;
    failure_ = r.Failure();
    CloseUrl();
    return false;
}

std::string TWinInet::QueryInfo(std::uint32_t level) const {
    if (!request_) return {};
    const Request& r = *request_;
    auto header = [&r](std::string_view name) -> std::string {
        for (const auto& [key, value] : r.headers)
            if (EqualsIgnoreCase(key, name)) return value;
        return {};
    };
    std::string value;
    switch (level & 0xFFFF) {
        case kHttpQueryStatusCode:
            if (r.statusCode > 0) value = std::to_string(r.statusCode);
            break;
        case kHttpQueryStatusText: value = r.statusText; break;
        case kHttpQueryContentType: value = header("Content-Type"); break;
        case kHttpQueryContentLength: value = header("Content-Length"); break;
        case kHttpQueryLocation: value = header("Location"); break;
        case kHttpQueryRawHeadersCrlf: value = r.rawHeaders; break;
        default: return {};
    }
    if (level & kHttpQueryFlagNumber) {
        std::uint32_t number = 0;
        const char* end = value.data() + value.size();
        const auto [stop, error] = std::from_chars(value.data(), end, number);
        if (value.empty() || error != std::errc() || stop != end) return {};
        value = std::to_string(number);
    }
    if (value.size() >= 256) return {};  // as a 256-byte buffer with its terminator would
    return value;
}

int TWinInet::ReadOnce(char* buffer, int size) {
    if (!request_ || size < 0) return -1;
    Request& r = *request_;
    // Like a blocking socket read of a whole record: the buffer is filled
    // unless the body ends first, so a body comes in full chunks and one
    // short one. Bytes that came before a failure are handed out first;
    // the failure shows on the next call.
    std::size_t copied = 0;
    const auto wanted = static_cast<std::size_t>(size);
    while (copied < wanted) {
        if (r.Unread() == 0) r.Pump([&r] { return r.Unread() > 0; });
        const std::size_t n = std::min(r.Unread(), wanted - copied);
        if (n == 0) break;
        std::copy_n(r.pending.data() + r.pendingHead, n, buffer + copied);
        r.pendingHead += n;
        copied += n;
    }
    if (copied > 0 || wanted == 0) return static_cast<int>(copied);
    return r.result == CURLE_OK ? 0 : -1;
}

int TWinInet::Read(char* buffer, int size) {
    for (int attempt = 0; attempt < kReadTries; ++attempt)
        if (const int n = ReadOnce(buffer, size); n >= 0) return n;
    return -1;
}

bool TWinInet::Download(const std::string& url, const std::string& fileName) {
    Progress(psConnecting, 0);
    if (!internet_) Open();
    if (!OpenUrl(url)) {
        Close();
        return false;
    }
    if (const int status = request_->statusCode; status < 200 || status > 299) {
        failure_ = "HTTP " + std::to_string(status) + (request_->statusText.empty() ? "" : " ") +
                   request_->statusText;
        Progress(psDisconnecting, 0);
        Close();
        Progress(psFailed, 0);
        return false;
    }
    Progress(psDownloading, 0);

    int fd = -1;
    if (!fileName.empty()) {
        const std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
        std::error_code ignored;  // a folder that cannot be made shows as a file that cannot be created
        if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
        fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            failure_ = FileFailure("一時ファイルを作れません", errno);
            Close();
            return false;
        }
    }

    char buffer[kChunk];
    bool ok = true;
    bool writing = fd >= 0;
    std::uint32_t total = 0;
    for (;;) {
        const int n = Read(buffer, kChunk);
        if (n < 0) {
            failure_ = request_->Failure();
            ok = false;
            break;
        }
        if (const int error = writing ? WriteAll(fd, {buffer, static_cast<std::size_t>(n)}) : 0; error != 0) {
            failure_ = FileFailure("一時ファイルに書き込めません", error);
            ok = false;
            writing = false;
        }
        total += static_cast<std::uint32_t>(n);
        Progress(psDownloading, total);
        if (!ok || n == 0) break;
    }
    if (fd >= 0 && ::close(fd) != 0 && ok) {
        failure_ = FileFailure("一時ファイルに書き込めません", errno);
        ok = false;
    }

    Progress(psDisconnecting, total);
    Close();
    if (!ok) {
        if (!fileName.empty()) ::unlink(fileName.c_str());
        Progress(psFailed, total);
    } else {
        Progress(psDone, total);
    }
    return ok;
}

}  // namespace zvek
