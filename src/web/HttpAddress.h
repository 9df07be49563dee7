// Addresses as an HTTP client that follows redirects itself sends them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zvek {

// Where a reference leads from `base` (a redirect's Location from the
// address that answered it): the reference resolved as a browser does,
// with "." and ".." segments removed, without its fragment.
std::string ResolveReference(std::string_view base, std::string_view reference);

// `address` as it goes into a request line: without its fragment, and with
// every byte above 0x7F percent-encoded, so the text is ASCII whatever the
// system's code page is. A backslash is encoded as well, since some clients
// turn it into a slash, a different path. Blanks are encoded in a server's
// Location and make our own addresses invalid, as they do for libcurl.
// Nothing for an address holding a control character.
std::optional<std::string> RequestAddress(std::string_view address, bool fromServer);

}  // namespace zvek
