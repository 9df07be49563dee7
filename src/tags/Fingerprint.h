// Fingerprints of lyrics fragments: the code of a text's first character,
// the check of a candidate against a tag entry, and the searches of a page
// text that writing and reading tag entries rest on.
//
// Nothing is normalised: a fragment is its bytes. Matches begin only on a
// character boundary of the text searched.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zvek {

// Byte value of a single-byte character, lead * 256 + trail of a double-byte
// one, 0 for an empty text.
std::uint32_t FirstCharCode(std::string_view text);

// True when `length` or `firstCode` is 0 (nothing to compare), or when the
// candidate is `length` bytes long, starts with `firstCode` and has `crc`.
bool FragmentMatches(std::string_view candidate, std::int64_t length, std::uint32_t crc, std::uint32_t firstCode);

// The fragment of a tag entry: the text at the 1-based `position` when it
// matches, else the earliest matching place that starts with `firstChar`;
// empty when there is none.
std::string FindFragment(std::string_view haystack, std::int64_t position, std::int64_t length, std::uint32_t crc,
                         std::string_view firstChar);

// 1-based position of the first occurrence of `needle` that begins on a
// character boundary of `haystack`, or 0.
std::int64_t FindAtBoundary(std::string_view haystack, std::string_view needle);

// A page text searched many times over: the same answers as the plain
// functions above, with the help built on first use kept small (a few
// bytes per 256 bytes of text for the fragment search) and the work of
// each search bounded by the text's length, whatever the text repeats.
class Haystack {
public:
    explicit Haystack(std::string text = {});
    ~Haystack();
    Haystack(Haystack&&) noexcept;
    Haystack& operator=(Haystack&&) noexcept;

    const std::string& text() const { return text_; }
    bool empty() const { return text_.empty(); }

    // FindFragment, returning a view into the text. A candidate costs the
    // same whatever the entry's length: its CRC comes from the CRCs of two
    // prefixes of the text.
    std::string_view Find(std::int64_t position, std::int64_t length, std::uint32_t crc,
                          std::string_view firstChar) const;

    struct Prefix {
        std::int64_t position = 0;  // 1-based; 0 when no prefix was found
        std::size_t length = 0;     // in bytes
    };
    // The longest prefix of `run` (whole characters, at least two) that
    // occurs at a character boundary, at its first such occurrence. This is
    // what trying FindAtBoundary with ever shorter prefixes would find.
    Prefix FindLongestPrefix(std::string_view run) const;

    // Whether the character `c` (one whole character) occurs anywhere in
    // the text at a character boundary.
    bool HoldsChar(std::string_view c) const;

    // Bytes of text a block of the fragment search's help stands for.
    static constexpr std::size_t kBlock = 256;
    struct Blocks;

private:
    // Boundary positions grouped by a key: those of key k are
    // positions[offsets[k] .. offsets[k + 1]), in ascending order.
    struct Positions {
        std::vector<std::uint32_t> offsets;
        std::vector<std::uint32_t> positions;
        unsigned bits = 0;
    };
    // Boundary positions by a hash of the `count` (2 or 4) bytes there.
    const Positions& ByFirstBytes(std::size_t count) const;
    const Blocks& ByBlock() const;

    std::string text_;
    mutable std::unique_ptr<Blocks> blocks_;
    mutable std::unique_ptr<Positions> byFirstBytes_[2];  // two bytes, four bytes
    mutable std::unique_ptr<std::vector<bool>> chars_;    // by FirstCharCode
};

}  // namespace zvek
