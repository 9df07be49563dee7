// Tag conversions with pages served over HTTP by a server on 127.0.0.1.
#include <gtest/gtest.h>
#include <lz4.h>

#include <filesystem>

#include "LoopbackServer.h"
#include "TestSupport.h"
#include "lyrics/BrowserCommands.h"
#include "lyrics/LyricsDocument.h"
#include "lyrics/LyricsLines.h"
#include "platform/TempFiles.h"
#include "tags/TagConversions.h"
#include "web/Inet.h"

namespace zvek {
namespace {

using test::CrLf;
using test::Sjis;
using Lines = std::vector<std::string>;

const Lines kLyrics = {"[Spec]", "Title=x", "[Text]", Sjis("00:01:000=朝の窓をあけて"),
                       Sjis("00:02:000=ひかりが部屋にこぼれる"), "00:03:000=Walking down the street"};

std::string Page(const char* charset, std::string_view extra = {}) {
    return "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + std::string(charset) +
           "\"></head><body>" + std::string(extra) +
           "<p>朝の窓をあけて<br>ひかりが部屋にこぼれる<br>Walking down the street</p></body></html>";
}

class WebReferenceTest : public ::testing::Test {
protected:
    WebReferenceTest() {
        InetLimits limits;
        limits.connectTimeout = std::chrono::milliseconds(2000);
        limits.stallTimeout = std::chrono::milliseconds(300);
        SetInetLimits(limits);
    }
    ~WebReferenceTest() override { SetInetLimits(InetLimits{}); }

    static Lines WordsOf(const Lines& lines) {
        Lines words;
        for (const auto& line : lines) {
            std::string w;
            SplitLyricsLine(line, w, false);
            words.push_back(w);
        }
        return words;
    }
    bool TempFolderEmpty() const {
        return std::filesystem::is_empty(PrivateTempDir());
    }

    test::TempDir dir, runtime;
    test::ScopedEnv xdg{"XDG_RUNTIME_DIR", runtime.path().string()};
    test::ScopedEnv noProxy{"http_proxy", std::nullopt};
    test::LoopbackServer server;
    test::ScopedEnv utaNet{"ZVEKLC_UTANET_HOST", server.HostPort()};
    test::FakeHost host;
    LyricsDocument doc{host};
};

TEST_F(WebReferenceTest, ServedPagesInEveryCodeSetRoundTrip) {
    for (const auto& set : test::kPageCodeSets) {
        SCOPED_TRACE(set.charset);
        const std::string path = std::string("/") + set.iconvName + ".htm";
        server.Serve(path, 200, test::Iconv(set.iconvName, "UTF-8", Page(set.charset)));
        const std::string url = server.Url(path);
        doc.SetLines(kLyrics);
        doc.SetFileName(dir / "song.lyr");
        ASSERT_TRUE(MakeTagFile(doc, url));
        EXPECT_EQ(Lines(doc.Lines().begin(), doc.Lines().begin() + 6),
                  (Lines{"[TagLyr]", "TagVer=1000", "LyrFile=song.lyr", "Reference=Reference.htm", "URL=" + url, ""}));
        EXPECT_EQ(doc.Text().find("Walking"), std::string::npos);
        EXPECT_TRUE(TempFolderEmpty());

        ASSERT_TRUE(RestoreFromTagFile(doc, url));
        EXPECT_EQ(WordsOf(doc.Lines()), WordsOf(kLyrics));
        EXPECT_TRUE(TempFolderEmpty());
    }
    EXPECT_TRUE(host.messages.empty());
    // The reader showed its progress: connecting, then the byte counts.
    EXPECT_NE(std::find(host.status.begin(), host.status.end(), server.Url("/UTF-8.htm") + "に接続中..."),
              host.status.end());
}

TEST_F(WebReferenceTest, BusyPageStopsOnlyADownloadedReference) {
    const std::string busy = Page("Shift_JIS", "大変混み合っております");
    server.Serve("/busy.htm", 200, test::Iconv("CP932", "UTF-8", busy));
    doc.SetLines(kLyrics);
    ASSERT_TRUE(MakeTagFile(doc, server.Url("/busy.htm")));
    const Lines tag = doc.Lines();

    EXPECT_FALSE(RestoreFromTagFile(doc, server.Url("/busy.htm")));
    EXPECT_EQ(doc.Lines(), tag);
    EXPECT_EQ(doc.ResultCode, kResultOk);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "サイトが混雑しています\r\n再実行してください");
    EXPECT_EQ(host.messages[0].kind, MsgKind::Warning);

