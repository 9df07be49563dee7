#include "tags/Fingerprint.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "text/Sjis.h"
#include "tags/Crc32.h"

namespace zvek {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// The substring at a 1-based position: a position below 1 counts as 1, one
// past the end gives nothing, and the length is cut at the end.
std::string_view Candidate(std::string_view text, std::int64_t position, std::int64_t length) {
    if (position < 1) position = 1;
    if (length <= 0 || static_cast<std::uint64_t>(position) > text.size()) return {};
    const std::size_t start = static_cast<std::size_t>(position - 1);
    return text.substr(start, static_cast<std::size_t>(std::min<std::uint64_t>(length, text.size() - start)));
}

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

// A character that the index keys can stand for: one whole character, and
// not a lead byte standing alone.
bool IsRegularChar(std::string_view c) {
    return c.size() == 1 ? !IsLeadByte(static_cast<unsigned char>(c[0]))
                         : c.size() == 2 && IsLeadByte(static_cast<unsigned char>(c[0]));
}

std::uint32_t HashBytes(std::string_view bytes, unsigned bits) {
    std::uint32_t packed = 0;
    for (unsigned char c : bytes) packed = (packed << 8) | c;
    const std::uint32_t mixed = (packed ^ static_cast<std::uint32_t>(bytes.size() << 28)) * 0x9E3779B1u;
    return mixed >> (32 - bits);
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

Haystack::Haystack(std::string text) : text_(std::move(text)) {}
Haystack::~Haystack() = default;
Haystack::Haystack(Haystack&&) noexcept = default;
Haystack& Haystack::operator=(Haystack&&) noexcept = default;

namespace {

// Fills an index: `visit(add)` calls add(position, key) for every position in
// ascending order, twice (once to count, once to place).
template <typename Visit>
void BuildPositions(std::vector<std::uint32_t>& offsets, std::vector<std::uint32_t>& positions, unsigned bits,
                    Visit&& visit) {
    offsets.assign((std::size_t{1} << bits) + 1, 0);
    visit([&](std::size_t, std::uint32_t key) { ++offsets[key + 1]; });
    for (std::size_t k = 1; k < offsets.size(); ++k) offsets[k] += offsets[k - 1];
    positions.resize(offsets.back());
    // offsets[k] serves as the fill cursor of key k and ends up as the start
    // of key k + 1; one shift puts every start back in place.
    visit([&](std::size_t p, std::uint32_t key) { positions[offsets[key]++] = static_cast<std::uint32_t>(p); });
    std::copy_backward(offsets.begin(), offsets.end() - 1, offsets.end());
    offsets[0] = 0;
}

}  // namespace

const Haystack::Positions& Haystack::ByFirstChar() const {
    if (!byFirstChar_) {
        auto index = std::make_unique<Positions>();
        index->bits = 16;
        const std::string_view s = text_;
        BuildPositions(index->offsets, index->positions, index->bits, [&](auto&& add) {
            for (std::size_t p = 0; p < s.size(); p = NextChar(s, p)) add(p, FirstCharCode(s.substr(p, 2)));
        });
        byFirstChar_ = std::move(index);
    }
    return *byFirstChar_;
}

const Haystack::Positions& Haystack::ByFirstBytes(std::size_t count) const {
    std::unique_ptr<Positions>& slot = byFirstBytes_[count == 2 ? 0 : 1];
    if (!slot) {
        auto index = std::make_unique<Positions>();
        const std::string_view s = text_;
        // About four places a bucket; the keys are hashed into them.
        unsigned bits = 8;
        while (bits < 22 && (std::size_t{4} << bits) < s.size()) ++bits;
        index->bits = bits;
        BuildPositions(index->offsets, index->positions, bits, [&](auto&& add) {
            for (std::size_t p = 0; p + count <= s.size(); p = NextChar(s, p)) add(p, HashBytes(s.substr(p, count), bits));
        });
        slot = std::move(index);
    }
    return *slot;
}

std::string_view Haystack::Find(std::int64_t position, std::int64_t length, std::uint32_t crc,
                                std::string_view firstChar) const {
    const std::uint32_t firstCode = FirstCharCode(firstChar);
    const std::string_view s = text_;
    const std::string_view atPlace = Candidate(s, position, length);
    if (FragmentMatches(atPlace, length, crc, firstCode)) return atPlace;
    if (s.empty() || s.size() > std::numeric_limits<std::uint32_t>::max() || !IsRegularChar(firstChar)) {
        const std::size_t at = SearchFragment(s, length, crc, firstChar, firstCode);
        return at == npos ? std::string_view() : Candidate(s, static_cast<std::int64_t>(at) + 1, length);
    }
    // The places the plain search would visit, in its order: the cursor
    // stops on a zero byte, as the plain search does.
    if (s[0] == '\0') return {};
    const Positions& index = ByFirstChar();
    const std::size_t step = firstChar.size();
    for (std::uint32_t i = index.offsets[firstCode]; i < index.offsets[firstCode + 1]; ++i) {
        const std::size_t at = index.positions[i];
        const std::string_view candidate = Candidate(s, static_cast<std::int64_t>(at) + 1, length);
        if (FragmentMatches(candidate, length, crc, firstCode)) return candidate;
        const std::size_t cursor = at + step;
        if (cursor >= s.size() || s[cursor] == '\0') break;
    }
    return {};
}

Haystack::Prefix Haystack::FindLongestPrefix(std::string_view run) const {
    if (run.empty()) return {};
    const std::size_t width = CharSize(run, 0);
    if (width >= run.size()) return {};
    const std::string_view s = text_;
    // The keys stand for whole characters: a lead byte standing alone (only
    // ever at the end of the words) cannot be looked up by them.
    auto regular = [&](std::size_t bytes) {
        if (run.size() < bytes) return false;
        std::size_t i = 0;
        while (i < bytes) {
            const std::size_t n = CharSize(run, i);
            if (n != width || !IsRegularChar(run.substr(i, n))) return false;
            i += n;
        }
        return i == bytes;
    };
    // Every candidate of a bucket is checked against the key's bytes; among
    // the places that match, the one that matches most of the run, and of
    // those the first, is what the plain search finds.
    auto scan = [&](std::size_t keyBytes) {
        const Positions& index = ByFirstBytes(keyBytes);
        const std::string_view key = run.substr(0, keyBytes);
        const std::uint32_t bucket = HashBytes(key, index.bits);
        Prefix best;
        for (std::uint32_t i = index.offsets[bucket]; i < index.offsets[bucket + 1]; ++i) {
            const std::size_t at = index.positions[i];
            if (s.compare(at, keyBytes, key) != 0) continue;
            std::size_t matched = keyBytes;
            while (matched < run.size()) {
                const std::size_t n = CharSize(run, matched);
                if (s.compare(at + matched, n, run.substr(matched, n)) != 0) break;
                matched += n;
            }
            if (matched > best.length) {
                best = {static_cast<std::int64_t>(at) + 1, matched};
                if (matched == run.size()) break;
            }
        }
        return best;
    };
    if (s.size() <= std::numeric_limits<std::uint32_t>::max()) {
        // Four bytes are two double-byte or four single-byte characters;
        // only when no place matches that much can the answer be shorter.
        if (regular(4)) {
            const Prefix found = scan(4);
            if (found.length > 0 || width == 2) return found;
        }
        if (width == 1 && regular(2)) return scan(2);
    }
    // Shorten the run one character at a time until some prefix is found.
    std::vector<std::size_t> ends;  // the ends of the prefixes of two or more characters
    for (std::size_t end = NextChar(run, width);; end = NextChar(run, end)) {
        ends.push_back(end);
        if (end >= run.size()) break;
    }
    for (auto it = ends.rbegin(); it != ends.rend(); ++it)
        if (const std::int64_t at = FindAtBoundary(s, run.substr(0, *it))) return {at, *it};
    return {};
}

}  // namespace zvek
