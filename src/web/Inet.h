// Fetching web pages: a download on a worker thread that keeps the window
// responsive (TDownloadThread) over the HTTP client of HttpClient.h
// (TWinInet), and the window-side operations built on them (FetchPage,
// ResolveUtaNetUrl).
//
// Only http and https are fetched, redirects included. A download whose
// final answer is not a 2xx status has failed: an error page is not the
// page that was asked for. TWinInet::OpenUrl itself takes any answer, so
// callers that look at the status (ResolveUtaNetUrl) keep their own rule.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "platform/Host.h"
#include "web/HttpClient.h"

namespace zvek {

// Runs one download on a worker thread while the calling (window) thread
// keeps the window alive through Host::ProcessMessages.
class TDownloadThread {
public:
    using ProgressHandler = std::function<void(TDownloadThread& sender, ProgressStatus status, std::uint32_t count)>;

    explicit TDownloadThread(Host& host);
    // Waits for a running download to end.
    ~TDownloadThread();
    TDownloadThread(const TDownloadThread&) = delete;
    TDownloadThread& operator=(const TDownloadThread&) = delete;

    // Called on the waiting thread (inside Start with `wait`, or Wait), in
    // the order the worker reported, never on the worker itself.
    ProgressHandler OnProgress;

    // Starts the download. An empty URL or file name fails at once with
    // status psFailed. With `wait` the call returns when the download is
    // over: true exactly when it ended with psDone. Without it the call
    // returns true at once; Wait then collects the result. One download at
    // a time: false while the previous one is still running.
    bool Start(const std::string& url, const std::string& fileName, bool wait);
    // Processes window messages and delivers progress until the download is
    // over; true when it ended with psDone.
    bool Wait();

    bool Busy() const { return busy_.load(std::memory_order_acquire); }
    // Stops the running download as a failure (it removes its partial
    // file). Wait also does so when the host reports that the user asked.
    void Cancel() { cancel_.store(true, std::memory_order_relaxed); }
    bool Cancelled() const { return cancel_.load(std::memory_order_relaxed); }
    ProgressStatus Status() const { return status_.load(std::memory_order_acquire); }
    // Why the finished download failed (TWinInet::FailureReason); read it
    // only once the download is over.
    const std::string& FailureReason() const { return failure_; }

    // The worker body.
    void Execute();

private:
    void Relay(ProgressStatus status, std::uint32_t count);
    void Deliver();

    Host& host_;
    std::string url_;
    std::string fileName_;
    std::string failure_;
    bool wait_ = true;
    std::atomic<bool> busy_{false};
    std::atomic<bool> cancel_{false};
    std::atomic<ProgressStatus> status_{psIdle};
    std::thread worker_;

    // Reports from the worker, waiting to be delivered on the waiting thread.
    // At most one per 4096 bytes of a capped body, so it stays small.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<ProgressStatus, std::uint32_t>> reports_;
};

// Status-line text for a download report: "Downloading (N bytes)",
// "Disconnecting", or nothing (the line stays as it is) for other states.
void DownloadProgress(Host& host, ProgressStatus status, std::uint32_t count);

// A failed download's reason on a line of its own, to follow the message
// that it failed; empty when there is no reason to give.
std::string FailureNote(const TDownloadThread& download);

// Downloads `url` into `fileName` on a worker thread, with the address and
// then the progress on the status line. On failure the file is removed and
// an error box names the address (not when the user stopped it); the
// caller records the failure.
bool FetchPage(Host& host, const std::string& url, const std::string& fileName);

// A UtaNet lyrics page answers under "/phplib/" or under "/members/phplib/";
// asks the server (headers only) and returns the address that answers 200,
// or `url` itself when neither does. Addresses elsewhere come back
// unchanged without any request.
std::string ResolveUtaNetUrl(const std::string& url);

}  // namespace zvek
