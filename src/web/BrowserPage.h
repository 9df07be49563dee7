// The address of the page the user's browser shows.
#pragma once

#include <string>

namespace zvek {

// Firefox's selected tab in its selected window, read from the default
// profile's session store (the most recently written one when Firefox is
// installed more than once: a packaged and a snap Firefox); else the first
// page that a Chromium-family browser started with remote debugging lists
// on 127.0.0.1:devToolsPort; else "". The address comes back as the browser
// has it: pass it through NormalizeBrowserUrl before use.
std::string GetBrowserPage(int devToolsPort = 9222);

}  // namespace zvek
