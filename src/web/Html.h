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
// Page text and source also come straight from the bytes (LoadHtmlFile,
// HtmlPageText, ReadHtmlPage) for callers that need no token list.
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
#include <functional>
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
//   tag      "<" ... ">" (cut short where a stray "<" interrupts it, or at the
//            end of the page),
//   comment  "<!--" ... "-->", nested comments and any "<" or ">" inside kept
//            (an unterminated one runs to the end of the page),
//   text     a run of characters holding no "<" (possibly spaces only).
// Each CR LF, CR or LF of the page became one space; a line-end byte is left
// only as the second byte of a double-byte character in a broken page.
//
// Broken pages: a lead byte, or an ISO-2022-JP escape, cut off by the end of
// the page is kept as it stands; a NUL is an ordinary byte and is kept (in a
// JIS X 0208 run it pairs with the next byte like any other); a "<" that is
// the last byte of the page is the last token. The last token may be empty (a
// page that ends in an ISO-2022-JP escape).
using TokenList = std::vector<std::string>;

class hlvHtml {
public:
    hlvHtml() = default;

    // Replaces `tokens` with the tokens of the file at `path`, after finding
    // its code set. A missing file (or a folder) gives no tokens and reports
    // csEucJp; a file that cannot be read throws FileError.
    void LoadTokens(const std::string& path, TokenList& tokens);
    // The same for a page already in memory.
    void LoadTokensFromBytes(std::string_view bytes, TokenList& tokens);

    // The code set found by the last load (csEucJp before any load). A page
    // is UTF-8 when it starts with the byte-order mark or a "<meta" tag
    // declares "utf-8" (or "utf8", as browsers accept) before any other
    // evidence; its characters without a Shift_JIS form become "?".
    HtmlCharset DetectCharset();

    // Characters of a UTF-8 page that had no Shift_JIS form and became "?"
    // during the last load (0 for the other code sets).
    std::size_t ReplacedChars() const { return replaced_; }

    // The page text: the lines a reader gets back from WriteText's file.
    static std::vector<std::string> PageText(const TokenList& tokens);
    // The source: the lines a reader gets back from WriteSource's file.
    static std::vector<std::string> SourceLines(const TokenList& tokens);

    // Create (or truncate) `path` and write PageText / SourceLines to it,
    // every line followed by CR LF (the source's last line too, even when its
    // last token ended no line). The file is replaced as a whole, so a
    // failed write leaves the old one; failure throws FileError.
    void WriteText(const std::string& path, const TokenList& tokens) const;
    void WriteSource(const std::string& path, const TokenList& tokens) const;

    // The code set of a page in memory, by the first evidence in page order:
    // a UTF-8 byte-order mark at the start, a byte pattern only one code set
    // allows, or a "<meta" tag naming the charset. Plain ASCII is csEucJp.
    static HtmlCharset DetectCharsetOf(std::string_view bytes);

private:
    HtmlCharset charset_ = csUnknown;
    std::size_t replaced_ = 0;
};

// The page text of the HTML file at `path` (empty for a missing file): what
// the editor shows when a .htm/.html file is opened. `replaced`, when given,
// receives the count of characters that became "?" (UTF-8 pages only).
// Both give what PageText gives for the page's tokens, without a token list.
std::vector<std::string> LoadHtmlFile(const std::string& path, std::size_t* replaced = nullptr);
// The same for a page already in memory.
std::vector<std::string> HtmlPageText(std::string_view bytes, std::size_t* replaced = nullptr);

// HtmlPageText's lines, given to `line` one by one as they are made, so that
// a caller that writes them out never holds them all.
void ForEachPageTextLine(std::string_view bytes, const std::function<void(std::string_view)>& line,
                         std::size_t* replaced = nullptr);

// A page's code set, page text and source, from one reading of its bytes.
struct HtmlPageLines {
    HtmlCharset charset = csEucJp;    // as DetectCharsetOf
    std::size_t replaced = 0;         // as ReplacedChars
    std::vector<std::string> text;    // as PageText of the page's tokens
    std::vector<std::string> source;  // as SourceLines of them (see HtmlSourceFor)
};

// Which pages ReadHtmlPage makes a source for. A Shift_JIS page is its own
// source for a caller that only needs its bytes split into lines.
enum class HtmlSourceFor : std::uint8_t { AnyPage, NotShiftJis };

// What LoadTokensFromBytes, PageText and SourceLines give for `bytes`,
// without a token list (which takes many times the page); the source stays
// empty for a Shift_JIS page when `sourceFor` is NotShiftJis.
HtmlPageLines ReadHtmlPage(std::string_view bytes, HtmlSourceFor sourceFor = HtmlSourceFor::AnyPage);

}  // namespace zvek
