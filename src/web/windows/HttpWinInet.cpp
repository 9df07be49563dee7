// TWinInet's transfers over WinINet, the HTTP client Windows has built in,
// with the system's proxy settings and certificate store.
//
// WinINet's calls block, and not every WinINet lets a blocked call go:
// Wine's InternetOpenUrl ignores both the receive time-out and a closed
// handle until the server answers. So each request runs on a worker thread
// of its own, and the caller waits for it under the same limits as with
// libcurl (inet::Pace), reading ahead at most kPendingLimit bytes. A caller
// that gives up (a limit, a stop, a redirect to the next address) returns
// at once; the worker then closes its request as soon as WinINet gives it
// back, and ends.
#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/windows/Win32.h"
#include "platform/windows/WideText.h"
#include "text/Sjis.h"
#include "web/HttpAddress.h"
#include "web/HttpBackEnd.h"
#include "web/HttpClient.h"
#include "web/WebAddress.h"

#include <wininet.h>

namespace zvek {

namespace {

using inet::Failure;
using Internet = std::shared_ptr<void>;  // an InternetOpen handle, closed with its last user

// WinINet, loaded when the first address is opened: a run that fetches
// nothing starts without it (loading it costs every start about 40 ms
// under Wine). Nothing when the system's copy cannot be loaded.
struct WinInetLibrary {
    decltype(&::InternetOpenW) InternetOpenW;
    decltype(&::InternetOpenUrlA) InternetOpenUrlA;
    decltype(&::InternetCloseHandle) InternetCloseHandle;
    decltype(&::InternetSetOptionW) InternetSetOptionW;
    decltype(&::HttpQueryInfoA) HttpQueryInfoA;
    decltype(&::InternetQueryDataAvailable) InternetQueryDataAvailable;
    decltype(&::InternetReadFile) InternetReadFile;
};

const WinInetLibrary* WinInet() {
    static const WinInetLibrary* const library = []() -> const WinInetLibrary* {
        const HMODULE module = ::LoadLibraryExW(L"wininet.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        static WinInetLibrary api;
        const auto load = [module](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
            return function != nullptr;
        };
        const bool loaded =
            module && load(api.InternetOpenW, "InternetOpenW") && load(api.InternetOpenUrlA, "InternetOpenUrlA") &&
            load(api.InternetCloseHandle, "InternetCloseHandle") &&
            load(api.InternetSetOptionW, "InternetSetOptionW") && load(api.HttpQueryInfoA, "HttpQueryInfoA") &&
            load(api.InternetQueryDataAvailable, "InternetQueryDataAvailable") &&
            load(api.InternetReadFile, "InternetReadFile");
        return loaded ? &api : nullptr;
    }();
    return library;
}

// Body bytes read ahead of the caller. The worker waits while this many
// are unread, so a fast server never makes us hold more.
constexpr std::size_t kPendingLimit = 16 * 1024;

// Every request goes out as it is asked for: no cached copy answers and
// none is kept (the page is the site's page now, as with libcurl, and a
// page of megabytes does not belong in the user's cache), no redirect is
// followed behind our back (each address's scheme is checked here), and
// neither a login nor a cookie question is ever shown.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RAW_DATA | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD |
                                INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTH;

// The response headers TWinInet::QueryInfo answers, read by the worker as
// soon as the response is there, so the caller never touches a request
// handle that the worker may close.
constexpr std::uint32_t kKeptHeaders[] = {kHttpQueryContentType, kHttpQueryContentLength,  kHttpQueryStatusCode,
                                          kHttpQueryStatusText,  kHttpQueryRawHeadersCrlf, kHttpQueryLocation};

// One address's transfer, shared by the caller and the workers that send
// its requests: one per hop of a redirect chain, of which only the newest
// works on (`hop`); an older one, and every one once the caller is gone
// (`closed`), closes its request and ends.
struct Transfer {
    explicit Transfer(const InetLimits& limits) : pace(limits) {}

    std::mutex mutex;
    std::condition_variable changed;
    inet::Pace pace;
    int hop = 0;
    bool closed = false;

    // The current hop, from its worker: whether InternetOpenUrl has
    // returned, the failure of it or of the body, the headers kept.
    bool answered = false;
    DWORD error = 0;
    std::map<std::uint32_t, std::string> headers;
    // The body, once the caller asks for it.
    bool wantBody = false;
    std::vector<char> pending;
    std::size_t pendingHead = 0;
    std::uint64_t bodyBytes = 0;
    bool bodyEnded = false;
    bool tooLarge = false;
    bool cut = false;

    bool Current(int myHop) const { return !closed && hop == myHop; }
    std::size_t Unread() const { return pending.size() - pendingHead; }

    std::string Header(std::uint32_t level) const {
        const auto header = headers.find(level);
        return header == headers.end() ? std::string() : header->second;
    }
    // A header's number; 0 when it is absent or no number.
    std::uint64_t HeaderNumber(std::uint32_t level) const {
        const std::string text = Header(level);
        std::uint64_t number = 0;
        const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), number);
        return problem == std::errc() && end == text.data() + text.size() ? number : 0;
    }

