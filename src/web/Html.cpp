#include "web/Html.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "lyrics/Sjis.h"
#include "platform/Codec.h"
#include "web/Code.h"

namespace zvek {
namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr std::string_view kUtf8Bom{"\xEF\xBB\xBF", 3};

// Cuts a page into tokens. The reader looks ahead up to three bytes and puts
// back what it does not use; with the whole page in memory, putting back is
// just moving the position back.
class TokenReader {
public:
    TokenReader(std::string_view page, HtmlCharset charset)
        : data_(reinterpret_cast<const unsigned char*>(page.data())), size_(page.size()), charset_(charset) {}

    bool AtEnd() const { return pos_ >= size_; }
    // The code set in force; while detecting, the byte patterns may settle it.
    HtmlCharset Charset() const { return charset_; }

    // Replaces `token` with the next token. It comes back empty only at the
    // end of the page.
    void Read(std::string& token);

private:
    // The next character as a Shift_JIS code, or false at the end of the page.
    // `charStart_` is left at its first byte, so it can be put back.
    bool NextChar(CharCode& code);
    // After an ESC: switches the two-byte mode and returns false, or, for a
    // sequence cut off by the end of the page, returns its bytes as `code`.
    bool Escape(CharCode& code);
    bool Follows(std::string_view s) const {
        return size_ - pos_ >= s.size() && std::memcmp(data_ + pos_, s.data(), s.size()) == 0;
    }
    CharCode Pair(unsigned c) { return static_cast<CharCode>((c << 8) | data_[pos_++]); }

    const unsigned char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::size_t charStart_ = 0;
    HtmlCharset charset_;
    bool twoByte_ = false;  // ISO-2022-JP: inside a JIS X 0208 run
};

bool TokenReader::Escape(CharCode& code) {
    if (pos_ >= size_) {
        code = kEsc;
        return true;
    }
    const unsigned char intro = data_[pos_++];
    if (intro != '$' && intro != '&' && intro != '(') return false;  // consumed, no effect
    if (pos_ >= size_) {
        code = static_cast<CharCode>((kEsc << 8) | intro);
        return true;
    }
    const unsigned char final = data_[pos_++];
    if (intro == '$' && (final == '@' || final == 'B' || final == 'D')) twoByte_ = true;
    if (intro == '&' && final == '@') twoByte_ = true;
    if (intro == '(' && (final == 'J' || final == 'B' || final == 'I')) twoByte_ = false;
    return false;
}

bool TokenReader::NextChar(CharCode& code) {
    for (;;) {
        charStart_ = pos_;
        if (pos_ >= size_) return false;
        const unsigned c = data_[pos_++];
        // A pair cut off by the end of the page keeps its first byte alone.
        const bool last = pos_ >= size_;
        switch (charset_) {
        case csShiftJis:
            code = IsLeadByte(static_cast<unsigned char>(c)) && !last ? Pair(c) : static_cast<CharCode>(c);
            return true;
        case csEucJp:
            code = c >= 0x80 && !last ? EucToSjis(Pair(c)) : static_cast<CharCode>(c);
            return true;
        case csJis:
            if (c == kEsc) {
                if (Escape(code)) return true;
                continue;
            }
            code = twoByte_ && !last ? JisToSjis(Pair(c)) : static_cast<CharCode>(c);
            return true;
        default:
            break;
        }

        // Code set not known yet: a byte that only one code set allows
        // settles it; anything else reads as EUC-JP for now.
        if ((c >= 0x81 && c <= 0x9F && c != 0x8E && c != 0x8F) || c == 0xFD || c == 0xFE || c == kEsc) {
            charset_ = c == kEsc ? csJis : (c >= 0xFD ? csEucJp : csShiftJis);
            pos_ = charStart_;
            continue;
        }
        code = static_cast<CharCode>(c);
        if (c < 0x80 || last) return true;
        const unsigned d = data_[pos_];
        if (c == 0x8E || c == 0x8F || (c >= 0xE0 && c <= 0xFC)) {
            ++pos_;
            if (d < 0xA1) {
                charset_ = csShiftJis;
                code = static_cast<CharCode>((c << 8) | d);
                return true;
            }
        } else {
            // 0x80, 0xA0-0xDF, 0xFF: a low second byte means a Shift_JIS
            // half-width katakana (or a stray byte) standing alone.
            if (d < 0xA1) {
                charset_ = csShiftJis;
                return true;
            }
            ++pos_;
        }
        if (d == 0xFD || d == 0xFE) charset_ = csEucJp;
        code = EucToSjis(static_cast<CharCode>((c << 8) | d));
        return true;
    }
}

void TokenReader::Read(std::string& token) {
    token.clear();
    twoByte_ = false;
    int tagDepth = 0;
    int commentDepth = 0;
    CharCode code;
    while (NextChar(code)) {
        if (code == '\r') {
            if (pos_ < size_ && data_[pos_] == '\n') ++pos_;
            code = ' ';
        } else if (code == '\n') {
            code = ' ';
        }

        if (commentDepth == 0) {
            if (code == '<') {
                if (!token.empty()) {
                    // A stray "<" ends text, or cuts a tag short; it starts the next token.
                    pos_ = charStart_;
                    return;
                }
                tagDepth = 1;
                if (Follows("!--")) {
                    pos_ += 3;
                    token += "<!--";
                    commentDepth = 1;
                    continue;
                }
            }
        } else if (code == '<' && Follows("!--")) {
            pos_ += 3;
            token += "<!--";
            ++commentDepth;
            continue;
        } else if (code == '-' && Follows("->")) {
            pos_ += 2;
            token += "-->";
            if (--commentDepth == 0 && --tagDepth == 0) return;
            continue;
        }

        AppendCharCode(token, code);
        // Outside a tag the depth just goes below 0: a ">" in text means nothing.
        if (commentDepth == 0 && code == '>' && --tagDepth == 0) return;
    }
}

// Lower-cases the single-byte letters of `s` into `out` (reused between tokens).
void LowerInto(std::string& out, std::string_view s) {
    out.assign(s);
    for (std::size_t i = 0; i < out.size();) {
        const std::size_t n = CharSize(out, i);
        if (n == 1 && out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] + ('a' - 'A'));
        i += n;
    }
}

