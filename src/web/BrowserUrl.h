// Addresses as browsers and saved pages give them.
#pragma once

#include <string>
#include <string_view>

namespace zvek {

// Where the address part of a text begins: the first "http:" or "https:",
// in any case; npos when there is none.
std::size_t FindWebScheme(std::string_view text);
// A reference is a web address when it holds "http:" or "https:" (any case).
inline bool IsWebAddress(std::string_view reference) { return FindWebScheme(reference) != std::string_view::npos; }
// A value a document names as its page counts only when it starts with
// "http://" or "https://" (any case): a shared document is anybody's text,
// and anything else could name a local file or a script for the browser.
bool IsHttpAddress(std::string_view value);

// Turns the address a browser shows (or a saved page records) into one the
// program can fetch or open: a "file:" address becomes a local path (with
// "%20" as a space), a web address loses what stands before its scheme, and
// a query holding a "sentaku" parameter followed by others is cut down to
// that parameter.
std::string NormalizeBrowserUrl(std::string_view address);

}  // namespace zvek
