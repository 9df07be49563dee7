// UTF-8 inside, UTF-16 at the Windows calls.
#pragma once

#include <string>
#include <string_view>

namespace zvek::win {

// Ill-formed input becomes U+FFFD either way: a name that cannot be
// converted names no file we could have meant.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace zvek::win
