// Fuzz target for the HTML-to-text converter.
//
// Besides looking for crashes and undefined behaviour, it checks the
// converter against a deliberately plain model of the same rules: a reader
// that takes one byte at a time from a stream with a put-back stack, and
// writers that produce the files byte by byte (TABs of a quotation written
// straight to the file) and split them into lines as a reader of the file
// would. The converter decodes in place, copies runs in bulk and compares tags
// as numbers; any difference from the model is a fault. It also checks that
// the page text and source made straight from the bytes equal the ones made
// from tokens.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "text/Codec.h"
#include "text/Sjis.h"
#include "web/Code.h"
#include "web/Html.h"

namespace {

using namespace zvek;
using Lines = std::vector<std::string>;

class ModelReader {
public:
    ModelReader(std::string_view bytes, HtmlCharset charset) : in_(bytes), charset_(charset) {}

    bool AtEnd() const { return back_.empty() && pos_ >= in_.size(); }
    HtmlCharset Charset() const { return charset_; }
    void Declare(HtmlCharset charset) { charset_ = charset; }

    std::string Token() {
        std::string token;
        twoByte_ = false;
        int tagDepth = 0;
        int commentDepth = 0;
        CharCode code;
        while (Char(code)) {
            if (code == '\r') {
                unsigned char b;
                if (Get(b) && b != '\n') Unget(b);
                code = ' ';
            } else if (code == '\n') {
                code = ' ';
            }
            if (commentDepth == 0 && code == '<') {
                if (!token.empty()) {
                    Unget('<');
                    break;
                }
                tagDepth = 1;
                if (Ahead("!--")) {
                    token += "<!--";
                    commentDepth = 1;
                    continue;
                }
            } else if (commentDepth > 0 && code == '<') {
                if (Ahead("!--")) {
                    token += "<!--";
                    ++commentDepth;
                    continue;
                }
            } else if (commentDepth > 0 && code == '-') {
                if (Ahead("->")) {
                    token += "-->";
                    --commentDepth;
                    if (commentDepth == 0 && --tagDepth == 0) break;
                    continue;
                }
            }
            AppendCharCode(token, code);
            if (commentDepth == 0 && code == '>' && --tagDepth == 0) break;
        }
        return token;
    }

private:
    bool Get(unsigned char& b) {
        if (!back_.empty()) {
            b = back_.back();
            back_.pop_back();
            return true;
        }
        if (pos_ >= in_.size()) return false;
        b = static_cast<unsigned char>(in_[pos_++]);
        return true;
    }
    void Unget(unsigned char b) {
        back_.push_back(b);
        if (back_.size() > 3) std::abort();  // the reader never needs more
    }
    // Consumes `word` if the bytes ahead are it; puts back what it read otherwise.
    bool Ahead(std::string_view word) {
        unsigned char got[3];
        std::size_t n = 0;
        while (n < word.size() && Get(got[n])) ++n;
        if (n == word.size() && std::string_view(reinterpret_cast<char*>(got), n) == word) return true;
        while (n > 0) Unget(got[--n]);
        return false;
    }

