// HTML-to-text converter.
//
// `hlvHtml` turns an HTML page as it lies on disk into
//   - a token list: the page cut into tags, comments and runs of text, each
//     re-encoded to Shift_JIS;
//   - the page text: the visible text of the body as plain lines (what the
//     editor shows for a .htm/.html file, and where the tag conversions look
//     for lyrics lines);
//   - a Shift_JIS copy of the source, re-broken into lines (the tag
//     conversion's second search text for pages that were not Shift_JIS).
//
// It renders nothing and decodes no entity references ("&amp;" stays as
// written). The only attribute words it looks at are the list bullets
// "circle" and "square". Input pages may be Shift_JIS, EUC-JP, ISO-2022-JP
// or UTF-8; every output is Shift_JIS.
//
// Page text and source are produced in memory. Nothing here ever writes a
// scratch file beside the user's page; WriteText/WriteSource exist for
// callers that want the result in a file of their choosing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zvek {

// The code set of an input page.
enum HtmlCharset : std::uint8_t {
    csUnknown = 0,
    csShiftJis = 1,
    csEucJp = 2,
    csJis = 3,  // ISO-2022-JP
    csUtf8 = 4,
};

// Shift_JIS strings of three kinds, in page order:
//   tag      "<" ... ">" (cut short where a stray "<" interrupts it),
//   comment  "<!--" ... "-->", nested comments and any "<" or ">" inside kept,
//   text     a run of characters holding no "<" (possibly spaces only).
// No token holds a line end: each CR LF, CR or LF of the page became one space.
// The last token may be empty (a page that ends in an ISO-2022-JP escape).
using TokenList = std::vector<std::string>;

class hlvHtml {
public:
    hlvHtml() = default;

    // Replaces `tokens` with the tokens of the file at `path`, after finding
    // its code set. A missing file gives no tokens (and reports csEucJp); a
    // file that exists but cannot be read throws std::filesystem::filesystem_error.
    void LoadTokens(const std::string& path, TokenList& tokens);
    // The same for a page already in memory.
    void LoadTokensFromBytes(std::string_view bytes, TokenList& tokens);

    // The code set found by the last load. Before any load it examines the
    // file last named (none: reports csEucJp).
    HtmlCharset DetectCharset();

    // Characters of a UTF-8 page that had no Shift_JIS form and became "?"
    // during the last load (0 for the other code sets).
    std::size_t ReplacedChars() const { return replaced_; }

    // The page text: the lines a reader gets back from WriteText's file.
    static std::vector<std::string> PageText(const TokenList& tokens);
    // The source: the lines a reader gets back from WriteSource's file.
    static std::vector<std::string> SourceLines(const TokenList& tokens);

    // Create (or truncate) `path` and write PageText / SourceLines to it,
    // every line followed by CR LF. Failure throws std::filesystem::filesystem_error.
    void WriteText(const std::string& path, const TokenList& tokens) const;
    void WriteSource(const std::string& path, const TokenList& tokens) const;

    // The code set of a page in memory, by the first evidence in page order:
    // a UTF-8 byte-order mark at the start, a byte pattern only one code set
    // allows, or a "<meta" tag naming the charset. Plain ASCII is csEucJp.
    static HtmlCharset DetectCharsetOf(std::string_view bytes);

private:
    std::string fileName_;
    HtmlCharset charset_ = csUnknown;
    std::size_t replaced_ = 0;
};

// The page text of the HTML file at `path` (empty for a missing file): what
// the editor shows when a .htm/.html file is opened. `replaced`, when given,
// receives the count of characters that became "?" (UTF-8 pages only).
std::vector<std::string> LoadHtmlFile(const std::string& path, std::size_t* replaced = nullptr);

}  // namespace zvek
