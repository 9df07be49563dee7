#include "tags/Fingerprint.h"

#include <cstring>

#include "tags/Crc32.h"
#include "tags/FragmentCandidate.h"
#include "text/Sjis.h"

namespace zvek {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Follows the character boundaries of a text forwards only, so that a
// whole search costs one walk over the text.
class BoundaryCursor {
public:
    explicit BoundaryCursor(std::string_view s) : s_(s) {}
    std::size_t AtOrAfter(std::size_t pos) {
        while (b_ < pos) b_ = NextChar(s_, b_);
        return b_;
    }

private:
    std::string_view s_;
    std::size_t b_ = 0;
};

// Next place at or after `from` where `needle` (not empty) begins on a boundary.
std::size_t NextOccurrence(std::string_view s, BoundaryCursor& boundaries, std::string_view needle, std::size_t from) {
    while (from < s.size()) {
        const void* hit = std::memchr(s.data() + from, needle.front(), s.size() - from);
        if (!hit) return npos;
        const std::size_t at = static_cast<const char*>(hit) - s.data();
        if (boundaries.AtOrAfter(at) == at && s.compare(at, needle.size(), needle) == 0) return at;
        from = at + 1;
    }
    return npos;
}

}  // namespace

std::uint32_t FirstCharCode(std::string_view text) {
    if (text.empty()) return 0;
    const auto lead = static_cast<unsigned char>(text[0]);
    return CharSize(text, 0) == 2 ? lead * 256u + static_cast<unsigned char>(text[1]) : lead;
}

bool FragmentMatches(std::string_view candidate, std::int64_t length, std::uint32_t crc, std::uint32_t firstCode) {
    if (length == 0 || firstCode == 0) return true;
    return length > 0 && candidate.size() == static_cast<std::uint64_t>(length) &&
           FirstCharCode(candidate) == firstCode && CalcCrc32(0, candidate.data(), candidate.size()) == crc;
}

namespace {

// The search part of FindFragment: every occurrence of `firstChar` from the
// start, in order; the offset of the first matching candidate, or npos.
std::size_t SearchFragment(std::string_view haystack, std::int64_t length, std::uint32_t crc,
                           std::string_view firstChar, std::uint32_t firstCode) {
    const std::size_t step = firstCode >= 256 ? 2 : 1;
    BoundaryCursor boundaries(haystack);
    for (std::size_t cursor = 0; cursor < haystack.size() && haystack[cursor] != '\0';) {
        const std::size_t at = NextOccurrence(haystack, boundaries, firstChar, cursor);
        if (at == npos) break;
        if (FragmentMatches(Candidate(haystack, static_cast<std::int64_t>(at) + 1, length), length, crc, firstCode))
            return at;
        cursor = at + step;
    }
    return npos;
}

}  // namespace

std::string FindFragment(std::string_view haystack, std::int64_t position, std::int64_t length, std::uint32_t crc,
                         std::string_view firstChar) {
    const std::uint32_t firstCode = FirstCharCode(firstChar);
    const std::string_view atPlace = Candidate(haystack, position, length);
    if (FragmentMatches(atPlace, length, crc, firstCode)) return std::string(atPlace);
    const std::size_t at = SearchFragment(haystack, length, crc, firstChar, firstCode);
    return at == npos ? std::string() : std::string(Candidate(haystack, static_cast<std::int64_t>(at) + 1, length));
}

std::int64_t FindAtBoundary(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return haystack.empty() ? 0 : 1;
    BoundaryCursor boundaries(haystack);
    const std::size_t at = NextOccurrence(haystack, boundaries, needle, 0);
    return at == npos ? 0 : static_cast<std::int64_t>(at) + 1;
}

}  // namespace zvek