    bool Char(CharCode& code) {
        for (;;) {
            unsigned char c, d;
            if (!Get(c)) return false;
            switch (charset_) {
            case csShiftJis:
                code = IsLeadByte(c) && Get(d) ? static_cast<CharCode>(c << 8 | d) : c;
                return true;
            case csEucJp:
                code = c >= 0x80 && Get(d) ? EucToSjis(static_cast<CharCode>(c << 8 | d)) : c;
                return true;
            case csJis:
                if (c == 0x1B) {
                    unsigned char intro, final;
                    if (!Get(intro)) {
                        code = c;
                        return true;
                    }
                    if (intro != '$' && intro != '&' && intro != '(') continue;
                    if (!Get(final)) {
                        code = static_cast<CharCode>(c << 8 | intro);
                        return true;
                    }
                    if (intro == '$' && (final == '@' || final == 'B' || final == 'D')) twoByte_ = true;
                    if (intro == '&' && final == '@') twoByte_ = true;
                    if (intro == '(' && (final == 'J' || final == 'B' || final == 'I')) twoByte_ = false;
                    continue;
                }
                code = twoByte_ && Get(d) ? JisToSjis(static_cast<CharCode>(c << 8 | d)) : c;
                return true;
            default:
                break;
            }
            if (c >= 0x81 && c <= 0x9F && c != 0x8E && c != 0x8F) {
                charset_ = csShiftJis;
            } else if (c == 0xFD || c == 0xFE) {
                charset_ = csEucJp;
            } else if (c == 0x1B) {
                charset_ = csJis;
            } else if (c == 0x8E || c == 0x8F || (c >= 0xE0 && c <= 0xFC)) {
                code = c;
                if (!Get(d)) return true;
                if (d < 0xA1) {
                    charset_ = csShiftJis;
                    code = static_cast<CharCode>(c << 8 | d);
                    return true;
                }
                if (d == 0xFD || d == 0xFE) charset_ = csEucJp;
                code = EucToSjis(static_cast<CharCode>(c << 8 | d));
                return true;
            } else if (c >= 0x80) {
                code = c;
                if (!Get(d)) return true;
                if (d < 0xA1) {
                    charset_ = csShiftJis;
                    Unget(d);
                    return true;
                }
                if (d == 0xFD || d == 0xFE) charset_ = csEucJp;
                code = EucToSjis(static_cast<CharCode>(c << 8 | d));
                return true;
            } else {
                code = c;
                return true;
            }
            Unget(c);  // read it again under the code set it settled
        }
    }

