// The tag file reader on hostile input: the first part of the input is the
// page text, the rest a [Text] line full of groups. Entries are looked up as
// the reader does (plain and indexed searches must agree), and the encoder
// runs over the same line.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tags/Fingerprint.h"
#include "tags/TagFile.h"
#include "text/Sjis.h"

namespace {

class PageSource : public zvek::FragmentSource {
public:
    explicit PageSource(const zvek::Haystack& page) : page_(page) {}
    std::string_view Resolve(const zvek::TagEntry& e) override {
        const std::string_view found = page_.Find(e.position, e.length, e.crc, e.firstChar);
        if (std::string(found) != zvek::FindFragment(page_.text(), e.position, e.length, e.crc, e.firstChar))
            std::abort();
        return found;
    }

private:
    const zvek::Haystack& page_;
};

// Every lead byte is followed by a proper trail byte (0x40-0x7E, 0x80-0xFC).
bool ValidPairs(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
            if (i + 1 == s.size()) return true;
            const auto t = static_cast<unsigned char>(s[++i]);
            if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.empty() ? 0 : static_cast<unsigned char>(input[0]) * input.size() / 256;
    const zvek::Haystack page{std::string(input.substr(0, split))};
    const std::string_view line = input.substr(split);

    PageSource source(page);
    std::string out;
    zvek::DecodeTagLine(line, source, out);

    // The writer's run search against the plain one, on every suffix of
    // the line that starts a character.
    for (std::size_t start = 0; start < line.size(); start += line.size() / 8 + 1) {
        const std::string_view run = line.substr(start, 24);
        std::int64_t plainAt = 0;
        std::size_t plainLength = 0;
        for (std::size_t end = run.size(); end > 0 && !plainAt; --end) {
            // prefixes of two or more whole characters, longest first
            std::size_t chars = 0, boundary = 0;
            while (boundary < end) boundary += (++chars, zvek::CharSize(run, boundary));
            if (boundary != end || chars < 2) continue;
            if (const auto at = zvek::FindAtBoundary(page.text(), run.substr(0, end))) plainAt = at, plainLength = end;
        }
        const zvek::Haystack::Prefix found = page.FindLongestPrefix(run);
        if (found.position != plainAt || found.length != plainLength) std::abort();
    }

    // Whatever the writer makes of proper Shift-JIS words, the reader turns
    // back into the same words against the same page.
    const std::string encoded = zvek::EncodeWords(line, page);
    out.clear();
    const bool resolved = zvek::DecodeTagLine(encoded, source, out);
    if (ValidPairs(line) && (!resolved || out != line)) std::abort();
    return 0;
}
