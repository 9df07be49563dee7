// Addresses as browsers and saved pages give them.
#pragma once

#include <string>
#include <string_view>

namespace zvek {

// Where the address part of a text begins: the first "http:" or "https:",
// in any case; npos when there is none.
std::size_t FindWebScheme(std::string_view text);
// A reference is a web address when it holds "http:" or "https:" (any
// case). For references the user names; an address from a browser is
// judged by its scheme (HasWebScheme).
inline bool IsWebAddress(std::string_view reference) { return FindWebScheme(reference) != std::string_view::npos; }
// The scheme an address starts with, lower-cased: a letter, then letters,
// digits, "+", "-" or ".", up to the first ":". "" when it starts with none.
std::string AddressScheme(std::string_view address);
// Whether the address's own scheme is http or https.
bool HasWebScheme(std::string_view address);
// A value a document names as its page counts only when it starts with
// "http://" or "https://" (any case): a shared document is anybody's text,
// and anything else could name a local file or a script for the browser.
bool IsHttpAddress(std::string_view value);

// Turns the address a browser shows into the page the program opens, or ""
// when it shows no page the program takes: an http or https address stays
// as it is, except that a query holding a "sentaku" parameter followed by
// others is cut down to that parameter; a "file:" address of an .htm or
// .html page becomes its local path (the slashes after "file:" dropped,
// "%20" as a space). Any other scheme (about:, javascript:, view-source:...)
// or none, and any address holding a control character, is no page: what
// follows such a scheme is the page's business, not a file or site of ours.
std::string NormalizeBrowserUrl(std::string_view address);

}  // namespace zvek