    test::WriteBytes(dir / "busy.htm", test::Iconv("CP932", "UTF-8", busy));
    EXPECT_TRUE(RestoreFromTagFile(doc, dir / "busy.htm"));
    EXPECT_EQ(WordsOf(doc.Lines()), WordsOf(kLyrics));
}

TEST_F(WebReferenceTest, PagesThatDoNotComeAreReported) {
    const std::string url = "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/x.htm";
    doc.SetLines(kLyrics);
    EXPECT_FALSE(MakeTagFile(doc, url));
    EXPECT_EQ(doc.ResultCode, kResultPageNotFetched);
    EXPECT_FALSE(RestoreFromTagFile(doc, url));
    EXPECT_EQ(doc.ResultCode, kResultPageNotFetched);
    EXPECT_EQ(doc.Lines(), kLyrics);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].text, url + "：ページを取得できませんでした");
    EXPECT_EQ(host.messages[1].text, url + "\r\nページを取得できませんでした");
    EXPECT_TRUE(TempFolderEmpty());
}

// A browser whose selected tab shows `url`: a Firefox profile under `home`
// with its session, LZ4-framed as Firefox writes it.
void ShowInBrowser(const std::filesystem::path& home, const std::string& url) {
    const std::filesystem::path firefox = home / ".mozilla/firefox";
    std::filesystem::create_directories(firefox / "p/sessionstore-backups");
    test::WriteBytes(firefox / "profiles.ini", "[Profile0]\nPath=p\nIsRelative=1\nDefault=1\n");
    const std::string json =
        R"({"windows":[{"tabs":[{"entries":[{"url":")" + url + R"("}],"index":1}],"selected":1}],"selectedWindow":1})";
    std::string block(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(json.size()))), '\0');
    block.resize(static_cast<std::size_t>(LZ4_compress_default(json.data(), block.data(), static_cast<int>(json.size()),
                                                               static_cast<int>(block.size()))));
    std::string framed("mozLz40\0", 8);
    for (int shift = 0; shift < 32; shift += 8) framed += static_cast<char>(json.size() >> shift & 0xFF);
    test::WriteBytes(firefox / "p/sessionstore-backups/recovery.jsonlz4", framed + block);
}

// An error answer is no page, even one that holds the lyrics: each command
// that fetches fails as when nothing came, and no word goes out in plain text.
TEST_F(WebReferenceTest, ErrorAnswersAreNotPages) {
    const std::string page = test::Iconv("CP932", "UTF-8", Page("Shift_JIS"));
    server.Serve("/song.htm", 200, page);
    server.Serve("/gone.htm", 404, page);
    server.Serve("/broken.htm", 500, page);
    server.Redirect("/moved.htm", "/gone.htm");
    doc.SetLines(kLyrics);
    ASSERT_TRUE(MakeTagFile(doc, server.Url("/song.htm")));
    const Lines tag = doc.Lines();
    for (const char* path : {"/gone.htm", "/broken.htm", "/moved.htm"}) {
        SCOPED_TRACE(path);
        const std::string url = server.Url(path);
        host.messages.clear();
        doc.SetLines(kLyrics);
        EXPECT_FALSE(MakeTagFile(doc, url));
        EXPECT_EQ(doc.ResultCode, kResultPageNotFetched);
        EXPECT_EQ(doc.Lines(), kLyrics);
        doc.SetLines(tag);
        EXPECT_FALSE(RestoreFromTagFile(doc, url));
        EXPECT_EQ(doc.ResultCode, kResultPageNotFetched);
        EXPECT_EQ(doc.Lines(), tag);

        test::TempDir home;
        test::ScopedEnv homeEnv{"HOME", home.path().string()};
        test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
        ShowInBrowser(home.path(), url);
        LyricsDocument shown(host);
        const Lines before = shown.Lines();
        MenuOpenIEClick(shown);
        EXPECT_EQ(shown.ResultCode, kResultPageNotFetched);
        EXPECT_EQ(shown.Lines(), before);

        EXPECT_EQ(host.messages.size(), 3u);
        for (const auto& message : host.messages) EXPECT_NE(message.text.find(url), std::string::npos);
        EXPECT_TRUE(TempFolderEmpty());
    }
    test::WriteBytes(dir / "song.lyr", CrLf(kLyrics));
    const auto cli = test::RunCli({"tag", "-q", "-r", server.Url("/gone.htm"), "song.lyr"}, dir.path());
    EXPECT_EQ(cli.status, 12);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "song.TagLyr"));
}

