// Showing an address in the user's web browser.
//
// The address always reaches the browser as one argument of its own: no
// shell and no command line string ever holds it, so whatever a document or
// a web page puts into an address stays an address. Every start goes through
// one gate: only a well-formed http or https address (or our own help page)
// is handed on, with every character a shell or a command line splitter
// could act on percent-encoded, in case the browser's desktop entry passes
// it through a shell after all.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zvek {

// The gate: `url` as it may be handed to a browser, when it is an http or
// https address ("//", a host of letters, digits, "-" and "." or a bracketed
// IPv6 literal, an optional port, then path, query and fragment). The scheme
// comes out in lower case and every byte but ASCII letters, digits,
// "-._~:/?#@&=+," and a "%" that starts a "%XX" escape is percent-encoded.
// Nothing for anything else: another scheme, a path, an option, "".
std::optional<std::string> BrowserAddress(std::string_view url);

// The file: address of a page of our own: an absolute path to an existing
// regular .htm/.html file, every byte but ASCII letters, digits, "-._~/"
// percent-encoded (a Windows path as "file:///C:/..."). Nothing for
// anything else.
std::optional<std::string> LocalPageAddress(std::string_view path);

// The argument vector a text/html handler's Exec line gives for `url`
// (through BrowserAddress): %u %U %f %F become the address, %% a percent
// sign, the other field codes are dropped; without any address code the
// address goes last. Firefox- and Chromium-like browsers are asked for a new
// window. Empty when the address is refused or the line is not one we run:
// a quote left open, a field code inside quotes, or an address code inside
// a larger argument (it could land inside a script there).
std::vector<std::string> BrowserCommand(std::string_view exec, std::string_view url);

// Linux: starts the desktop's handler for text/html (as `xdg-mime query
// default text/html` names it) with BrowserCommand. False when the address is
// refused, there is no handler, its entry cannot be read or is refused, or it
// cannot be started. Windows: the shell's "open" of the address, which starts
// the browser the user chose for its scheme.
bool LaunchHtmlHandler(const std::string& url);

// LaunchHtmlHandler, else (Linux) `xdg-open` with the address. True when one
// of them was started; nothing is started for an address the gate refuses.
bool OpenInBrowser(const std::string& url);

// Our installed help page in the browser, the same way, by LocalPageAddress
// (on Windows the shell is handed the page's path once the gate accepts it).
bool OpenLocalPageInBrowser(const std::string& path);

}  // namespace zvek