    // The worker's reading, with the lock held except inside WinINet.
    void Pump(HINTERNET request, int myHop, std::unique_lock<std::mutex>& lock) {
        changed.wait(lock, [&] { return !Current(myHop) || wantBody; });
        std::vector<char> buffer(kPendingLimit);
        while (Current(myHop) && !bodyEnded) {
            changed.wait(lock, [&] { return !Current(myHop) || Unread() < kPendingLimit; });
            if (!Current(myHop)) break;
            const auto room = static_cast<DWORD>(kPendingLimit - Unread());
            lock.unlock();
            DWORD available = 0, got = 0, failure = 0;
            if (!WinInet()->InternetQueryDataAvailable(request, &available, 0, 0)) failure = ::GetLastError();
            else if (available > 0 &&
                     !WinInet()->InternetReadFile(request, buffer.data(), std::min(available, room), &got))
                failure = ::GetLastError();
            lock.lock();
            if (!Current(myHop)) break;
            if (failure != 0) {
                error = failure;
                bodyEnded = true;
            } else if (got == 0) {
                // Some WinINets end a body that the server cut short as if it
                // were whole; the length the server declared tells.
                bodyEnded = true;
                const std::uint64_t declared = HeaderNumber(kHttpQueryContentLength);
                cut = declared > 0 && bodyBytes < declared;
            } else if (bodyBytes + got > pace.Limits().maxBodyBytes) {
                tooLarge = bodyEnded = true;
            } else {
                pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(pendingHead));
                pendingHead = 0;
                pending.insert(pending.end(), buffer.data(), buffer.data() + got);
                bodyBytes += got;
                pace.Arrived(got);
            }
            changed.notify_all();
        }
    }
};

std::map<std::uint32_t, std::string> KeptHeaders(HINTERNET request) {
    std::map<std::uint32_t, std::string> headers;
    for (const std::uint32_t level : kKeptHeaders) {
        char value[256];  // longer values count as absent, as QueryInfo says
        DWORD size = sizeof value;
        if (WinInet()->HttpQueryInfoA(request, level, value, &size, nullptr)) headers[level].assign(value, size);
    }
    return headers;
}

// A worker: one request for one hop of the transfer.
void RunRequest(std::shared_ptr<Transfer> transfer, Internet internet, std::string address, int hop) {
    HINTERNET request = WinInet()->InternetOpenUrlA(internet.get(), address.c_str(), nullptr, 0, kRequestFlags, 0);
    const DWORD error = request ? 0 : ::GetLastError();
    std::map<std::uint32_t, std::string> headers;
    if (request) headers = KeptHeaders(request);
    Transfer& t = *transfer;
    std::unique_lock lock(t.mutex);
    if (t.Current(hop)) {
        t.answered = true;
        t.error = error;
        t.headers = std::move(headers);
        t.pace.Arrived(0);
        t.changed.notify_all();
        if (request) t.Pump(request, hop, lock);
    }
    lock.unlock();
    if (request) WinInet()->InternetCloseHandle(request);
}

