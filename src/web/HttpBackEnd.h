// What TWinInet's shared part (HttpClient.cpp) and its back end
// (posix/HttpCurl.cpp or windows/HttpWinInet.cpp) share beyond the class:
// the words for a failed transfer and the limits judged while waiting.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "web/HttpClient.h"

namespace zvek::inet {

using Clock = std::chrono::steady_clock;

// Why a transfer failed. Both back ends say it in the same words, which
// the window and the command line show as they are.
enum class Failure {
    CannotStart,
    HostNotFound,
    CannotConnect,
    TimedOut,
    TooManyRedirects,
    Certificate,
    Tls,
    NotHttp,
    BadAddress,
    Stopped,
    Cut,
    TooLarge,
};
std::string FailureText(Failure failure, const InetLimits& limits);
// Any other failure: the library that reported it and its number.
std::string OtherFailure(std::string_view library, long code);
// A library's error number and the failure it means.
struct FailureCode {
    long code;
    Failure failure;
};
// The words for the library's error `code`: its failure's where `table`
// names one, else OtherFailure's.
std::string LibraryFailureText(std::span<const FailureCode> table, std::string_view library, long code,
                               const InetLimits& limits);

// The limits judged while the caller waits for the server: no silence
// longer than the stall limit, nothing longer than the overall limit, and
// no fewer than lowSpeedBytesPerSecond on average over each lowSpeedTime of
// waiting. Each low-speed window is judged on its own, so a fast start does
// not pay for a trickle later. Only time spent waiting counts: what the
// caller does between two reads is not the server's silence.
class Pace {
public:
    explicit Pace(const InetLimits& limits) : limits_(limits) {}

    const InetLimits& Limits() const { return limits_; }
    // Bytes from the server, headers included; none to say that something
    // (a whole response's headers) came.
    void Arrived(std::uint64_t bytes);

private:
    friend class PaceWait;
    bool KeepsPace(Clock::duration waited);

    InetLimits limits_;
    const Clock::time_point started_ = Clock::now();
    Clock::time_point lastByte_ = started_;
    // The low-speed window: bytes from the server and time spent waiting
    // for them since the window began.
    std::uint64_t windowBytes_ = 0;
    Clock::duration windowWaited_{};
};

// One wait for the server under a Pace.
class PaceWait {
public:
    explicit PaceWait(Pace& pace) : pace_(pace) {}
    // Counts the time since the last call (or the start of the wait) as
    // waited; then how long the caller may sleep before it looks again (at
    // most `slice`), or nothing once a limit is passed.
    std::optional<std::chrono::milliseconds> Next(std::chrono::milliseconds slice);

private:
    Pace& pace_;
    const Clock::time_point start_ = Clock::now();
    Clock::time_point counted_ = start_;
};

// Longest single wait of a transfer; the limits' own times shorten it.
inline constexpr std::chrono::milliseconds kPollSlice{1000};
// The same when a stop flag is watched, so that a stop ends the transfer at
// once and whoever waits for the thread is not kept.
inline constexpr std::chrono::milliseconds kStopPollSlice{50};

}  // namespace zvek::inet