// The code set a "<meta" tag declares, csUnknown for none. `low` is scratch.
HtmlCharset DeclaredCharset(std::string_view token, std::string& low) {
    if (token.empty() || token.front() != '<') return csUnknown;
    LowerInto(low, token);
    if (!ContainsText(low, "<meta")) return csUnknown;
    const std::size_t at = FindText(low, "charset");
    if (at == std::string::npos) return csUnknown;
    const std::string_view value = std::string_view(low).substr(at + 7);
    if (ContainsText(value, "shift_jis") || ContainsText(value, "x-sjis")) return csShiftJis;
    if (ContainsText(value, "euc-jp")) return csEucJp;
    if (ContainsText(value, "iso-2022-jp")) return csJis;
    // "utf8" is a label browsers accept for UTF-8 as well.
    if (ContainsText(value, "utf-8") || ContainsText(value, "utf8")) return csUtf8;
    return csUnknown;
}

void Tokenize(std::string_view page, HtmlCharset charset, TokenList& tokens) {
    // About two tokens per "<": the tag and the text after it.
    tokens.reserve(2 * static_cast<std::size_t>(std::count(page.begin(), page.end(), '<')) + 1);
    TokenReader reader(page, charset);
    std::string token;
    while (!reader.AtEnd()) {
        reader.Read(token);
        tokens.push_back(token);
    }
}

[[noreturn]] void ThrowFileError(const char* what, const std::string& path, int error) {
    throw std::filesystem::filesystem_error(what, path, std::error_code(error ? error : EIO, std::generic_category()));
}

