// Where a tag entry's position and length fall in a text, for the plain
// searches and the Haystack alike.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace zvek {

// The substring at a 1-based position: a position below 1 counts as 1, one
// past the end gives nothing, and the length is cut at the end.
inline std::string_view Candidate(std::string_view text, std::int64_t position, std::int64_t length) {
    if (position < 1) position = 1;
    if (length <= 0 || static_cast<std::uint64_t>(position) > text.size()) return {};
    const std::size_t start = static_cast<std::size_t>(position - 1);
    return text.substr(start, static_cast<std::size_t>(std::min<std::uint64_t>(length, text.size() - start)));
}

}  // namespace zvek
