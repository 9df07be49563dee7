// The Windows build has no HTTP back end yet: every fetch fails at once,
// with a reason that says so, and nothing is written. The WinINet back end
// takes this file's place.
#include "web/HttpClient.h"

#include <mutex>

namespace zvek {

namespace {

constexpr const char* kUnavailable = "この版には HTTP の通信機能がありません";

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

struct TWinInet::Handle {};
struct TWinInet::Request {};

TWinInet::TWinInet() = default;

TWinInet::~TWinInet() { Close(); }

void TWinInet::Progress(ProgressStatus status, std::uint32_t count) {
    if (OnProgress) OnProgress(*this, status, count);
}

bool TWinInet::Open() {
    failure_ = kUnavailable;
    return false;
}

void TWinInet::Close() {
    request_.reset();
    internet_.reset();
    agent_.clear();
}

void TWinInet::CloseUrl() { request_.reset(); }

bool TWinInet::OpenUrl(const std::string&) {
    failure_ = kUnavailable;
    return false;
}

std::string TWinInet::QueryInfo(std::uint32_t) const { return {}; }

int TWinInet::ReadOnce(char*, int) { return -1; }

int TWinInet::Read(char*, int) { return -1; }

bool TWinInet::Download(const std::string&, const std::string&) {
    Progress(psFailed, 0);
    failure_ = kUnavailable;
    return false;
}

}  // namespace zvek