// The whole file at `path`; false when there is no such file.
bool ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int error = errno;
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) return false;
        ThrowFileError("cannot open", path, error);
    }
    std::error_code ec;
    const std::uintmax_t hint = std::filesystem::file_size(path, ec);
    std::size_t want = ec ? 65536 : static_cast<std::size_t>(hint) + 1;
    std::size_t have = 0;
    for (;;) {
        bytes.resize(have + want);
        in.read(bytes.data() + have, static_cast<std::streamsize>(want));
        have += static_cast<std::size_t>(in.gcount());
        if (!in) break;
        want = std::max<std::size_t>(want, 65536);
    }
    bytes.resize(have);
    if (in.bad()) ThrowFileError("cannot read", path, errno);
    return true;
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
    std::size_t size = 0;
    for (const auto& line : lines) size += line.size() + 2;
    std::string bytes;
    bytes.reserve(size);
    for (const auto& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) ThrowFileError("cannot create", path, errno);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) ThrowFileError("cannot write", path, errno);
}

// Adds `text` as lines the way a reader splits a file: at CR LF, lone CR and
// lone LF. Only a page's stray bytes ever put a line break inside a line.
void AddSplitLines(std::vector<std::string>& lines, std::string_view text) {
    for (;;) {
        std::size_t brk = 0;
        while (brk < text.size() && text[brk] != '\r' && text[brk] != '\n') ++brk;
        lines.emplace_back(text.substr(0, brk));
        if (brk == text.size()) return;
        const std::size_t skip = text[brk] == '\r' && brk + 1 < text.size() && text[brk + 1] == '\n' ? 2 : 1;
        text.remove_prefix(brk + skip);
    }
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool IsAnyOf(std::string_view s, std::initializer_list<std::string_view> words) {
    return std::find(words.begin(), words.end(), s) != words.end();
}

}  // namespace

HtmlCharset hlvHtml::DetectCharsetOf(std::string_view bytes) {
    if (StartsWith(bytes, kUtf8Bom)) return csUtf8;
    TokenReader reader(bytes, csUnknown);
    std::string token, low;
    while (!reader.AtEnd()) {
        reader.Read(token);
        // An empty token still may have settled the code set: a page that
        // ends in an ISO-2022-JP escape.
        if (token.empty()) break;
        // A declaration outweighs what the bytes of its own tag suggested.
        const HtmlCharset declared = DeclaredCharset(token, low);
        if (declared != csUnknown) return declared;
        if (reader.Charset() != csUnknown) break;
    }
    // Plain ASCII reads the same in EUC-JP.
    return reader.Charset() != csUnknown ? reader.Charset() : csEucJp;
}

void hlvHtml::LoadTokensFromBytes(std::string_view bytes, TokenList& tokens) {
    tokens.clear();
    replaced_ = 0;
    charset_ = DetectCharsetOf(bytes);
    if (charset_ == csUtf8) {
        // Converted as a whole, the page tokenizes as Shift_JIS: no trail byte
        // of Shift_JIS is ever "<", ">", "-", "!" or a line end.
        const std::string sjis = Utf8ToSjis(StripUtf8Bom(bytes), false, &replaced_);
        Tokenize(sjis, csShiftJis, tokens);
    } else {
        Tokenize(bytes, charset_, tokens);
    }
}

void hlvHtml::LoadTokens(const std::string& path, TokenList& tokens) {
    fileName_ = path;
    std::string bytes;
    if (ReadWholeFile(path, bytes)) {
        LoadTokensFromBytes(bytes, tokens);
    } else {
        tokens.clear();
        replaced_ = 0;
        charset_ = csEucJp;
    }
}

HtmlCharset hlvHtml::DetectCharset() {
    if (charset_ == csUnknown) {
        std::string bytes;
        charset_ = ReadWholeFile(fileName_, bytes) ? DetectCharsetOf(bytes) : csEucJp;
    }
    return charset_;
}