    std::string_view in_;
    std::size_t pos_ = 0;
    std::vector<unsigned char> back_;
    HtmlCharset charset_;
    bool twoByte_ = false;
};

HtmlCharset ModelDetect(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return csUtf8;
    ModelReader reader(bytes, csUnknown);
    while (!reader.AtEnd()) {
        const std::string token = reader.Token();
        if (token.empty()) break;
        if (token[0] == '<') {
            const std::string low = LowerAscii(token);
            const std::size_t at = FindText(low, "charset");
            if (ContainsText(low, "<meta") && at != std::string::npos) {
                const std::string_view value = std::string_view(low).substr(at + 7);
                if (ContainsText(value, "shift_jis") || ContainsText(value, "x-sjis")) {
                    reader.Declare(csShiftJis);
                } else if (ContainsText(value, "euc-jp")) {
                    reader.Declare(csEucJp);
                } else if (ContainsText(value, "iso-2022-jp")) {
                    reader.Declare(csJis);
                } else if (ContainsText(value, "utf-8") || ContainsText(value, "utf8")) {
                    reader.Declare(csUtf8);
                }
            }
        }
        if (reader.Charset() != csUnknown) break;
    }
    return reader.Charset() == csUnknown ? csEucJp : reader.Charset();
}

Lines SplitFile(std::string_view file) {
    Lines lines;
    std::string line;
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (file[i] == '\r' || file[i] == '\n') {
            if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n') ++i;
            lines.push_back(line);
            line.clear();
        } else {
            line += file[i];
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

bool AnyOf(const std::string& s, std::initializer_list<const char*> words) {
    for (const char* word : words)
        if (s == word) return true;
    return false;
}

Lines ModelPageText(const TokenList& tokens) {
    std::string file, pending;
    bool inBody = false;
    unsigned long long number = 0;
    int quotes = 0;
    for (const std::string& raw : tokens) {
        const std::string token(Trim(raw));
        if (token.empty()) continue;
        const std::string low = LowerAscii(token);
        if (low == "</body>") {
            inBody = false;
            continue;
        }
        if (ContainsText(low, "<body")) inBody = true;
        if (!inBody) continue;
        if (AnyOf(low, {"<br>", "</p>", "</th>", "</tr>", "</ul>", "</ol>"})) {
            file += pending + "\r\n";
            pending.clear();
            if (low == "</ol>") number = 0;
        } else if (ContainsText(low, "<li")) {
            if (!pending.empty()) file += pending + "\r\n";
            pending = number                        ? std::to_string(number++)
                      : ContainsText(low, "circle") ? "\x81\x9B"
                      : ContainsText(low, "square") ? "\x81\xA1"
                                                    : "\x81\x45";
        } else if (ContainsText(low, "<ol")) {
            number = 1;
        } else if (low == "<blockquote>") {
            ++quotes;
        } else if (low == "</blockquote>") {
            if (quotes > 0) --quotes;
        } else if (token[0] != '<') {
            if (pending.empty()) file.append(static_cast<std::size_t>(quotes), '\t');
            pending += token;
        }
    }
    if (!pending.empty()) file += pending + "\r\n";
    return SplitFile(file);
}

Lines ModelSource(const TokenList& tokens) {
    std::string file;
    std::size_t count = 0;
    for (const std::string& raw : tokens) {
        std::string token(Trim(raw));
        count += token.size();
        const std::string low = LowerAscii(token);
        const auto starts = [&low](std::string_view prefix) { return low.rfind(prefix, 0) == 0; };
        if (AnyOf(low, {"<html>", "</html>", "<head>", "</head>", "</body>", "<br>",     "<hr>",
                        "<tr>",   "</tr>",   "</th>",  "</td>",   "</p>",    "</title>", "</div>",
                        "</h1>",  "</h2>",   "</h3>",  "</h4>",   "</h5>",   "</h6>",    "</table>"}) ||
            starts("<body") || starts("<meta") || starts("<table") || (starts("</") && count >= 60) || count >= 90) {
            token += '\n';
            count = 0;
        }
        if (starts("<table") || low == "<li>") token = '\n' + token;
        for (const char c : token) {
            if (c == '\t') {
                file += "    ";
            } else if (c == '\n') {
                file += "\r\n";
            } else if (c != '\r') {
                file += c;
            }
        }
    }
    return SplitFile(file);
}

void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "hlvHtml differs from the model: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    hlvHtml html;
    TokenList tokens;
    html.LoadTokensFromBytes(bytes, tokens);
    const HtmlCharset charset = html.DetectCharset();
    Check(charset == ModelDetect(bytes), "code set");

    TokenList expected;
    std::size_t replaced = 0;
    const std::string sjis = charset == csUtf8 ? Utf8ToSjis(StripUtf8Bom(bytes), false, &replaced) : std::string();
    ModelReader reader(charset == csUtf8 ? std::string_view(sjis) : bytes, charset == csUtf8 ? csShiftJis : charset);
    while (!reader.AtEnd()) expected.push_back(reader.Token());
    Check(tokens == expected, "tokens");
    Check(html.ReplacedChars() == replaced, "replaced characters");

    const Lines text = hlvHtml::PageText(tokens);
    const Lines source = hlvHtml::SourceLines(tokens);
    Check(text == ModelPageText(tokens), "page text");
    Check(source == ModelSource(tokens), "source");
    Check(HtmlPageText(bytes) == text, "page text straight from the bytes");

    const HtmlPageLines page = ReadHtmlPage(bytes);
    Check(page.charset == charset && page.replaced == replaced, "code set or replacements straight from the bytes");
    Check(page.text == text, "page text of both at once");
    Check(page.source == source, "source straight from the bytes");
    const HtmlPageLines noSjisSource = ReadHtmlPage(bytes, HtmlSourceFor::NotShiftJis);
    Check(noSjisSource.charset == charset && noSjisSource.text == text, "page text without a Shift_JIS source");
    Check(noSjisSource.source == (charset == csShiftJis ? Lines{} : source), "source unless Shift_JIS");
    return 0;
}