// WinINet's errors that have words of their own.
constexpr inet::FailureCode kWinInetFailures[] = {
    {ERROR_INTERNET_NAME_NOT_RESOLVED, Failure::HostNotFound},
    {ERROR_INTERNET_CANNOT_CONNECT, Failure::CannotConnect},
    {ERROR_INTERNET_TIMEOUT, Failure::TimedOut},
    {ERROR_INTERNET_INVALID_CA, Failure::Certificate},
    {ERROR_INTERNET_SEC_CERT_CN_INVALID, Failure::Certificate},
    {ERROR_INTERNET_SEC_CERT_DATE_INVALID, Failure::Certificate},
    {ERROR_INTERNET_SEC_CERT_ERRORS, Failure::Certificate},
    {ERROR_INTERNET_SEC_CERT_NO_REV, Failure::Certificate},
    {ERROR_INTERNET_SEC_CERT_REV_FAILED, Failure::Certificate},
    {ERROR_INTERNET_SEC_CERT_REVOKED, Failure::Certificate},
    {ERROR_INTERNET_SEC_INVALID_CERT, Failure::Certificate},
    {ERROR_INTERNET_SECURITY_CHANNEL_ERROR, Failure::Tls},
    {ERROR_INTERNET_UNRECOGNIZED_SCHEME, Failure::NotHttp},
    {ERROR_INTERNET_INVALID_URL, Failure::BadAddress},
    {ERROR_INTERNET_OPERATION_CANCELLED, Failure::Stopped},
    {ERROR_INTERNET_CONNECTION_ABORTED, Failure::Cut},
    {ERROR_INTERNET_CONNECTION_RESET, Failure::Cut},
    {ERROR_HTTP_INVALID_SERVER_RESPONSE, Failure::Cut},
};

std::string WinInetFailureText(DWORD error, const InetLimits& limits) {
    return inet::LibraryFailureText(kWinInetFailures, "WinINet", static_cast<long>(error), limits);
}

// The host an http or https address names, lower-cased, without brackets
// and port; empty when it names none.
std::string HostOf(std::string_view address) {
    std::string_view rest = address.substr(AddressScheme(address).size() + 1);
    if (!rest.starts_with("//")) return {};
    rest.remove_prefix(2);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    rest.remove_prefix(std::min(rest.size(), rest.rfind('@') + 1));
    if (rest.starts_with('[')) return LowerAscii(rest.substr(1, rest.find(']') - 1));
    return LowerAscii(rest.substr(0, rest.rfind(':')));
}

bool IsLoopback(const std::string& host) { return host == "localhost" || host == "::1" || host.starts_with("127."); }

}  // namespace

// The Internet handles: the system's proxy settings for the world, and
// none for this machine, which is never reached through a proxy (Wine, for
// one, sends even 127.0.0.1 to the proxy that http_proxy names).
struct TWinInet::Handle {
    std::wstring agent;
    Internet preconfigured, direct;

    Internet For(const std::string& host) {
        const bool loopback = IsLoopback(host);
        Internet& internet = loopback ? direct : preconfigured;
        if (!internet) {
            const DWORD access = loopback ? INTERNET_OPEN_TYPE_DIRECT : INTERNET_OPEN_TYPE_PRECONFIG;
            const WinInetLibrary* api = WinInet();
            if (HINTERNET handle = api ? api->InternetOpenW(agent.c_str(), access, nullptr, nullptr, 0) : nullptr)
                internet = Internet(handle, api->InternetCloseHandle);
        }
        return internet;
    }
};

// The caller's side of an open URL.
struct TWinInet::Request {
    std::shared_ptr<Transfer> transfer;
    const std::atomic<bool>* stop;
    // Why the caller gave up on the transfer, once it has.
    std::optional<Failure> failure;

