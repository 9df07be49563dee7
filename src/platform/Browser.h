// Showing an address in the user's web browser.
//
// The address always reaches the browser as one argument of its own: no
// shell and no command line string ever holds it, so whatever a document or
// a web page puts into an address stays an address.
#pragma once

#include <string>

namespace zvek {

// Starts the desktop's handler for text/html (as `xdg-mime query default
// text/html` names it) from its desktop entry's Exec line, with `url` in
// place of its %u/%U/%f/%F field code (or after the line when it has none).
// Firefox- and Chromium-like browsers are asked for a new window. False when
// there is no handler, its entry or Exec line cannot be read, or it cannot be
// started; also for an empty address or one that could pass for an option.
bool LaunchHtmlHandler(const std::string& url);

// LaunchHtmlHandler, else `xdg-open url`. True when one of them was started.
bool OpenInBrowser(const std::string& url);

}  // namespace zvek
