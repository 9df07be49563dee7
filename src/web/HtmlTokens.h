// The tokenizer under hlvHtml: a page cut into tags, comments and runs of
// text, each decoded to Shift_JIS as it is read.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "web/Code.h"
#include "web/Html.h"

namespace zvek {

// Cuts a page into tokens. The reader looks ahead up to three bytes and puts
// back what it does not use; with the whole page in memory, putting back is
// just moving the position back.
//
// Each token is decoded to the start of `out`, which holds as many bytes as
// the page: no character ever takes more bytes in Shift_JIS than it took in
// the page (a CR LF becomes one space, escapes vanish). For the same reason
// `out` may be the page itself when that is Shift_JIS: decoding never
// overtakes reading, and what is put back has not been overwritten. (EUC-JP
// is decoded in blocks that write a little ahead.) Starting every token afresh touches only
// as much of `out` as the longest token needs: on a fresh page of memory
// the first touch is the dear part.
class TokenReader {
public:
    TokenReader(std::string_view page, HtmlCharset charset, char* out)
        : data_(reinterpret_cast<const unsigned char*>(page.data())),
          size_(page.size()),
          charset_(charset),
          outStart_(out),
          out_(out) {}

    bool AtEnd() const { return pos_ >= size_; }
    // The code set in force; while detecting, the byte patterns may settle it.
    HtmlCharset Charset() const { return charset_; }

    // The next token, valid until the next Read. It is empty only at the
    // end of the page. `CS` is the code set the reader was made with.
    template <HtmlCharset CS>
    std::string_view Read();

private:
    // The next character as a Shift_JIS code, or false at the end of the page.
    // `charStart_` is left at its first byte, so it can be put back.
    template <HtmlCharset CS>
    bool NextChar(CharCode& code);
    // Copies the characters ahead that need no decision (no "<", ">", line
    // end, escape, or "-" inside a comment) and stops before the first that
    // does, or earlier; the character-by-character path handles the rest.
    template <HtmlCharset CS>
    void CopyPlain(bool inComment);
    // Reads the common tokens, text and tags outside comments, testing the
    // few bytes that matter in place. Returns false, with the token so far
    // and its tag depth, where the character-by-character path takes over.
    template <HtmlCharset CS>
    bool ReadSimple(const char* start, int& tagDepth);
    // After an ESC: switches the two-byte mode and returns false, or, for a
    // sequence cut off by the end of the page, returns its bytes as `code`.
    bool Escape(CharCode& code);
    // Code set not known yet: classifies the byte `c` just read.
    bool Classify(unsigned c, CharCode& code);

    // The bytes ahead are "!--" (after a "<") or "->" (after a "-").
    bool FollowsOpener() const {
        return size_ - pos_ >= 3 && data_[pos_] == '!' && data_[pos_ + 1] == '-' && data_[pos_ + 2] == '-';
    }
    bool FollowsCloser() const { return size_ - pos_ >= 2 && data_[pos_] == '-' && data_[pos_ + 1] == '>'; }
    CharCode Pair(unsigned c) { return static_cast<CharCode>((c << 8) | data_[pos_++]); }
    void Put(CharCode code) {
        if (code >> 8) *out_++ = static_cast<char>(code >> 8);
        *out_++ = static_cast<char>(code);
    }
    void Put(std::string_view s) {
        std::memcpy(out_, s.data(), s.size());
        out_ += s.size();
    }

    const unsigned char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::size_t charStart_ = 0;
    HtmlCharset charset_;
    bool twoByte_ = false;  // ISO-2022-JP: inside a JIS X 0208 run
    char* const outStart_;
    char* out_;
};

template <HtmlCharset CS, class Sink>
void ReadAll(TokenReader& reader, Sink& sink) {
    while (!reader.AtEnd()) sink(reader.Read<CS>());
}

// Feeds every token of `page`, read as `charset`, to `sink`, each decoded
// into `out` (room for the page; the page itself only when it is Shift_JIS).
template <class Sink>
void ForEachToken(std::string_view page, HtmlCharset charset, char* out, Sink& sink) {
    TokenReader reader(page, charset, out);
    switch (charset) {
    case csShiftJis:
        return ReadAll<csShiftJis>(reader, sink);
    case csEucJp:
        return ReadAll<csEucJp>(reader, sink);
    case csJis:
        return ReadAll<csJis>(reader, sink);
    default:
        return ReadAll<csUnknown>(reader, sink);
    }
}

}  // namespace zvek