std::vector<std::string> hlvHtml::PageText(const TokenList& tokens) {
    std::vector<std::string> lines;
    std::string pending, low;
    bool inBody = false;
    unsigned long long listNumber = 0;  // 0: not inside an ordered list
    std::size_t quoteDepth = 0;
    const auto endLine = [&] {
        AddSplitLines(lines, pending);
        pending.clear();
    };

    for (const std::string& raw : tokens) {
        const std::string_view token = Trim(raw);
        if (token.empty()) continue;
        // Every tag test needs a "<"; plain text skips the lower-casing.
        const bool markup = std::memchr(token.data(), '<', token.size()) != nullptr;
        if (markup) {
            LowerInto(low, token);
            if (low == "</body>") {
                inBody = false;
                continue;
            }
            if (ContainsText(low, "<body")) inBody = true;
        }
        if (!inBody) continue;

        if (markup) {
            if (IsAnyOf(low, {"<br>", "</p>", "</th>", "</tr>", "</ul>", "</ol>"})) {
                endLine();
                if (low == "</ol>") listNumber = 0;
                continue;
            }
            if (ContainsText(low, "<li")) {
                if (!pending.empty()) endLine();
                if (listNumber != 0) {
                    pending = std::to_string(listNumber++);
                } else if (ContainsText(low, "circle")) {
                    pending = "\x81\x9B";  // white circle
                } else if (ContainsText(low, "square")) {
                    pending = "\x81\xA1";  // black square
                } else {
                    pending = "\x81\x45";  // middle dot
                }
                continue;
            }
            if (ContainsText(low, "<ol")) {
                listNumber = 1;
                continue;
            }
            if (low == "<blockquote>") {
                ++quoteDepth;
                continue;
            }
            if (low == "</blockquote>") {
                if (quoteDepth > 0) --quoteDepth;
                continue;
            }
        }
        if (token.front() == '<') continue;  // any other tag, or a comment

        if (pending.empty()) pending.assign(quoteDepth, '\t');
        pending += token;
    }
    if (!pending.empty()) endLine();
    return lines;
}

std::vector<std::string> hlvHtml::SourceLines(const TokenList& tokens) {
    std::vector<std::string> lines;
    std::string line, low;
    std::size_t count = 0;  // bytes since the last line break
    const auto endLine = [&] {
        lines.push_back(line);
        line.clear();
    };

    for (const std::string& raw : tokens) {
        const std::string_view token = Trim(raw);
        count += token.size();
        bool breakAfter = false;
        bool breakBefore = false;
        if (!token.empty() && token.front() == '<') {
            LowerInto(low, token);
            breakAfter = IsAnyOf(low, {"<html>", "</html>", "<head>", "</head>", "</body>", "<br>", "<hr>",
                                       "<tr>", "</tr>", "</th>", "</td>", "</p>", "</title>", "</div>", "</h1>",
                                       "</h2>", "</h3>", "</h4>", "</h5>", "</h6>", "</table>"}) ||
                         StartsWith(low, "<body") || StartsWith(low, "<meta") || StartsWith(low, "<table") ||
                         (StartsWith(low, "</") && count >= 60);
            breakBefore = StartsWith(low, "<table") || low == "<li>";
        }
        // Long runs of text or attributes break too; the count includes the
        // token that crosses the limit.
        if (count >= 90) breakAfter = true;
        if (breakAfter) count = 0;

        if (breakBefore) endLine();
        std::size_t from = 0;
        for (std::size_t i = 0; i < token.size(); ++i) {
            const char c = token[i];
            if (c != '\t' && c != '\r' && c != '\n') continue;
            line.append(token, from, i - from);
            from = i + 1;
            if (c == '\t') line += "    ";
            if (c == '\n') endLine();
        }
        line.append(token, from);
        if (breakAfter) endLine();
    }
    if (!line.empty()) endLine();
    return lines;
}

void hlvHtml::WriteText(const std::string& path, const TokenList& tokens) const {
    WriteLines(path, PageText(tokens));
}

void hlvHtml::WriteSource(const std::string& path, const TokenList& tokens) const {
    WriteLines(path, SourceLines(tokens));
}

std::vector<std::string> LoadHtmlFile(const std::string& path, std::size_t* replaced) {
    hlvHtml html;
    TokenList tokens;
    html.LoadTokens(path, tokens);
    if (replaced) *replaced = html.ReplacedChars();
    return hlvHtml::PageText(tokens);
}

}  // namespace zvek
