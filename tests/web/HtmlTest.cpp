#include "web/Html.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "platform/Files.h"
#include "support/TestSupport.h"

namespace zvek {
namespace {

using namespace test;
using Lines = std::vector<std::string>;

std::string DataFile(std::string_view name) { return std::string(ZVEKLC_TEST_DATA) + "/html/" + std::string(name); }

TokenList TokensOf(std::string_view page) {
    hlvHtml html;
    TokenList tokens;
    html.LoadTokensFromBytes(page, tokens);
    return tokens;
}

// The same page in each code set, read from disk, gives the same page text
// and (apart from its charset declaration) the same source, through the
// token list and straight from the bytes alike.
TEST(HtmlPage, EveryCodeSetGivesTheExpectedFiles) {
    // {the page file, its charset, its source file}
    const std::tuple<const char*, HtmlCharset, const char*> cases[] = {
        {"page-sjis.html", csShiftJis, "source-sjis.txt"},
        {"page-euc.html", csEucJp, "source-euc.txt"},
        {"page-jis.html", csJis, "source-jis.txt"},
        {"page-utf8.html", csUtf8, "source-utf8.txt"}};
    TempDir dir;
    hlvHtml html;  // one converter for all pages, as the window keeps one
    TokenList tokens;
    for (const auto& [file, charset, source] : cases) {
        SCOPED_TRACE(file);
        html.LoadTokens(DataFile(file), tokens);
        EXPECT_EQ(html.DetectCharset(), charset);
        html.WriteText(dir / "text.txt", tokens);
        html.WriteSource(dir / "source.txt", tokens);
        EXPECT_EQ(ReadBytes(dir / "text.txt"), ReadBytes(DataFile("page-text.txt")));
        EXPECT_EQ(ReadBytes(dir / "source.txt"), ReadBytes(DataFile(source)));
        EXPECT_EQ(CrLf(LoadHtmlFile(DataFile(file))), ReadBytes(DataFile("page-text.txt")));
        // The tag reader's single pass, which takes a Shift_JIS page's bytes as its source.
        const HtmlPageLines page = ReadHtmlPage(ReadBytes(DataFile(file)), HtmlSourceFor::NotShiftJis);
        EXPECT_EQ(CrLf(page.text), ReadBytes(DataFile("page-text.txt")));
        EXPECT_EQ(CrLf(page.source), charset == csShiftJis ? "" : ReadBytes(DataFile(source)));
    }
}

// Reading a page straight from its bytes gives what the token list gives;
// the tag reader relies on it to keep no token list of a large page.
TEST(HtmlTokens, CutsThePageIntoTagsCommentsAndText) {
    using namespace std::string_literals;
    // {page, tokens}
    const std::tuple<std::string, TokenList> cases[] = {
        {"<a\r\nb>\r\nx\ry\nz\r\n", {"<a b>", " x y z "}},
        {"<!-- a <!-- b --> c > -->d", {"<!-- a <!-- b --> c > -->", "d"}},
        {"<a href<b>c", {"<a href", "<b>", "c"}},
        {"x<!-- open <b>\r\nrest", {"x", "<!-- open <b> rest"}},
        {"<a title=\"x>y\">", {"<a title=\"x>", "y\">"}},
        {"a\0b<p\0>"s, {"a\0b"s, "<p\0>"s}},
        // Shift_JIS: a trail byte that equals "<" is no markup; a lead byte
        // cut off by the end of the page stays.
        {"\x82\xA0\x82<b>", {"\x82\xA0\x82<b>"}},
        {"<b>\x82\xA0\x82", {"<b>", "\x82\xA0\x82"}},
        // EUC-JP: half-width katakana come back as single bytes.
        {"<meta charset=euc-jp>\xA4\xA2\x8E\xB1<b>\xA4", {"<meta charset=euc-jp>", "\x82\xA0\xB1", "<b>", "\xA4"}},
        // ISO-2022-JP: escapes vanish, cut-off escapes and pairs stay.
        {"\x1b$B\x24\x22\x1b(B<b>\x1b$B\x24", {"\x82\xA0", "<b>", "$"}},
        {"\x1b(Ba\x1bXb\x1b$Xc<i>\x1b", {"abc", "<i>", "\x1b"}},
        {"x\x1b$", {"x\x1b$"}},
        // A pair led by NUL is its second byte; a "<" made so is put back as "<".
        {"\x1b$B\x24\x22\0<x"s, {"\x82\xA0", "<x"}},
        {"<b>\x1b(B", {"<b>", ""}}};
    for (const auto& [page, tokens] : cases) {
        EXPECT_EQ(TokensOf(page), tokens) << testing::PrintToString(page);
        EXPECT_EQ(ReadHtmlPage(page).source, hlvHtml::SourceLines(tokens)) << testing::PrintToString(page);
    }
}

// Pages by the code set detected. EUC-JP: plain ASCII, bytes ambiguous all
// along, pairs only EUC-JP has, a declaration that beats its own bytes.
// ISO-2022-JP: an escape, also when it is all the last token holds. Shift_JIS:
// ambiguous bytes, then some only it has; its pairs and half-width katakana;
// its declarations in any spelling, also of code sets read as it; its bytes
// before another declaration. A UTF-8 declaration or byte-order mark wins.
TEST(HtmlCharsetDetection, FirstEvidenceInPageOrderWins) {
    const std::pair<HtmlCharset, std::vector<std::string>> pages[] = {
        {csEucJp,
         {"<p>plain ascii</p>", "\xA4\xA2\xA4\xA4", "\xA4\xFE", "\xFE\xA1",
          "<meta content=\"\x82\xA0\" charset=euc-jp>"}},
        {csJis,
         {"<p>\x1b$B\x24\x22\x1b(B</p>", "<p>x</p>\x1b(B", "<meta charset=iso-2022-jp>\x82\xA0",
          "<meta name=\"keywords\" content=\"shift_jis\">\x1b"}},
        {csShiftJis,
         {"\xA4\xA2\x82\xA0", "\xE0\x40", "\xB1x",
          "<META http-equiv=Content-Type content=\"text/html; CHARSET=Shift_JIS\">\xA4\xFE", "<meta charset=x-sjis>",
          "\x82\xA0<meta charset=euc-jp>", "<meta charset=windows-1252>\x82\xA0"}},
        {csUtf8,
         {"<meta charset=UTF-8>\x82\xA0", "<meta charset=utf8>\x82\xA0", "\xEF\xBB\xBF<meta charset=shift_jis>"}}};
    for (const auto& [charset, group] : pages)
        for (const std::string& page : group)
            EXPECT_EQ(hlvHtml::DetectCharsetOf(page), charset) << testing::PrintToString(page);
}

TEST(HtmlPageText, KeepsTheBodyTextWithListsAndQuotations) {
    // {page, lines, the characters with no Shift_JIS form}
    const std::tuple<std::string, Lines, std::size_t> cases[] = {
        {"<body><br><br>", {"", ""}, 0},
        {"<html><p>no body</p><br>", {}, 0},
        {"<title>T</title><body>a</body>after<BODY>b", {"ab"}, 0},
        {"<BODY>a<BR>b<br/>c<br clear=all>d<p>e</P>", {"a", "bcde"}, 0},
        {"<body><ul><li type=square>a<li class=\"Circle\">b<li>c</ul>", {Sjis("■a"), Sjis("○b"), Sjis("・c")}, 0},
        {"<body><ol><li>1<li>2<li>3<li>4<li>5<li>6<li>7<li>8<li>9<li>10",
         {"11", "22", "33", "44", "55", "66", "77", "88", "99", "1010"},
         0},
        {"<body>a<!-- <br> > -->b", {"ab"}, 0},
        {"<body>a\tb ", {"a\tb"}, 0},
        // A line break hidden in a pair still breaks the line as a reader sees it.
        {"<body>\x82\xA0\x82\ra\x82\nb", {"\x82\xA0\x82", "a\x82", "b"}, 0},
        // UTF-8 pages come in Shift_JIS; the count starts again with each page.
        {"<meta charset=utf-8><body>a\xF0\x9F\x8E\xB5"
         "b\xE3\x81\x82",
         {"a?b\x82\xA0"},
         1},
        {"\xEF\xBB\xBF<body>\xE3\x81\x82\xC3\xA9\xC3\xA9", {"\x82\xA0??"}, 2},
        {"<body>\x82\xA0", {"\x82\xA0"}, 0},
        // After a pair both code sets read, a lead byte below 0xA1 settles Shift_JIS.
        {"<body>\xA4\xA2\x9F\xA1\x9F\xFC", {"\xA4\xA2\x9F\xA1\x9F\xFC"}, 0},
        // EUC-JP: a pair whose second byte is no EUC-JP byte, after a run of good ones, is still a pair.
        {"<meta charset=euc-jp><body>\xA4\xA2\xA4\xA4\xA4\xA6\xA4\xA8\xA4\xAA\xA4\xAB\xA4\xAD\xA4"
         "A",
         {Sjis("あいうえおかき") + "\x82\xBF"},
         0}};
    hlvHtml html;  // one for all pages, as the window keeps one
    TokenList tokens;
    for (const auto& [page, lines, replaced] : cases) {
        SCOPED_TRACE(testing::PrintToString(page));
        html.LoadTokensFromBytes(page, tokens);
        EXPECT_EQ(std::tuple(hlvHtml::PageText(tokens), html.ReplacedChars()), std::tuple(lines, replaced));
        EXPECT_EQ(HtmlPageText(page), lines);
        const HtmlPageLines read = ReadHtmlPage(page);
        EXPECT_EQ(std::tie(read.text, read.replaced), std::tie(lines, replaced));
    }
}

TEST(HtmlSource, BreaksAfterListedTagsAndLongRuns) {
    const std::string x55(55, 'x'), x56(56, 'x'), x86(86, 'x');
    // {page, lines}
    const std::tuple<std::string, Lines> cases[] = {
        {x55 + "</b>y", {x55 + "</b>y"}},            // 59 bytes
        {x56 + "</b>y", {x56 + "</b>", "y"}},        // 60 bytes
        {x86 + "<i>y<u>z", {x86 + "<i>y", "<u>z"}},  // the count includes the token that reaches 90
        {"<p>\ta\tb\t</p>", {"<p>a    b</p>"}},
        {"<BR>x<hr>b</td>c<meta a><body x>", {"<BR>", "x<hr>", "b</td>", "c<meta a>", "<body x>"}},
        {"<!-- a\r\n > b -->", {"<!-- a  > b -->"}},
        // Shift_JIS: line ends and tabs as second bytes of pairs; only the line feed breaks.
        {"<p>\x82\ta\x82\ra\x82\nb\t</p>",
         {"<p>\x82    a\x82"
          "a\x82",
          "b</p>"}}};
    for (const auto& [page, lines] : cases) {
        EXPECT_EQ(hlvHtml::SourceLines(TokensOf(page)), lines) << page;
        EXPECT_EQ(ReadHtmlPage(page).source, lines) << page;
    }
}

// Opening a page writes nothing beside it; a missing page gives nothing,
// and errors of reading and writing reach the caller.
TEST(HtmlFiles, OpeningWritesNothingAndMissingFilesGiveNothing) {
    TempDir dir;
    const std::string utf8Page = "<meta charset=utf-8><body>\xE6\xAD\x8C<br>\xF0\x9F\x8E\xB5</body>";
    WriteBytes(dir / "SONG.HTML", utf8Page);
    WriteBytes(dir / "SONG.txtmp", "the user's own file");
    std::size_t replaced = 0;
    EXPECT_EQ(LoadHtmlFile(dir / "SONG.HTML", &replaced), (Lines{Sjis("歌"), "?"}));
    EXPECT_EQ(std::tuple(replaced, std::distance(std::filesystem::directory_iterator(dir.path()), {})),
              std::tuple(1u, 2));
    EXPECT_EQ(std::tuple(ReadBytes(dir / "SONG.txtmp"), ReadBytes(dir / "SONG.HTML")),
              std::tuple("the user's own file", utf8Page));

    std::filesystem::create_directory(dir / "folder.html");  // no page, like a missing one
    hlvHtml html;
    EXPECT_EQ(html.DetectCharset(), csEucJp);  // nothing loaded yet
    TokenList tokens;
    EXPECT_TRUE(LoadHtmlFile(dir / "none.html").empty());
    html.LoadTokensFromBytes("\x82\xA0", tokens);
    ASSERT_EQ(html.DetectCharset(), csShiftJis);
    html.LoadTokens(dir / "folder.html", tokens);
    EXPECT_TRUE(tokens.empty() && html.DetectCharset() == csEucJp);
    // A file whose reading fails (this one gives EIO from its first byte).
    if (FileExists("/proc/self/mem")) {
        EXPECT_THROW(html.LoadTokens("/proc/self/mem", tokens), FileError);
    }
    EXPECT_THROW(html.WriteText(dir / "no/such/folder.txt", {"<body>a"}), FileError);
}

}  // namespace
}  // namespace zvek
