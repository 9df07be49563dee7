// TWinInet's transfers over libcurl, which is opened when the first
// connection is (CurlLibrary).
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <vector>

#include "text/Sjis.h"
#include "web/CurlLibrary.h"
#include "web/HttpBackEnd.h"
#include "web/HttpClient.h"

namespace zvek {

namespace {

using inet::Failure;
using std::chrono::milliseconds;

// Body bytes curl has handed over but nobody has read yet. Past this the
// transfer is paused until Read catches up, so a fast server never makes us
// hold more than this plus one delivery of curl's (16 KiB by default).
constexpr std::size_t kPendingLimit = 16 * 1024;

// curl's errors that have words of their own.
constexpr inet::FailureCode kCurlFailures[] = {
    {CURLE_COULDNT_RESOLVE_HOST, Failure::HostNotFound},
    {CURLE_COULDNT_CONNECT, Failure::CannotConnect},
    {CURLE_OPERATION_TIMEDOUT, Failure::TimedOut},
    {CURLE_TOO_MANY_REDIRECTS, Failure::TooManyRedirects},
    {CURLE_PEER_FAILED_VERIFICATION, Failure::Certificate},
    {CURLE_SSL_CONNECT_ERROR, Failure::Tls},
    {CURLE_UNSUPPORTED_PROTOCOL, Failure::NotHttp},
    {CURLE_URL_MALFORMAT, Failure::BadAddress},
    {CURLE_ABORTED_BY_CALLBACK, Failure::Stopped},
    {CURLE_GOT_NOTHING, Failure::Cut},
    {CURLE_RECV_ERROR, Failure::Cut},
    {CURLE_PARTIAL_FILE, Failure::Cut},
};

std::string_view TrimLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    return line;
}

}  // namespace

// The "Internet handle": a curl multi handle, which also keeps connections
// for reuse.
struct TWinInet::Handle {
    CURLM* multi = nullptr;

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
    inet::Pace pace;

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
    const std::atomic<bool>* stop = nullptr;

    Request(CURLM* m, const InetLimits& limits) : multi(m), pace(limits) {}
    ~Request() {
        if (!easy) return;
        Curl()->multi_remove_handle(multi, easy);
        Curl()->easy_cleanup(easy);
    }

    std::size_t Unread() const { return pending.size() - pendingHead; }

    // Why the transfer failed, for the user.
    std::string Reason() const {
        if (tooLarge || result == CURLE_FILESIZE_EXCEEDED) return inet::FailureText(Failure::TooLarge, pace.Limits());
        return inet::LibraryFailureText(kCurlFailures, "curl", result, pace.Limits());
    }

    void Finish(CURLcode code) {
        if (done) return;
        done = true;
        result = code;
    }

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
        auto& r = *static_cast<Request*>(user);
        const std::size_t n = size * count;
        r.pace.Arrived(n);
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
        r.pace.Arrived(0);
        r.headersDone = true;
        if (r.Unread() >= kPendingLimit) {
            // curl keeps this delivery and hands it over again after the unpause.
            r.paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        if (r.bodyBytes + n > r.pace.Limits().maxBodyBytes) {
            r.tooLarge = true;
            return 0;  // ends the transfer with a write error
        }
        if (r.pendingHead == r.pending.size()) {
            r.pending.clear();
            r.pendingHead = 0;
        }
        r.pending.insert(r.pending.end(), data, data + n);
        r.bodyBytes += n;
        r.pace.Arrived(n);
        return n;
    }

    // Drives the transfer until `ready()` holds or the transfer is over,
    // sleeping in poll while the server has nothing for us.
    template <class Ready>
    void Pump(Ready ready) {
        inet::PaceWait wait(pace);
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
            const auto slice = wait.Next(stop ? inet::kStopPollSlice : inet::kPollSlice);
            if (done || ready()) break;
            if (!slice) {
                Finish(CURLE_OPERATION_TIMEDOUT);
                break;
            }
            Curl()->multi_poll(multi, nullptr, 0, static_cast<int>(slice->count()), nullptr);
        }
    }
};

void TWinInet::HandleDeleter::operator()(Handle* handle) const { delete handle; }

void TWinInet::RequestDeleter::operator()(Request* request) const { delete request; }

bool TWinInet::OpenHandle(const std::string&) {
    if (!Curl()) {
        failure_ = "HTTP のライブラリ（libcurl）を読み込めません";
        return false;
    }
    std::unique_ptr<Handle, HandleDeleter> handle(new Handle);
    handle->multi = Curl()->multi_init();
    if (!handle->multi) return false;
    internet_ = std::move(handle);
    return true;
}

bool TWinInet::OpenUrl(const std::string& url) {
    CloseUrl();
    if (!internet_) return false;  // an open handle means libcurl is loaded
    failure_ = inet::FailureText(Failure::CannotStart, {});
    const CurlLibrary& curl = *Curl();
    std::unique_ptr<Request, RequestDeleter> request(new Request(internet_->multi, Limits ? *Limits : GetInetLimits()));
    const InetLimits& limits = request->pace.Limits();
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
    curl.easy_setopt(easy, CURLOPT_MAXREDIRS, limits.maxRedirects);
    curl.easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeout.count()));
    // A declared length over the cap fails before any byte is kept; bodies
    // of unknown length are counted in OnBody.
    curl.easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes));
    curl.easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // Like OpenSSL's own programs, SSL_CERT_FILE replaces the system's
    // certificates (a company's own authority; a test's server).
    const char* certFile = std::getenv("SSL_CERT_FILE");
    if (!limits.trustedCertificates.empty()) certFile = limits.trustedCertificates.c_str();
    if (certFile && *certFile) curl.easy_setopt(easy, CURLOPT_CAINFO, certFile);
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
    failure_ = r.Reason();
    CloseUrl();
    return false;
}

std::optional<std::string> TWinInet::ResponseInfo(std::uint32_t level) const {
    const Request& r = *request_;
    auto header = [&r](std::string_view name) -> std::string {
        for (const auto& [key, value] : r.headers)
            if (EqualsIgnoreCase(key, name)) return value;
        return {};
    };
    switch (level) {
    case kHttpQueryStatusCode:
        return r.statusCode > 0 ? std::to_string(r.statusCode) : std::string();
    case kHttpQueryStatusText:
        return r.statusText;
    case kHttpQueryContentType:
        return header("Content-Type");
    case kHttpQueryContentLength:
        return header("Content-Length");
    case kHttpQueryLocation:
        return header("Location");
    case kHttpQueryRawHeadersCrlf:
        return r.rawHeaders;
    default:
        return std::nullopt;
    }
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

std::string TWinInet::TransferFailure() const { return request_ ? request_->Reason() : std::string(); }

}  // namespace zvek
