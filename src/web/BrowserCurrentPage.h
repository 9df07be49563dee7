// The address of the page the user's browser shows.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Host.h"

namespace zvek {

// Where a Chromium-family browser started with remote debugging lists its
// pages on 127.0.0.1: ZVEKLC_DEVTOOLS_PORT when set to a port number,
// else 9222 (--remote-debugging-port=9222).
int DevToolsPort();

// Firefox's selected tab in its selected window, read from the default
// profile's session store (the most recently written one when Firefox is
// installed more than once: a packaged and a snap Firefox); else the first
// page that a Chromium-family browser started with remote debugging lists
// on 127.0.0.1:devToolsPort, asked for at most 3 s; else "". The address
// comes back as the browser has it: pass it through NormalizeBrowserUrl
// before use. While `stop` is set, the DevTools list is not waited for.
std::string GetBrowserPage(int devToolsPort = DevToolsPort(), const std::atomic<bool>* stop = nullptr);

// GetBrowserPage for a command of the window: asked on a worker thread
// while the window's thread keeps processing messages, with a note on the
// status line. The user's stop (Host::CancelRequested) ends the wait at
// once: nullopt then.
std::optional<std::string> WaitForBrowserPage(Host& host);

// A session store declaring more than this much JSON is refused unread: a
// session of many windows with long histories is a few megabytes.
inline constexpr std::uint32_t kMaxSessionBytes = 16u * 1024 * 1024;

// The address of the selected tab's current history entry in the bytes of
// a Firefox session file (recovery.jsonlz4: "mozLz40\0", the JSON's size in
// 32 bits little-endian, one LZ4 block); "" when the file is damaged
// anywhere, declares more than kMaxSessionBytes, or names no such entry.
// The JSON is walked, not built: the work is linear in its size.
std::string SessionFilePage(std::string_view fileBytes);

// The first page with an address in a DevTools /json/list answer; "" when
// the body is not a JSON list or holds none.
std::string DevToolsListPage(std::string_view body);

}  // namespace zvek