    Request(const InetLimits& limits, const std::atomic<bool>* stopFlag)
        : transfer(std::make_shared<Transfer>(limits)), stop(stopFlag) {}
    // Ends every worker of the transfer, without waiting for one.
    ~Request() {
        std::lock_guard lock(transfer->mutex);
        transfer->closed = true;
        transfer->changed.notify_all();
    }

    // Starts the next hop's worker, which ends the previous hop's.
    bool Send(const Internet& internet, const std::string& address) {
        Transfer& t = *transfer;
        int hop = 0;
        {
            std::lock_guard lock(t.mutex);
            hop = ++t.hop;
            t.answered = t.wantBody = t.bodyEnded = t.tooLarge = t.cut = false;
            t.error = 0;
            t.headers.clear();
            t.pending.clear();
            t.pendingHead = 0;
            t.bodyBytes = 0;
            t.changed.notify_all();
        }
        try {
            std::thread(RunRequest, transfer, internet, address, hop).detach();
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    // Waits under the limits until `ready()` holds; false when the caller
    // gave up on the way.
    template <class Ready>
    bool Wait(std::unique_lock<std::mutex>& lock, Ready ready) {
        Transfer& t = *transfer;
        if (ready()) return true;
        // As libcurl's transfer loop: the time just slept counts before the
        // news it woke for is looked at.
        inet::PaceWait wait(t.pace);
        for (;;) {
            std::optional<Failure> why;
            if (stop && stop->load(std::memory_order_relaxed)) why = Failure::Stopped;
            const auto slice = wait.Next(stop ? inet::kStopPollSlice : inet::kPollSlice);
            if (!why && ready()) return true;
            if (!why && !slice) why = Failure::TimedOut;
            if (why) {
                failure = why;
                t.closed = true;
                t.changed.notify_all();
                return false;
            }
            t.changed.wait_for(lock, *slice);
        }
    }

    std::string Reason() const {
        const Transfer& t = *transfer;
        const InetLimits& limits = t.pace.Limits();
        if (failure) return inet::FailureText(*failure, limits);
        if (t.tooLarge) return inet::FailureText(Failure::TooLarge, limits);
        if (t.cut) return inet::FailureText(Failure::Cut, limits);
        if (t.error != 0) return WinInetFailureText(t.error, limits);
        return {};
    }
};

void TWinInet::HandleDeleter::operator()(Handle* handle) const { delete handle; }

void TWinInet::RequestDeleter::operator()(Request* request) const { delete request; }

bool TWinInet::OpenHandle(const std::string& agent) {
    // The agent is the program's name, which may be any text: WinINet gets
    // it as text (the W form) and sends it as the system does.
    std::unique_ptr<Handle, HandleDeleter> handle(new Handle);
    handle->agent = Wide(agent);
    if (!handle->For("")) {
        failure_ = inet::OtherFailure("WinINet", static_cast<long>(::GetLastError()));
        return false;
    }
    internet_ = std::move(handle);
    return true;
}

bool TWinInet::OpenUrl(const std::string& url) {
    CloseUrl();
    if (!internet_) return false;
    const InetLimits limits = Limits ? *Limits : GetInetLimits();
    auto fail = [this, &limits](const std::string& why) {
        failure_ = why;
        CloseUrl();
        return false;
    };
    auto failWith = [&](Failure failure) { return fail(inet::FailureText(failure, limits)); };
    request_.reset(new Request(limits, StopFlag));
    Request& r = *request_;
    Transfer& t = *r.transfer;
    // Addresses go to WinINet as ASCII (bytes above 0x7F percent-encoded,
    // as libcurl sends them), so the A form is exact whatever the code page.
    std::optional<std::string> address = RequestAddress(url, false);
    for (long redirects = 0;; ++redirects) {
        // Addresses come from documents and web pages: never let one, or a
        // redirect, reach a local file or another protocol.
        if (!address || HostOf(*address).empty()) {
            const std::string scheme = address ? AddressScheme(*address) : std::string();
            return failWith(scheme.empty() || scheme == "http" || scheme == "https" ? Failure::BadAddress
                                                                                    : Failure::NotHttp);
        }
        if (const std::string scheme = AddressScheme(*address); scheme != "http" && scheme != "https")
            return failWith(Failure::NotHttp);
        const Internet internet = internet_->For(HostOf(*address));
        if (!internet) return fail(inet::OtherFailure("WinINet", static_cast<long>(::GetLastError())));
        // The system's own limits too, for a worker that is left alone.
        DWORD connect = static_cast<DWORD>(std::clamp<long long>(limits.connectTimeout.count(), 1, 0x7FFFFFFF));
        DWORD stall = static_cast<DWORD>(std::clamp<long long>(limits.stallTimeout.count(), 1, 0x7FFFFFFF));
        WinInet()->InternetSetOptionW(internet.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
        WinInet()->InternetSetOptionW(internet.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &stall, sizeof stall);
        WinInet()->InternetSetOptionW(internet.get(), INTERNET_OPTION_SEND_TIMEOUT, &stall, sizeof stall);
        if (!r.Send(internet, *address)) return failWith(Failure::CannotStart);
        std::unique_lock lock(t.mutex);
        const bool answered = r.Wait(lock, [&t] { return t.answered; });
        const std::string reason = answered && t.error == 0 ? std::string() : r.Reason();
        const std::uint64_t status = t.HeaderNumber(kHttpQueryStatusCode);
        const std::string location = t.Header(kHttpQueryLocation);
        lock.unlock();
        if (!reason.empty()) return fail(reason);
        if (status == 0) return failWith(Failure::Cut);  // no response at all
        if (status < 300 || status > 399 || location.empty()) break;
        if (redirects == limits.maxRedirects) return failWith(Failure::TooManyRedirects);
        address = RequestAddress(ResolveReference(*address, location), true);
    }
    failure_.clear();
    return true;
}

std::optional<std::string> TWinInet::ResponseInfo(std::uint32_t level) const {
    if (std::find(std::begin(kKeptHeaders), std::end(kKeptHeaders), level) == std::end(kKeptHeaders))
        return std::nullopt;
    std::lock_guard lock(request_->transfer->mutex);
    return request_->transfer->Header(level);
}

int TWinInet::ReadOnce(char* buffer, int size) {
    if (!request_ || size < 0) return -1;
    Request& r = *request_;
    Transfer& t = *r.transfer;
    std::unique_lock lock(t.mutex);
    if (!t.wantBody) {
        t.wantBody = true;
        // A declared length over the cap fails before any byte is kept.
        if (t.HeaderNumber(kHttpQueryContentLength) > t.pace.Limits().maxBodyBytes) t.tooLarge = t.bodyEnded = true;
        t.changed.notify_all();
    }
    // As with libcurl: the buffer is filled unless the body ends first, and
    // bytes that came before a failure are handed out before it shows.
    std::size_t copied = 0;
    const auto wanted = static_cast<std::size_t>(size);
    while (copied < wanted) {
        if (t.Unread() == 0 && !r.failure && !t.bodyEnded) r.Wait(lock, [&t] { return t.Unread() > 0 || t.bodyEnded; });
        const std::size_t n = std::min(t.Unread(), wanted - copied);
        if (n == 0) break;
        std::copy_n(t.pending.data() + t.pendingHead, n, buffer + copied);
        t.pendingHead += n;
        copied += n;
        t.changed.notify_all();
    }
    if (copied > 0 || wanted == 0) return static_cast<int>(copied);
    return !r.failure && t.bodyEnded && t.error == 0 && !t.tooLarge && !t.cut ? 0 : -1;
}

std::string TWinInet::TransferFailure() const {
    if (!request_) return {};
    std::lock_guard lock(request_->transfer->mutex);
    return request_->Reason();
}

}  // namespace zvek
