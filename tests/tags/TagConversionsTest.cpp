// Player lyrics -> tag file -> player lyrics against real references: text
// files, saved pages in every code set, and pages served over HTTP by a
// server on 127.0.0.1; and the commands that pick the reference.
#include <gtest/gtest.h>

#include <filesystem>

#include "LoopbackServer.h"
#include "TestSupport.h"
#include "lyrics/LyricsDocument.h"
#include "lyrics/OpenBrowserPage.h"
#include "platform/Files.h"
#include "platform/TempFiles.h"
#include "tags/AutoConvert.h"
#include "tags/TagConversions.h"
#include "web/Code.h"
#include "web/Inet.h"

namespace zvek {
namespace {

using test::CrLf;
using test::Sjis;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

Lines Lyrics(const Lines& text) {
    Lines lines = {"[Spec]", "Title=Test", "Artist=", "", "[Text]"};
    lines.insert(lines.end(), text.begin(), text.end());
    return lines;
}

// Words of every kind: blanks to keep, a list, a directive (copied as it
// stands), an empty line, a comment and a line without time.
const Lines kWords = {
    Sjis("00:01:000=朝の窓をあけて"),
    Sjis("00:05:500=\"　ひかりが部屋に、こぼれる\""),
    "00:09:000=",
    "00:10:000=Walking down the morning street!",
    Sjis("00:12:000=\"a <b> c\",\"ことばにならない想い\""),
    Sjis("01:02:003=ポケットにしまって歩こう（2回）"),
    "00:20:000=#fade <b>",
    "",
    ";comment line",
    Sjis("まだ時のない行"),
};
const char* const kPageLines[] = {"header text",
                                  "朝の窓をあけて",
                                  "ひかりが部屋に、こぼれる",
                                  "Walking down the morning street",
                                  "a <b> c ことばにならない想い",
                                  "ポケットにしまって歩こう",
                                  "まだ時のない行"};

// A lyrics page of those lines as a site would serve it, "<b>" as
// "&lt;b&gt;", in a code set as iconv writes it (CP932, EUC-JP,
// ISO-2022-JP, UTF-8).
std::string Page(const std::string& codeSet) {
    return test::ReadBytes(ZVEKLC_TEST_DATA "/tags/page." + codeSet + ".html");
}

class TagConversionsTest : public ::testing::Test {
protected:
    // A page that does not come fails within the test's patience.
    TagConversionsTest() {
        SetInetLimits({.connectTimeout = 2000ms, .stallTimeout = 300ms, .trustedCertificates = {}});
    }
    ~TagConversionsTest() override { SetInetLimits(InetLimits{}); }

    std::string Serve(const std::string& path, int status, const std::string& page) {
        server.Serve(path, status, page);
        return server.Url(path);
    }

