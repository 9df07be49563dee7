#include "web/Inet.h"

#include <chrono>
#include <cstdio>
#include <system_error>

#include "platform/Files.h"
#include "web/LyricsSites.h"

namespace zvek {

namespace {

// How often the waiting window thread processes messages when nothing happens.
constexpr std::chrono::milliseconds kMessagePoll{20};

}  // namespace

// --- TDownloadThread -------------------------------------------------------

TDownloadThread::TDownloadThread(Host& host) : host_(host) {}

TDownloadThread::~TDownloadThread() {
    if (worker_.joinable()) worker_.join();
}

bool TDownloadThread::Start(const std::string& url, const std::string& fileName, bool wait) {
    if (Busy()) return false;
    if (worker_.joinable()) worker_.join();
    {
        std::lock_guard lock(mutex_);
        reports_.clear();
    }
    url_ = url;
    fileName_ = fileName;
    wait_ = wait;
    failure_.clear();
    if (url_.empty() || fileName_.empty()) {
        failure_ = "アドレスがありません";
        status_.store(psFailed, std::memory_order_release);
        return false;
    }
    status_.store(psIdle, std::memory_order_release);
    cancel_.store(false, std::memory_order_relaxed);
    busy_.store(true, std::memory_order_release);
    try {
        worker_ = std::thread([this] { Execute(); });
    } catch (const std::system_error&) {
        status_.store(psFailed, std::memory_order_release);
        busy_.store(false, std::memory_order_release);
        return false;
    }
    return wait_ ? Wait() : true;
}

bool TDownloadThread::Wait() {
    for (;;) {
        Deliver();
        if (!Busy()) break;
        host_.ProcessMessages();
        if (host_.CancelRequested()) Cancel();
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, kMessagePoll, [this] { return !reports_.empty() || !Busy(); });
    }
    if (worker_.joinable()) worker_.join();
    Deliver();  // what came between the last delivery and the end
    return Status() == psDone;
}

void TDownloadThread::Execute() {
    status_.store(psConnecting, std::memory_order_release);
    bool ok = false;
    try {
        TWinInet inet;
        inet.StopFlag = &cancel_;
        inet.OnProgress = [this](TWinInet&, ProgressStatus status, std::uint32_t count) { Relay(status, count); };
        ok = inet.Download(url_, fileName_);
        if (!ok) failure_ = inet.FailureReason();
    } catch (...) {
        ok = false;  // out of memory, most likely: a failed download like any other
        failure_ = "メモリが足りません";
    }
    status_.store(ok ? psDone : psFailed, std::memory_order_release);
    {
        // Under the lock, so a waiter between its check and its wait cannot miss it.
        std::lock_guard lock(mutex_);
        busy_.store(false, std::memory_order_release);
    }
    changed_.notify_all();
}

void TDownloadThread::Relay(ProgressStatus status, std::uint32_t count) {
    status_.store(status, std::memory_order_release);
    {
        std::lock_guard lock(mutex_);
        reports_.emplace_back(status, count);
    }
    changed_.notify_all();
}

void TDownloadThread::Deliver() {
    decltype(reports_) batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(reports_);
    }
    for (const auto& [status, count] : batch)
        if (OnProgress) OnProgress(*this, status, count);
}

// --- Window-side operations ------------------------------------------------

std::string FailureNote(const TDownloadThread& download) {
    return download.FailureReason().empty() ? std::string() : "\r\n" + download.FailureReason();
}

void DownloadProgress(Host& host, ProgressStatus status, std::uint32_t count) {
    if (status == psDownloading) {
        char text[48];
        std::snprintf(text, sizeof text, "Downloading (%u bytes)", static_cast<unsigned>(count));
        host.SetStatusText(text);
    } else if (status == psDisconnecting) {
        host.SetStatusText("Disconnecting");
    }
}

bool FetchPage(Host& host, const std::string& url, const std::string& fileName) {
    host.SetStatusText(url + "に接続中...");
    bool ok = false;
    bool stopped = false;
    std::string reason;
    {
        TDownloadThread thread(host);
        thread.OnProgress = [&host](TDownloadThread&, ProgressStatus status, std::uint32_t count) {
            DownloadProgress(host, status, count);
        };
        ok = thread.Start(url, fileName, true);
        stopped = thread.Cancelled();
        reason = FailureNote(thread);
    }
    host.SetStatusText("");
    if (ok) return true;
    if (!fileName.empty()) RemoveFile(fileName);
    // The user who stopped it knows; a box would only repeat it.
    if (!stopped) host.MessageBox(url + "\r\nページを取得できませんでした" + reason, MsgKind::Error, MsgButtons::Ok);
    return false;
}

std::string ResolveUtaNetUrl(const std::string& url) {
    const std::string members = UtaNetMembersAddress(url);
    if (members.empty()) return url;

    // Only the status line matters: OpenUrl returns with the headers and
    // CloseUrl drops the connection before any of the body is read.
    TWinInet inet;
    inet.Open();
    auto answers = [&inet](const std::string& address) {
        const bool ok = inet.OpenUrl(address) && inet.QueryInfo(kHttpQueryStatusCodeNumber) == "200";
        inet.CloseUrl();
        return ok;
    };
    if (answers(url)) return url;
    return answers(members) ? members : url;
}

}  // namespace zvek
