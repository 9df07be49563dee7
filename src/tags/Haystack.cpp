// The Haystack: a page text with the indexes that make its many searches
// cheap, built on first use.
#include "tags/Fingerprint.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include "tags/Crc32.h"
#include "tags/FragmentCandidate.h"
#include "text/Sjis.h"

namespace zvek {

namespace {

constexpr std::size_t npos = std::string_view::npos;

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

// Per block of kBlock bytes of the text: the CRC register over the text
// before it, and whether its first byte is the second byte of a character.
// From these a search can start anywhere near where it needs to be.
struct Haystack::Blocks {
    std::vector<std::uint32_t> registerBefore;  // one more than there are blocks
    std::vector<bool> startsInside;
};

Haystack::Haystack(std::string text) : text_(std::move(text)) {}
Haystack::~Haystack() = default;
Haystack::Haystack(Haystack&&) noexcept = default;
Haystack& Haystack::operator=(Haystack&&) noexcept = default;

namespace {

using Blocks = Haystack::Blocks;
constexpr std::size_t kBlock = Haystack::kBlock;

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

// The CRC register over the text before a position that only moves
// forwards: a far move starts again from the block it lands in, so a move
// costs at most a block and a whole search at most the text.
class RegisterCursor {
public:
    RegisterCursor(std::string_view s, const Blocks& blocks) : s_(s), blocks_(blocks) {}
    std::uint32_t Before(std::size_t pos) {
        if (pos - pos_ > kBlock) {
            const std::size_t block = pos / kBlock;
            pos_ = block * kBlock;
            reg_ = blocks_.registerBefore[block];
        }
        reg_ = Crc32Register(reg_, s_.data() + pos_, pos - pos_);
        pos_ = pos;
        return reg_;
    }

private:
    std::string_view s_;
    const Blocks& blocks_;
    std::size_t pos_ = 0;
    std::uint32_t reg_ = 0;
};

// The boundary test of the plain search (BoundaryCursor in Fingerprint.cpp),
// skipping ahead by blocks.
class BlockBoundaries {
public:
    BlockBoundaries(std::string_view s, const Blocks& blocks) : s_(s), blocks_(blocks) {}
    bool IsBoundary(std::size_t pos) {
        if (pos > b_ && pos - b_ > kBlock) {
            const std::size_t block = pos / kBlock;
            b_ = block * kBlock + (blocks_.startsInside[block] ? 1 : 0);
        }
        while (b_ < pos) b_ = NextChar(s_, b_);
        return b_ == pos;
    }

private:
    std::string_view s_;
    const Blocks& blocks_;
    std::size_t b_ = 0;
};

// The places where a needle's bytes stand, in ascending order, for `from`
// that only grows. Short needles are compared where their first byte is;
// a long one is followed with its failure table, so that a text that
// repeats the needle's beginning costs no more than one pass.
class NeedlePlaces {
public:
    NeedlePlaces(std::string_view s, std::string_view needle) : s_(s), needle_(needle) {
        if (needle.size() <= kShort) return;
        failure_.assign(needle.size() + 1, 0);
        for (std::size_t i = 1, k = 0; i < needle.size(); ++i) {
            while (k > 0 && needle[i] != needle[k]) k = failure_[k];
            if (needle[i] == needle[k]) ++k;
            failure_[i + 1] = k;
        }
    }
    // The first place at or after `from`, or npos.
    std::size_t Next(std::size_t from) {
        if (needle_.size() <= kShort) {
            while (from < s_.size()) {
                const void* hit = std::memchr(s_.data() + from, needle_.front(), s_.size() - from);
                if (!hit) return npos;
                const std::size_t at = static_cast<const char*>(hit) - s_.data();
                if (s_.compare(at, needle_.size(), needle_) == 0) return at;
                from = at + 1;
            }
            return npos;
        }
        for (; j_ < s_.size();) {
            while (k_ > 0 && s_[j_] != needle_[k_]) k_ = failure_[k_];
            if (s_[j_] == needle_[k_]) ++k_;
            ++j_;
            if (k_ == needle_.size()) {
                const std::size_t at = j_ - k_;
                k_ = failure_[k_];
                if (at >= from) return at;
            }
        }
        return npos;
    }

private:
    static constexpr std::size_t kShort = 16;
    std::string_view s_, needle_;
    std::vector<std::size_t> failure_;
    std::size_t j_ = 0, k_ = 0;  // bytes read, and how much of the needle they end with
};

// Longest prefix of `run` by one pass over the text: the Z-array of the run
// gives, place after place, how much of the run stands there, without
// comparing any byte of the text more than a bounded number of times.
Haystack::Prefix LinearLongestPrefix(std::string_view s, std::string_view run, std::size_t minEnd) {
    const std::size_t r = run.size();
    // The longest whole-character prefix of the run no longer than n bytes.
    std::vector<std::uint32_t> floorEnd(r + 1, 0);
    for (std::size_t end = 0; end < r;) {
        const std::size_t next = NextChar(run, end);
        for (std::size_t n = end; n < next; ++n) floorEnd[n] = static_cast<std::uint32_t>(end);
        end = next;
    }
    floorEnd[r] = static_cast<std::uint32_t>(r);
    std::vector<std::uint32_t> z(r, 0);
    z[0] = static_cast<std::uint32_t>(r);
    for (std::size_t i = 1, l = 0, right = 0; i < r; ++i) {
        std::size_t k = i < right ? std::min<std::size_t>(z[i - l], right - i) : 0;
        while (i + k < r && run[i + k] == run[k]) ++k;
        if (i + k > right) l = i, right = i + k;
        z[i] = static_cast<std::uint32_t>(k);
    }
    Haystack::Prefix best;
    std::size_t l = 0, right = 0;  // s[l, right) equals the start of the run
    std::size_t boundary = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::size_t k = 0;
        if (i < right) {
            k = z[i - l];
            if (k >= right - i) {
                k = right - i;
                while (i + k < s.size() && k < r && s[i + k] == run[k]) ++k;
                l = i, right = i + k;
            }
        } else {
            while (i + k < s.size() && k < r && s[i + k] == run[k]) ++k;
            l = i, right = i + k;
        }
        if (i != boundary) continue;
        boundary = NextChar(s, i);
        const std::size_t end = floorEnd[k];
        if (end >= minEnd && end > best.length) {
            best = {static_cast<std::int64_t>(i) + 1, end};
            if (end == r) break;
        }
    }
    return best;
}

}  // namespace

const Haystack::Blocks& Haystack::ByBlock() const {
    if (!blocks_) {
        auto blocks = std::make_unique<Blocks>();
        const std::string_view s = text_;
        const std::size_t count = s.size() / kBlock + 1;
        blocks->registerBefore.resize(count);
        blocks->startsInside.resize(count);
        std::uint32_t reg = 0;
        std::size_t boundary = 0;
        for (std::size_t block = 0; block < count; ++block) {
            const std::size_t start = block * kBlock;
            blocks->registerBefore[block] = reg;
            while (boundary < start) boundary = NextChar(s, boundary);
            blocks->startsInside[block] = boundary != start;
            if (start < s.size()) reg = Crc32Register(reg, s.data() + start, std::min(kBlock, s.size() - start));
        }
        blocks_ = std::move(blocks);
    }
    return *blocks_;
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
            for (std::size_t p = 0; p + count <= s.size(); p = NextChar(s, p))
                add(p, HashBytes(s.substr(p, count), bits));
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
    // Past here firstChar is not empty and length is not 0. Only a place
    // with room for `length` bytes can match, and a later one has less room.
    if (length < 0 || static_cast<std::uint64_t>(length) > s.size() || s[0] == '\0') return {};
    const std::size_t size = static_cast<std::size_t>(length);
    const std::size_t last = s.size() - size;
    const Blocks& blocks = ByBlock();
    BlockBoundaries boundaries(s, blocks);
    NeedlePlaces places(s, firstChar);
    RegisterCursor before(s, blocks), after(s, blocks);
    std::optional<Crc32Shift> shift;  // made for the first candidate that gets as far as its CRC
    std::uint32_t wanted = 0;
    int checked = 0;
    // The places the plain search visits, in its order: the cursor moves
    // past each candidate and stops on a zero byte, as the plain search does.
    const std::size_t step = firstCode >= 256 ? 2 : 1;
    for (std::size_t cursor = 0;;) {
        std::size_t at = places.Next(cursor);
        while (at != npos && at <= last && !boundaries.IsBoundary(at)) at = places.Next(at + 1);
        if (at == npos || at > last) return {};
        const std::string_view candidate = s.substr(at, size);
        if (FirstCharCode(candidate) == firstCode) {
            if (!shift) {
                shift.emplace(size);
                wanted = ~crc ^ (*shift)(0xFFFFFFFFu);
            }
            if (++checked == 64) shift->Tabulate();
            // Register(prefix to at + size) = shift(Register(prefix to at)) ^ Register(candidate).
            if ((after.Before(at + size) ^ (*shift)(before.Before(at))) == wanted) return candidate;
        }
        cursor = at + step;
        if (cursor >= s.size() || s[cursor] == '\0') return {};
    }
}

bool Haystack::HoldsChar(std::string_view c) const {
    if (!chars_) {
        auto chars = std::make_unique<std::vector<bool>>(0x10000);
        for (std::size_t i = 0; i < text_.size();) {
            const std::size_t size = CharSize(text_, i);
            (*chars)[FirstCharCode(std::string_view(text_).substr(i, size))] = true;
            i += size;
        }
        chars_ = std::move(chars);
    }
    return !c.empty() && (*chars_)[FirstCharCode(c)];
}

Haystack::Prefix Haystack::FindLongestPrefix(std::string_view run) const {
    if (run.empty()) return {};
    const std::size_t width = CharSize(run, 0);
    if (width >= run.size()) return {};
    const std::size_t minEnd = NextChar(run, width);
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
    // The index is quick when few places share the run's first bytes; when
    // it has looked at about as much as one pass over the text would (a
    // text of one repeated character, say), that pass takes over.
    std::size_t budget = s.size() + run.size() + 64;
    bool overBudget = false;
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
            if (budget < keyBytes) {
                overBudget = true;
                return Prefix{};
            }
            budget -= keyBytes;
            if (s.compare(at, keyBytes, key) != 0) continue;
            std::size_t matched = keyBytes;
            while (matched < run.size()) {
                const std::size_t n = CharSize(run, matched);
                if (s.compare(at + matched, n, run.substr(matched, n)) != 0) break;
                matched += n;
            }
            if (budget < matched) {
                overBudget = true;
                return Prefix{};
            }
            budget -= matched;
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
            if (!overBudget && (found.length > 0 || width == 2)) return found;
        }
        if (!overBudget && width == 1 && regular(2)) {
            const Prefix found = scan(2);
            if (!overBudget) return found;
        }
    }
    return LinearLongestPrefix(s, run, minEnd);
}

}  // namespace zvek