    test::TempDir dir, runtime;
    test::ScopedEnv xdg{"XDG_RUNTIME_DIR", runtime.path().string()};
    test::ScopedEnv noProxy{"http_proxy", std::nullopt};
    test::LoopbackServer server;
    test::ScopedEnv utaNet{"ZVEKLC_UTANET_HOST", server.HostPort()};
    test::FakeHost host;
    LyricsDocument doc{host};
};

TEST_F(TagConversionsTest, RoundTripsThroughEveryKindOfReference) {
    // "<b>" only where the page text holds it: HTML keeps it as "&lt;b&gt;".
    Lines htmlWords = kWords;
    htmlWords[4] = Sjis("00:12:000=\"a c\",\"ことばにならない想い\"");
    // The page text holds every piece of the words.
    std::string text;
    for (const char* line : kPageLines) text += Sjis(line) + "\r\n";
    // Pages as a browser saves them, one per code set: {the line it puts
    // first, the URL= line that gives}. Only the address's own scheme in the
    // lower case the browser writes counts; a page saved from a local file
    // names no address, whatever follows its scheme.
    // A downloaded page is named by the address it came from all the same.
    constexpr std::pair<const char*, const char*> savedFrom[] = {
        {"<!-- saved from url=(0033)http://example.com/song.htm?id=7 -->\n", "URL=http://example.com/song.htm?id=7"},
        {"<!-- saved from url=(0026)https://example.org/a.htm -->\n", "URL=https://example.org/a.htm"},
        {"<!-- saved from url=(0026)HTTP://example.org/a.htm -->\n", ""},
        {"<!-- saved from url=(0037)file:///C:/x/song.htm#http://x.test/ -->\n", ""},
    };
    static_assert(std::size(savedFrom) == std::size(test::kPageCodeSets));
    // {where the reference is, the name the tag file gives it, its URL= line, the words}
    std::vector<std::tuple<std::string, std::string, std::string, const Lines*>> references = {
        {dir.Write("ref.txt", text), "ref.txt", "", &kWords}};
    for (std::size_t i = 0; i < std::size(savedFrom); ++i) {
        const std::string iconvName = test::kPageCodeSets[i].iconvName;
        const std::string page = savedFrom[i].first + Page(iconvName);
        const std::string name = iconvName + ".HTML";
        server.Serve("/" + name, 200, page);
        references.push_back({dir.Write(name, page), name, savedFrom[i].second, &htmlWords});
        references.push_back({server.Url("/" + name), "Reference.htm", "URL=" + server.Url("/" + name), &htmlWords});
    }
    for (const auto& [path, name, url, words] : references) {
        SCOPED_TRACE(path);
        doc.SetLines(Lyrics(*words));
        doc.SetFileName(dir / "song.lyr");
        ASSERT_TRUE(MakeTagFile(doc, path));
        EXPECT_EQ(doc.GetLine(3), "Reference=" + name);
        EXPECT_EQ(doc.GetLine(4), url);
        // No words of the lyrics are left in the tag file; the directive stays as it is.
        for (const char* word : {"Walking", "street", "ポケット", "想い", "ひかり"})
            EXPECT_EQ(doc.Text().find(Sjis(word)), std::string::npos) << word;
        EXPECT_NE(doc.Text().find("00:20:000=#fade <b>"), std::string::npos);
        // Downloads go to a private folder, emptied after every conversion.
        EXPECT_TRUE(std::filesystem::is_empty(PrivateTempDir()));

        ASSERT_TRUE(RestoreFromTagFile(doc, path));
        EXPECT_EQ(std::tuple(doc.ResultCode, doc.FileName()), std::tuple(kResultOk, "song.lyr"));
        EXPECT_EQ(doc.Lines(), Lyrics(*words));
        EXPECT_TRUE(std::filesystem::is_empty(PrivateTempDir()));
    }
    // Nothing was written beside the references.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 5);
}

// An error answer is no page, even one that holds the lyrics: each command
// that fetches fails as when nothing came, and no word goes out in plain text.
TEST_F(TagConversionsTest, ReferencesThatCannotBeReadLeaveTheDocumentAlone) {
    const std::string page = Page("CP932");
    doc.SetLines(Lyrics(kWords));
    ASSERT_TRUE(MakeTagFile(doc, Serve("/song.htm", 200, page)));
    const Lines tag = doc.Lines();
    // {reference, result, the reason that follows the message that the page did not come}
    const std::tuple<std::string, int, std::string> cases[] = {
        {dir / "nothere.htm", kResultFileNotFound, ""},
        {Serve("/gone.htm", 404, page), kResultPageNotFetched, "\r\nHTTP 404 Not Found"},
    };
    test::UserHome home(dir.path());
    for (const auto& [reference, code, reason] : cases) {
        SCOPED_TRACE(reference);
        host.messages.clear();
        doc.SetLines(Lyrics(kWords));
        EXPECT_FALSE(MakeTagFile(doc, reference));
        EXPECT_EQ(std::tuple(doc.ResultCode, doc.Lines()), std::tuple(code, Lyrics(kWords)));
        doc.SetLines(tag);
        EXPECT_FALSE(RestoreFromTagFile(doc, reference));
        EXPECT_EQ(std::tuple(doc.ResultCode, doc.Lines()), std::tuple(code, tag));
        ASSERT_EQ(host.messages.size(), 2u);
        const bool fetched = code == kResultPageNotFetched;
        const std::string said = fetched ? "ページを取得できませんでした" + reason : "ファイルが見つかりません";
        EXPECT_EQ(host.messages[0].text, reference + "：" + said);
        EXPECT_EQ(host.messages[1].text, reference + (fetched ? "\r\n" : "：") + said);
        EXPECT_TRUE(std::filesystem::is_empty(PrivateTempDir()));
        EXPECT_EQ(host.ScreenCursor(), crDefault);
        if (!fetched) continue;
        // The page the browser shows fails alike.
        test::ShowInBrowser(dir.path(), reference);
        LyricsDocument shown(host);
        MenuOpenIEClick(shown);
        EXPECT_EQ(std::tuple(shown.ResultCode, shown.LineCount(), host.messages.size()),
                  std::tuple(kResultPageNotFetched, 0, 3u));
    }
    // Local references are capped like downloads.
    for (const char* name : {"big.txt", "big.htm"}) {
        std::filesystem::resize_file(dir.Write(name, ""), (16u << 20) + 1);  // sparse: no time spent writing
        EXPECT_THROW(MakeTagFile(doc, dir / name), FileError);
        EXPECT_THROW(RestoreFromTagFile(doc, dir / name), FileError);
        EXPECT_EQ(doc.Lines(), tag) << name;
    }
}

TEST_F(TagConversionsTest, UtaNetPagesTryTheirMembersAddress) {
    // The "/phplib/" address sends nothing; the "/members/phplib/" one the page.
    server.Stall("/phplib/song.htm");
    Serve("/members/phplib/song.htm", 200, Page("CP932"));
    doc.SetLines(Lyrics(kWords));
    ASSERT_TRUE(MakeTagFile(doc, "http://" + server.HostPort() + "/phplib/song.htm"));
    EXPECT_EQ(doc.GetLine(4), "URL=http://" + server.HostPort() + "/members/phplib/song.htm");
    // The reader asks first which address answers 200.
    server.Serve("/phplib/song.htm", 404, "gone");
    ASSERT_TRUE(RestoreFromTagFile(doc, "http://" + server.HostPort() + "/phplib/song.htm"));
    EXPECT_EQ(doc.Lines(), Lyrics(kWords));
}

TEST_F(TagConversionsTest, HeaderHandling) {
    const std::string ref = dir.Write("ref.txt", "abc");
    // LyrFile names only a player lyrics file: folders go, absolute and Windows ones too;
    // ".." and an empty name give the tag file's own name. (The command-line
    // test tries "-", hidden names, other kinds and "/" folders.)
    const std::string own = dir / "t.lyr";
    const std::pair<std::string, std::string> names[] = {
        {"..\\..\\evil.lyr", "evil.lyr"}, {"/etc/cron.d/x.lyr", "x.lyr"}, {"..", own}, {"", own},
        {"a.LYRICS", "a.LYRICS"},         {Sjis("歌.lyr"), "歌.lyr"}};
    for (const auto& [value, expected] : names) {
        doc.SetLines({"[TAGLYR]", "TagVer=9", "LyrFile=" + value, "", "[Spec]", "[Text]", "a"});
        doc.SetFileName(dir / "t.TagLyr");
        ASSERT_TRUE(RestoreFromTagFile(doc, ref));
        EXPECT_EQ(doc.FileName(), expected) << value;
        EXPECT_EQ(doc.Lines(), (Lines{"[Spec]", "[Text]", "a"}));
    }
    // A header without a [Spec] line below it: everything goes.
    doc.SetLines({"[TagLyr]", "LyrFile=a.lyr", "x"});
    ASSERT_TRUE(RestoreFromTagFile(doc, ref));
    EXPECT_EQ(doc.LineCount(), 0);
    // Not a tag file: all lines stay, groups are still read.
    doc.SetLines({"[Spec]", "[Text]", "<abc>"});
    ASSERT_TRUE(RestoreFromTagFile(doc, ref));
    EXPECT_EQ(doc.Lines(), (Lines{"[Spec]", "[Text]", "abc"}));
}

// Only an http or https "URL=" value is taken from the document itself: a
// shared tag file could otherwise name any local file as its reference.
TEST_F(TagConversionsTest, AutoConversionDecidesAndTakesOnlyWebAddresses) {
    using enum AutoAction;
    const std::tuple<Lines, AutoAction, std::string> cases[] = {
        {{"[Spec]", "url=HTTPS://x/"}, FromUrl, "HTTPS://x/"},
        {{"[TagLyr]", "URL=ftp://x/"}, TagToZVEK, ""},
        {{"[TagLyr]", Sjis("URL=http://x/歌")}, FromUrl, "http://x/歌"},
        {{"[TagLyr]", "URL=http:/x"}, TagToZVEK, ""},
        {{"[TagLyr]", "URL=/root/.ssh/id_rsa"}, TagToZVEK, ""},
        {{"[Spec]", "URL=file:///etc/passwd"}, ZVEKToTag, ""},
        {{"[TagLyr]", "URL=/home/http://x"}, TagToZVEK, ""},  // holds "http:", but is a path
        {{"[Spec]", "x [TagLyr] y"}, TagToZVEK, ""},
        {{"[Spec]"}, ZVEKToTag, ""},
        {{"[spec]", "[00:01]x"}, WinAmp, ""},
        {{"[[[Music Info]]]"}, WinAmp, ""},
        {{"[01:00]x"}, Text, ""},
        {{"[taglyr]"}, Text, ""},
        {{}, Text, ""},
    };
    for (const auto& [lines, action, url] : cases) {
        doc.SetLines(lines);
        EXPECT_EQ(DecideAutoConversion(doc), action) << testing::PrintToString(lines);
        EXPECT_EQ(DocumentReferenceUrl(doc), url) << testing::PrintToString(lines);
    }
    // A tag file naming a local file: the URL command reads nothing and
    // opens nothing; Convert Auto asks for the reference instead, as for
    // player lyrics.
    const Lines tagFile = {"[TagLyr]",        "URL=" + dir.Write("secret.txt", "private key"), "", "[Spec]", "[Text]",
                           "00:01:000=<1,11>"};
    doc.SetLines(tagFile);
    MenuConvertFromURLClick(doc);
    EXPECT_TRUE(host.browsed.empty());
    MenuConvertAutoClick(doc);
    EXPECT_EQ(doc.Lines(), tagFile);
    doc.SetLines({"[Spec]"});
    MenuConvertAutoClick(doc);
    EXPECT_EQ(doc.Lines(), Lines{"[Spec]"});
    EXPECT_EQ(host.dialogs.size(), 2u);
}

}  // namespace
}  // namespace zvek
