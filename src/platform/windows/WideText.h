// The Windows layer's edge: the core's UTF-8 strings as the UTF-16 that the
// W functions take, and Windows errors as the core reports them.
#pragma once

#include <string>
#include <string_view>

namespace zvek {

// UTF-8 <-> UTF-16. A lone surrogate, which Windows allows in file names,
// travels as its three-byte form (WTF-8) and comes back unchanged; a byte
// that is not UTF-8 becomes U+FFFD.
std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// A path for the W file functions: as it is when short, else made absolute
// with the "\\?\" prefix that lifts the 260-character limit ("\\?\UNC\" for
// a share). Device paths ("\\.\pipe\...", "NUL") are never touched.
std::wstring WidePath(std::string_view utf8);

// The errno value that says the same as a Windows error (EIO for the rest),
// so that messages read alike on both systems.
int ErrnoOf(unsigned long windowsError);
// Text for a Windows error: the C library's text for its errno value where
// there is one, else the system's own text.
std::string ErrorText(unsigned long windowsError);

}  // namespace zvek
