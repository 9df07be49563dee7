#include "web/Html.h"

#include <bit>
#include <functional>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/Files.h"
#include "text/Codec.h"
#include "text/Sjis.h"
#include "web/HtmlTokens.h"
#include "web/HtmlWriters.h"

namespace zvek {
namespace {

constexpr std::string_view kUtf8Bom{"\xEF\xBB\xBF", 3};

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// Feeds the tokens of a UTF-8 page, in Shift_JIS, to `sink`. Converted as a
// whole, the page tokenizes as Shift_JIS: no trail byte of Shift_JIS is ever
// "<", ">", "-", "!" or a line end.
template <class Sink>
void LoadUtf8Page(std::string_view page, std::size_t& replaced, Sink& sink) {
    std::string sjis = Utf8ToSjis(StripUtf8Bom(page), false, &replaced);
    ForEachToken(sjis, csShiftJis, sjis.data(), sink);
}

// Feeds the tokens of `page`, read as `charset` (as DetectCharsetOf gives
// it), in Shift_JIS, to `sink`. The page stays as it is.
template <class Sink>
void LoadPageAs(std::string_view page, HtmlCharset charset, std::size_t& replaced, Sink& sink) {
    replaced = 0;
    if (charset == csUtf8) {
        LoadUtf8Page(page, replaced, sink);
    } else {
        // Tokens are decoded elsewhere; of that room, only as much as the
        // longest token is ever touched.
        const std::unique_ptr<char[]> out(new char[page.size() + 1]);
        ForEachToken(page, charset, out.get(), sink);
    }
}

// Finds the code set of `page`, then feeds its tokens, in Shift_JIS, to `sink`.
template <class Sink>
HtmlCharset LoadPage(std::string_view page, std::size_t& replaced, Sink& sink) {
    const HtmlCharset charset = hlvHtml::DetectCharsetOf(page);
    LoadPageAs(page, charset, replaced, sink);
    return charset;
}

std::size_t CountByte(std::string_view s, char c) {
    std::size_t count = 0, i = 0;
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(c);
    for (; s.size() - i >= 16; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
        count += static_cast<std::size_t>(
            std::popcount(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, wanted)))));
    }
#endif
    for (; i < s.size(); ++i) count += s[i] == c;
    return count;
}

// Replaces `tokens` with the tokens of `page`.
HtmlCharset LoadTokenList(std::string_view page, TokenList& tokens, std::size_t& replaced) {
    tokens.clear();
    // Every token but the text between two tags starts with a "<": twice
    // their count is room enough, and the list never moves while it grows.
    tokens.reserve(2 * CountByte(page, '<') + 2);
    auto append = [&tokens](std::string_view token) { tokens.emplace_back(token); };
    return LoadPage(page, replaced, append);
}

// The whole file at `path`; false when there is no such file.
bool ReadPage(const std::string& path, std::string& page) {
    if (!FileExists(path)) return false;
    page = ReadFileBytes(path);
    return true;
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
    WriteFileAtomic(path, JoinLines(lines));
}

}  // namespace

HtmlCharset hlvHtml::DetectCharsetOf(std::string_view bytes) {
    if (StartsWith(bytes, kUtf8Bom)) return csUtf8;
    // Detecting must leave the page as it is, so the tokens go elsewhere;
    // only as much of that room as the tokens read is ever touched.
    const std::unique_ptr<char[]> scratch(new char[bytes.size() + 1]);
    TokenReader reader(bytes, csUnknown, scratch.get());
    Markup markup;
    while (!reader.AtEnd()) {
        const std::string_view token = reader.Read<csUnknown>();
        // An empty token still may have settled the code set: a page that
        // ends in an ISO-2022-JP escape.
        if (token.empty()) break;
        // A declaration outweighs what the bytes of its own tag suggested.
        const HtmlCharset declared = DeclaredCharset(token, markup);
        if (declared != csUnknown) return declared;
        if (reader.Charset() != csUnknown) break;
    }
    // Plain ASCII reads the same in EUC-JP.
    return reader.Charset() != csUnknown ? reader.Charset() : csEucJp;
}

void hlvHtml::LoadTokensFromBytes(std::string_view bytes, TokenList& tokens) {
    charset_ = LoadTokenList(bytes, tokens, replaced_);
}

void hlvHtml::LoadTokens(const std::string& path, TokenList& tokens) {
    std::string page;
    if (ReadPage(path, page)) {
        charset_ = LoadTokenList(page, tokens, replaced_);
    } else {
        tokens.clear();
        replaced_ = 0;
        charset_ = csEucJp;
    }
}

HtmlCharset hlvHtml::DetectCharset() {
    // Every load settles the code set; before the first there is no page,
    // and a missing page reads as EUC-JP.
    if (charset_ == csUnknown) charset_ = csEucJp;
    return charset_;
}

std::vector<std::string> hlvHtml::PageText(const TokenList& tokens) {
    PageTextWriter writer;
    for (const std::string& token : tokens) writer(token);
    return writer.FinishList();
}

std::vector<std::string> hlvHtml::SourceLines(const TokenList& tokens) {
    SourceWriter writer;
    for (const std::string& token : tokens) writer(token);
    return writer.Finish();
}

void hlvHtml::WriteText(const std::string& path, const TokenList& tokens) const { WriteLines(path, PageText(tokens)); }

void hlvHtml::WriteSource(const std::string& path, const TokenList& tokens) const {
    WriteLines(path, SourceLines(tokens));
}

std::vector<std::string> HtmlPageText(std::string_view bytes, std::size_t* replaced) {
    std::size_t count = 0;
    PageTextWriter writer;
    LoadPage(bytes, count, writer);
    if (replaced) *replaced = count;
    return writer.FinishList();
}

void ForEachPageTextLine(std::string_view bytes, const std::function<void(std::string_view)>& line,
                         std::size_t* replaced) {
    std::size_t count = 0;
    PageTextWriter<const std::function<void(std::string_view)>&> writer(line);
    LoadPage(bytes, count, writer);
    writer.Finish();
    if (replaced) *replaced = count;
}

HtmlPageLines ReadHtmlPage(std::string_view bytes, HtmlSourceFor sourceFor) {
    HtmlPageLines result;
    result.charset = hlvHtml::DetectCharsetOf(bytes);
    PageLinesWriter writer(sourceFor == HtmlSourceFor::AnyPage || result.charset != csShiftJis);
    LoadPageAs(bytes, result.charset, result.replaced, writer);
    writer.Finish(result);
    return result;
}

std::vector<std::string> LoadHtmlFile(const std::string& path, std::size_t* replaced) {
    // The page text straight from the reader: the editor needs no token list.
    std::string page;
    std::size_t count = 0;
    PageTextWriter writer;
    if (ReadPage(path, page)) LoadPage(page, count, writer);
    if (replaced) *replaced = count;
    return writer.FinishList();
}

}  // namespace zvek
