// What TWinInet does the same way over either library: the limits, the
// agent names, the header queries, the reads and the whole download with
// its reports and failures.
#include "web/HttpClient.h"

#include <algorithm>
#include <charconv>
#include <mutex>
#include <system_error>

#include "platform/Files.h"
#include "web/DownloadFile.h"
#include "web/HttpBackEnd.h"

namespace zvek {

namespace {

using std::chrono::milliseconds;

// Download reads the body in chunks of this size, one report per chunk.
constexpr int kChunk = 4096;
// Read gives up on a failing transfer after this many calls in a row. A
// failed transfer does not recover with either library, so the later tries
// answer at once; the count is kept because callers were written against it.
constexpr int kReadTries = 5;

std::mutex limitsMutex;
InetLimits limits;

}  // namespace

InetLimits GetInetLimits() {
    std::lock_guard lock(limitsMutex);
    return limits;
}

void SetInetLimits(const InetLimits& value) {
    std::lock_guard lock(limitsMutex);
    limits = value;
}

namespace inet {

std::string FailureText(Failure failure, const InetLimits& limits) {
    switch (failure) {
    case Failure::CannotStart:
        return "通信を始められません";
    case Failure::HostNotFound:
        return "ホスト名が見つかりません";
    case Failure::CannotConnect:
        return "サーバーに接続できません（接続を拒否されたか、届きません）";
    case Failure::TimedOut:
        return "時間切れです（サーバーが応答しないか、遅すぎます）";
    case Failure::TooManyRedirects:
        return "転送（リダイレクト）が多すぎます";
    case Failure::Certificate:
        return "サーバーの証明書を確認できません";
    case Failure::Tls:
        return "暗号化した接続（TLS）を始められません";
    case Failure::NotHttp:
        return "http と https のアドレスしか取得しません";
    case Failure::BadAddress:
        return "アドレスの形が正しくありません";
    case Failure::Stopped:
        return "中止しました";
    case Failure::Cut:
        return "接続が途中で切れました";
    case Failure::TooLarge:
        return "ページが大きすぎます（" + std::to_string(limits.maxBodyBytes / 1024) + " KiBまで）";
    }
    return {};
}

std::string OtherFailure(std::string_view library, long code) {
    return "通信に失敗しました（" + std::string(library) + " " + std::to_string(code) + "）";
}

std::string LibraryFailureText(std::span<const FailureCode> table, std::string_view library, long code,
                               const InetLimits& limits) {
    for (const FailureCode& entry : table)
        if (entry.code == code) return FailureText(entry.failure, limits);
    return OtherFailure(library, code);
}

void Pace::Arrived(std::uint64_t bytes) {
    lastByte_ = Clock::now();
    windowBytes_ += bytes;
}

bool Pace::KeepsPace(Clock::duration waited) {
    if (limits_.lowSpeedBytesPerSecond == 0 || limits_.lowSpeedTime <= milliseconds::zero()) return true;
    windowWaited_ += waited;
    if (windowWaited_ < limits_.lowSpeedTime) return true;
    const auto ms = static_cast<std::uint64_t>(std::chrono::duration_cast<milliseconds>(windowWaited_).count());
    if (windowBytes_ < limits_.lowSpeedBytesPerSecond * ms / 1000) return false;
    windowBytes_ = 0;
    windowWaited_ = {};
    return true;
}

std::optional<milliseconds> PaceWait::Next(milliseconds slice) {
    const InetLimits& limits = pace_.limits_;
    const Clock::time_point now = Clock::now();
    const bool keepsPace = pace_.KeepsPace(now - counted_);
    counted_ = now;
    const Clock::time_point stallEnd = std::max(pace_.lastByte_, start_) + limits.stallTimeout;
    const Clock::time_point totalEnd = pace_.started_ + limits.totalTimeout;
    if (!keepsPace || now >= stallEnd || now >= totalEnd) return std::nullopt;
    Clock::time_point deadline = std::min(stallEnd, totalEnd);
    if (limits.lowSpeedBytesPerSecond > 0 && limits.lowSpeedTime > milliseconds::zero())
        deadline = std::min(deadline, now + (limits.lowSpeedTime - pace_.windowWaited_));
    return std::min(slice, std::chrono::ceil<milliseconds>(deadline - now) + milliseconds(1));
}

}  // namespace inet

TWinInet::TWinInet() = default;

TWinInet::~TWinInet() { Close(); }

void TWinInet::Progress(ProgressStatus status, std::uint32_t count) {
    if (OnProgress) OnProgress(*this, status, count);
}

bool TWinInet::Open() {
    Close();
    const std::string program = ProgramName();
    InstanceLock agentLock = InstanceLock::Acquire(program);
    const std::string agent = program + std::to_string(agentLock.number());
    if (!OpenHandle(agent)) return false;
    agentLock_ = std::move(agentLock);
    agent_ = agent;
    return true;
}

void TWinInet::Close() {
    CloseUrl();
    internet_.reset();  // closes the connections, then gives the number back
    agentLock_.Release();
    agent_.clear();
}

void TWinInet::CloseUrl() { request_.reset(); }

std::string TWinInet::QueryInfo(std::uint32_t level) const {
    if (!request_) return {};
    std::optional<std::string> info = ResponseInfo(level & 0xFFFF);
    if (!info) return {};
    std::string value = std::move(*info);
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
    const std::string code = QueryInfo(kHttpQueryStatusCodeNumber);
    int status = 0;
    std::from_chars(code.data(), code.data() + code.size(), status);
    if (status < 200 || status > 299) {
        const std::string text = QueryInfo(kHttpQueryStatusText);
        failure_ = "HTTP " + std::to_string(status) + (text.empty() ? "" : " ") + text;
        Progress(psDisconnecting, 0);
        Close();
        Progress(psFailed, 0);
        return false;
    }
    Progress(psDownloading, 0);

    DownloadFile file;
    const bool toFile = !fileName.empty();
    if (toFile && !file.Create(fileName)) {
        failure_ = "一時ファイルを作れません（" + file.Error() + "）";
        Close();
        return false;
    }
    char buffer[kChunk];
    bool ok = true;
    bool writing = toFile;
    std::uint32_t total = 0;
    for (;;) {
        const int n = Read(buffer, kChunk);
        if (n < 0) {
            failure_ = TransferFailure();
            ok = false;
            break;
        }
        if (writing && !file.Write({buffer, static_cast<std::size_t>(n)})) {
            failure_ = "一時ファイルに書き込めません（" + file.Error() + "）";
            ok = false;
            writing = false;
        }
        total += static_cast<std::uint32_t>(n);
        Progress(psDownloading, total);
        if (!ok || n == 0) break;
    }
    if (!file.Close() && ok) {
        failure_ = "一時ファイルに書き込めません（" + file.Error() + "）";
        ok = false;
    }

    Progress(psDisconnecting, total);
    Close();
    if (!ok) {
        if (toFile) RemoveFile(fileName);
        Progress(psFailed, total);
    } else {
        Progress(psDone, total);
    }
    return ok;
}

}  // namespace zvek
