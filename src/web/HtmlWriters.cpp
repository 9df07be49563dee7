// The text writers: the page text and the source line by line, and the
// tag tests they rest on.
#include "web/HtmlWriters.h"

namespace zvek {

void LowerInto(std::string& out, std::string_view s) {
    out.assign(s);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char c = out[i];
        if (IsLeadByte(static_cast<unsigned char>(c))) {
            ++i;  // the trail byte is never a letter of its own
        } else if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c + ('a' - 'A'));
        }
    }
}

HtmlCharset DeclaredCharset(std::string_view token, Markup& markup) {
    if (token.empty() || token.front() != '<') return csUnknown;
    markup.Set(token);
    if (!markup.Contains("<meta")) return csUnknown;
    const std::string_view low = markup.Low();
    const std::size_t at = FindText(low, "charset");
    if (at == std::string::npos) return csUnknown;
    const std::string_view value = low.substr(at + 7);
    if (ContainsText(value, "shift_jis") || ContainsText(value, "x-sjis")) return csShiftJis;
    if (ContainsText(value, "euc-jp")) return csEucJp;
    if (ContainsText(value, "iso-2022-jp")) return csJis;
    // "utf8" is a label browsers accept for UTF-8 as well.
    if (ContainsText(value, "utf-8") || ContainsText(value, "utf8")) return csUtf8;
    return csUnknown;
}

void SourceWriter::operator()(std::string_view raw) {
    const std::string_view token = Trim(raw);
    count_ += token.size();
    bool breakAfter = false;
    bool breakBefore = false;
    if (!token.empty() && token.front() == '<') {
        markup_.Set(token);
        static constexpr Word kLineEnds[] = {"<html>",   "</html>", "<head>",  "</head>", "</body>", "<br>",
                                             "<hr>",     "<tr>",    "</tr>",   "</th>",   "</td>",   "</p>",
                                             "</title>", "</div>",  "</h1>",   "</h2>",   "</h3>",   "</h4>",
                                             "</h5>",    "</h6>",   "</table>"};
        breakAfter = markup_.IsAnyOf(kLineEnds) || markup_.StartsWith("<body") || markup_.StartsWith("<meta") ||
                     markup_.StartsWith("<table") || (markup_.StartsWith("</") && count_ >= 60);
        breakBefore = markup_.StartsWith("<table") || markup_.Is("<li>");
    }
    // Long runs of text or attributes break too; the count includes the
    // token that crosses the limit.
    if (count_ >= 90) breakAfter = true;
    if (breakAfter) count_ = 0;

    if (breakBefore) EndLine();
    std::size_t from = 0;
    for (std::size_t i = 0; i < token.size(); ++i) {
        const char c = token[i];
        if (c != '\t' && c != '\r' && c != '\n') continue;
        line_.append(token, from, i - from);
        from = i + 1;
        if (c == '\t') line_ += "    ";
        if (c == '\n') EndLine();
    }
    line_.append(token, from);
    if (breakAfter) EndLine();
}

}  // namespace zvek
