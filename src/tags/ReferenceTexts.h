// The texts a tag file's entries are looked up in: a reference page's text
// and source, and their width-folded forms.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "tags/Fingerprint.h"
#include "tags/TagFile.h"
#include "web/Code.h"

namespace zvek {

// The six texts the reader searches, the width-folded ones made on first use.
class ReferenceTexts : public FragmentSource {
public:
    ReferenceTexts(std::string pageText, std::string pageSource) : a_(std::move(pageText)), b_(std::move(pageSource)) {}

    std::string_view Resolve(const TagEntry& e) override {
        std::string_view found = a_.Find(e.position, e.length, e.crc, e.firstChar);
        if (found.empty() && !b_.empty()) found = b_.Find(e.position, e.length, e.crc, e.firstChar);
        for (int variant = 0; found.empty() && variant < 4; ++variant)
            if (const Haystack* folded = Folded(variant))
                found = folded->Find(e.position, e.length, e.crc, e.firstChar);
        return found;
    }

private:
    // Null when folding leaves the text as it was: a search there would
    // only repeat one already made, and a copy would double the memory.
    const Haystack* Folded(int variant) {
        if (!made_[variant]) {
            made_[variant] = true;
            const std::string& base = variant < 2 ? a_.text() : b_.text();
            std::string text = variant % 2 == 0 ? ToHalfWidth(base) : ToFullWidth(base);
            if (text != base) folded_[variant] = std::make_unique<Haystack>(std::move(text));
        }
        return folded_[variant].get();
    }

    Haystack a_, b_;
    std::unique_ptr<Haystack> folded_[4];  // A half, A full, B half, B full
    bool made_[4] = {};
};

}  // namespace zvek
