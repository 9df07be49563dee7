// Width folding and the EUC-JP string conversion on arbitrary bytes.
//
// Besides running clean under the sanitizers, the foldings must work
// character by character: cutting the text at a character boundary and
// folding the parts gives the same bytes as folding the whole (for the way
// to full width, except between a katakana and its sound mark). That is what
// breaks when a pair is split or a trail byte is read as a character of its
// own. Text without double-byte characters must come back from full width
// unchanged, and folding twice changes nothing more.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "text/Sjis.h"
#include "web/Code.h"

namespace {

void Check(bool ok, const char* what, std::size_t at = 0) {
    if (ok) return;
    std::fprintf(stderr, "width fuzz: %s (at %zu)\n", what, at);
    std::abort();
}

bool IsSoundMark(unsigned char b) { return b == 0xDE || b == 0xDF; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::string full = zvek::ToFullWidth(text);
    const std::string half = zvek::ToHalfWidth(text);
    const std::string euc = zvek::SjisToEucString(text);

    Check(full.size() <= 2 * size, "full width more than doubles");
    Check(half.size() <= size, "half width grows");
    Check(zvek::ToFullWidth(full) == full, "full width folds again");
    Check(zvek::ToHalfWidth(half) == half, "half width folds again");

    // Only the code conversion sees the NUL as the end. Invalid pairs are
    // converted by the plain arithmetic, so its output may well hold a NUL
    // (0xF0 0x1F comes out as 0x00).
    const std::size_t nul = text.find('\0');
    const std::string_view beforeNul = text.substr(0, nul);
    Check(euc.size() <= 2 * beforeNul.size(), "EUC-JP more than doubles");

    bool hasLead = false;
    std::vector<std::size_t> boundaries;
    for (std::size_t i = 0; i < size; i = zvek::NextChar(text, i)) {
        boundaries.push_back(i);
        hasLead = hasLead || zvek::IsLeadByte(data[i]);
    }
    if (!hasLead) Check(zvek::ToHalfWidth(full) == text, "no way back from full width");

    // Every boundary of a small input, a spread of them in a larger one:
    // each cut folds the whole text again.
    const std::size_t step = boundaries.size() <= 32 ? 1 : boundaries.size() / 32;
    for (std::size_t b = 0; b < boundaries.size(); b += step) {
        const std::size_t at = boundaries[b];
        const std::string_view head = text.substr(0, at), tail = text.substr(at);
        Check(zvek::ToHalfWidth(head) + zvek::ToHalfWidth(tail) == half, "half width is not per character", at);
        if (!IsSoundMark(data[at]))
            Check(zvek::ToFullWidth(head) + zvek::ToFullWidth(tail) == full, "full width is not per character", at);
        if (at < beforeNul.size())
            Check(zvek::SjisToEucString(head) + zvek::SjisToEucString(beforeNul.substr(at)) == euc,
                  "EUC-JP is not per character", at);
    }
    return 0;
}
