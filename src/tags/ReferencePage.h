// The reference page of a tag conversion: a file the user names or a page
// fetched from the web, read into the texts its entries are looked up in.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tags/Fingerprint.h"
#include "tags/TagFile.h"
#include "web/Code.h"
#include "web/Html.h"

namespace zvek {

class LyricsDocument;

// The bytes of a reference file. Even a file the user names may be a
// device or something like /proc/kcore: nothing past the cap is read.
std::string ReadReference(const std::string& path);

// The lines of a text file used as a reference; UTF-8 is read as such.
std::vector<std::string> TextReferenceLines(const std::string& path);

// The address a page saved by a browser records in its first
// "<!-- saved from url=" comment, or nothing.
std::string SavedFromAddress(const TokenList& tokens);

// The six texts the reader searches, the width-folded ones made on first use.
class ReferenceTexts : public FragmentSource {
public:
    ReferenceTexts(std::string pageText, std::string pageSource)
        : a_(std::move(pageText)), b_(std::move(pageSource)) {}

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

// A reference page fetched from the web into the program's private
// temporary folder; the file goes with the object.
class DownloadedPage {
public:
    explicit DownloadedPage(std::string path) : path_(std::move(path)) {}
    ~DownloadedPage() { std::remove(path_.c_str()); }
    DownloadedPage(const DownloadedPage&) = delete;
    DownloadedPage& operator=(const DownloadedPage&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The tag maker downloads without progress on the status line; the window
// keeps painting meanwhile and the user may stop it. When a UtaNet page does
// not come, its other address is tried. On success `pageAddress` is the
// address that gave the page.
std::unique_ptr<DownloadedPage> DownloadReferenceForTag(LyricsDocument& doc, const std::string& address,
                                                        std::string& pageAddress);

// The reader fetches on a worker thread with progress; FetchPage reports a
// failure itself, the document keeps its result code.
std::unique_ptr<DownloadedPage> DownloadReferenceForRestore(LyricsDocument& doc, const std::string& address);

}  // namespace zvek
