// The tag file format: tag entries, the encoding of a line's words into
// literal characters and entries, and the decoding of a [Text] line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zvek {

class Haystack;

// One fragment of words that stands in the reference's page text.
struct TagEntry {
    std::int32_t position = 0;  // P: 1-based byte position in the page text
    std::int32_t length = 0;    // L: bytes
    std::string firstChar;      // K: the fragment's first character
    std::uint32_t crc = 0;      // C: CRC-32 of the fragment
};

// "<P,L,K,0xC>" with C in upper-case hexadecimal.
std::string FormatTagEntry(std::int64_t position, std::size_t length, std::string_view firstChar, std::uint32_t crc);

// The words of one lyrics line with every run found in `page` replaced by an
// entry; literal characters stay, "<" becomes "<>". `*unfound`, when given,
// grows by the characters written as they stand because the page does not
// hold them: the words a tag file gives away beyond its entries' first
// characters.
std::string EncodeWords(std::string_view words, const Haystack& page, std::size_t* unfound = nullptr);

// The fields of a comma-separated text: fields end at a comma or at a blank
// or control byte, blanks around separators are skipped, a double-quoted
// field may hold commas and blanks (a doubled quote standing for one), and a
// comma at the very end adds an empty field. `fields` is reused.
void ReadCommaText(std::string_view text, std::vector<std::string>& fields);

// Reads the inner text of a "<...>" group. False when the group is no entry
// (P is 0 or L below 1). Numbers that do not fit 32 bits count as 0.
bool ReadTagEntry(std::string_view inner, TagEntry& entry, std::vector<std::string>& fields);

// Where the decoding of a line gets the fragment of an entry from.
class FragmentSource {
public:
    virtual ~FragmentSource() = default;
    // The fragment, or an empty view when it cannot be found.
    virtual std::string_view Resolve(const TagEntry& entry) = 0;
};

// Appends the decoded `line` to `out`: "<>" becomes "<", a group that is no
// entry becomes its inner text, an entry becomes its fragment (or stays as
// written when the source has none), and a "<" without ">" keeps the rest of
// the line. Returns false when some entry stayed unresolved.
bool DecodeTagLine(std::string_view line, FragmentSource& source, std::string& out);

}  // namespace zvek
