// The HTTP client under every fetch (TWinInet): one GET at a time, read in
// pieces as the caller pulls them, within the limits below. What the client
// does is the same on every system (HttpClient.cpp); the transfer itself is
// libcurl's on Linux (posix/HttpCurl.cpp) and WinINet's on Windows
// (windows/HttpWinInet.cpp).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/InstanceLock.h"

namespace zvek {

enum ProgressStatus : std::uint8_t {
    psIdle = 0,           // nothing has happened yet (thread only)
    psConnecting = 1,     // about to open the URL
    psDownloading = 2,    // the URL is open; repeated after every chunk with the running total
    psDisconnecting = 3,  // the transfer has ended; the connection is about to be closed
    psDone = 4,
    psFailed = 5,
};

// What a fetch may cost before it counts as failed. Process-wide; a fetch
// takes the values in force when its URL is opened.
struct InetLimits {
    std::chrono::milliseconds connectTimeout{30'000};
    // No byte from the server for this long while we wait for one.
    std::chrono::milliseconds stallTimeout{60'000};
    std::uint64_t maxBodyBytes = 16u * 1024 * 1024;
    long maxRedirects = 10;
    // A trickle is never silent, so the stall limit does not end it: fewer
    // than lowSpeedBytesPerSecond on average over lowSpeedTime of waiting
    // also fails. Zero in either turns this check off.
    std::uint64_t lowSpeedBytesPerSecond = 1024;
    std::chrono::milliseconds lowSpeedTime{30'000};
    // The whole request, from sending it to the last byte.
    std::chrono::milliseconds totalTimeout{120'000};
    // https servers are trusted through the system's certificate store, or
    // only through the certificates in this file when it is set (a test's
    // own server; else $SSL_CERT_FILE's). libcurl only: WinINet trusts the
    // Windows store alone.
    std::string trustedCertificates;
};
InetLimits GetInetLimits();
void SetInetLimits(const InetLimits& limits);

// Query levels for TWinInet::QueryInfo, numbered as the usual HTTP query
// levels are, so callers can keep writing e.g. kHttpQueryStatusCode | kHttpQueryFlagNumber.
inline constexpr std::uint32_t kHttpQueryContentType = 1;
inline constexpr std::uint32_t kHttpQueryContentLength = 5;
inline constexpr std::uint32_t kHttpQueryStatusCode = 19;
inline constexpr std::uint32_t kHttpQueryStatusText = 20;
inline constexpr std::uint32_t kHttpQueryRawHeadersCrlf = 22;
inline constexpr std::uint32_t kHttpQueryLocation = 33;
// Return the header's value as a 32-bit number in decimal.
inline constexpr std::uint32_t kHttpQueryFlagNumber = 0x20000000;
inline constexpr std::uint32_t kHttpQueryStatusCodeNumber = kHttpQueryStatusCode | kHttpQueryFlagNumber;

// One connection object for one download at a time. It goes from closed, to
// open (Open), to open with a request (OpenUrl), and back; Close returns it
// to closed from anywhere, and Download always ends with Close. Not for use
// by two threads at once.
class TWinInet {
public:
    using ProgressHandler = std::function<void(TWinInet& sender, ProgressStatus status, std::uint32_t count)>;

    TWinInet();
    ~TWinInet();
    TWinInet(const TWinInet&) = delete;
    TWinInet& operator=(const TWinInet&) = delete;

    // Called on the thread that runs Download.
    ProgressHandler OnProgress;
    // While this flag is set, a transfer stops at once as a failure; it may
    // be set from another thread.
    const std::atomic<bool>* StopFlag = nullptr;
    // Limits of this object's requests instead of the process-wide ones.
    std::optional<InetLimits> Limits;

    // Opens the connection handle under an agent name of its own: the
    // program's file name without extension followed by the lowest number
    // that no other open handle of this user has (see AgentName).
    bool Open();
    // Closes the request, then the handle, and gives the agent number back.
    void Close();
    // Sends a GET for `url` and waits for the final response's headers
    // (after redirects); false when no response came.
    bool OpenUrl(const std::string& url);
    void CloseUrl();
    // One header of the open request's final response; with
    // kHttpQueryFlagNumber, its value as a decimal number. Empty when there
    // is no request, no such header, or the value does not fit 256 bytes.
    std::string QueryInfo(std::uint32_t level) const;
    // Up to `size` bytes of the body: the count, 0 at its end, -1 when the
    // transfer failed (after five tries). Blocks until data arrives.
    int Read(char* buffer, int size);
    // The whole transfer into `fileName` (nothing is written when it is
    // empty), with progress reports; missing folders are made. A final
    // status outside 2xx fails before any of the body is read. On failure
    // the partial file is removed.
    bool Download(const std::string& url, const std::string& fileName);

    // The User-Agent of this object's requests while it is open; empty when closed.
    const std::string& AgentName() const { return agent_; }
    // Why the last OpenUrl or Download failed, for the user: refused,
    // timed out, too large, the HTTP status...
    const std::string& FailureReason() const { return failure_; }

private:
    // The back end's connection handle and open URL; each back end defines
    // them and their deleters.
    struct Handle;
    struct Request;
    struct HandleDeleter {
        void operator()(Handle* handle) const;
    };
    struct RequestDeleter {
        void operator()(Request* request) const;
    };

    void Progress(ProgressStatus status, std::uint32_t count);

    // The back end's part. OpenHandle opens the connection handle for
    // requests sent as `agent` (false: failure_ may say why); OpenUrl is
    // the back end's whole. ResponseInfo is the text of one header of the
    // open request's final response (the levels above, without flags), or
    // nothing. ReadOnce reads once as Read does; TransferFailure says why it
    // returned -1.
    bool OpenHandle(const std::string& agent);
    std::optional<std::string> ResponseInfo(std::uint32_t level) const;
    int ReadOnce(char* buffer, int size);
    std::string TransferFailure() const;

    std::unique_ptr<Handle, HandleDeleter> internet_;
    std::unique_ptr<Request, RequestDeleter> request_;
    InstanceLock agentLock_;
    std::string agent_;
    std::string failure_;
};

}  // namespace zvek