TEST_F(WebReferenceTest, UtaNetPagesTryTheirMembersAddress) {
    // The "/phplib/" address sends nothing; the "/members/phplib/" one the page.
    server.Stall("/phplib/song.htm");
    server.Serve("/members/phplib/song.htm", 200, test::Iconv("CP932", "UTF-8", Page("Shift_JIS")));
    doc.SetLines(kLyrics);
    ASSERT_TRUE(MakeTagFile(doc, "http://" + server.HostPort() + "/phplib/song.htm"));
    EXPECT_EQ(doc.GetLine(4), "URL=http://" + server.HostPort() + "/members/phplib/song.htm");

    // The reader asks first which address answers 200.
    server.Serve("/phplib/song.htm", 404, "gone");
    ASSERT_TRUE(RestoreFromTagFile(doc, "http://" + server.HostPort() + "/phplib/song.htm"));
    EXPECT_EQ(WordsOf(doc.Lines()), WordsOf(kLyrics));
}

TEST_F(WebReferenceTest, CommandLineFetchesReferences) {
    server.Serve("/song.htm", 200, test::Iconv("CP932", "UTF-8", Page("Shift_JIS")));
    test::WriteBytes(dir / "song.lyr", CrLf(kLyrics));
    auto tag = test::RunCli({"tag", "-r", server.Url("/song.htm"), "song.lyr"}, dir.path());
    ASSERT_EQ(tag.status, 0) << tag.err;
    // The tag file names its page, so untag needs no -r; progress on stderr.
    std::filesystem::remove(dir.path() / "song.lyr");
    auto untag = test::RunCli({"untag", "song.TagLyr"}, dir.path());
    ASSERT_EQ(untag.status, 0) << untag.err;
    EXPECT_NE(untag.err.find(server.Url("/song.htm") + "に接続中..."), std::string::npos) << untag.err;
    EXPECT_NE(untag.err.find("Downloading ("), std::string::npos) << untag.err;
    EXPECT_EQ(test::ReadBytes(dir / "song.lyr"), CrLf(kLyrics));

    auto quiet = test::RunCli({"untag", "-q", "-o", "-", "song.TagLyr"}, dir.path());
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");

    const std::string nowhere = "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/x.htm";
    EXPECT_EQ(test::RunCli({"untag", "-q", "-r", nowhere, "-o", "-", "song.TagLyr"}, dir.path()).status, 12);

    server.Serve("/busy.htm", 200, test::Iconv("CP932", "UTF-8", Page("Shift_JIS", "大変混み合っております")));
    auto busy = test::RunCli({"untag", "-r", server.Url("/busy.htm"), "-o", "-", "song.TagLyr"}, dir.path());
    EXPECT_EQ(busy.status, 1);
    EXPECT_NE(busy.err.find("サイトが混雑しています\n再実行してください"), std::string::npos) << busy.err;
    EXPECT_EQ(busy.out, "");
}

}  // namespace
}  // namespace zvek
