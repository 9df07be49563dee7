// Player lyrics -> tag file -> player lyrics against local references:
// text files and HTML pages in every code set.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "TestSupport.h"
#include "tags/AutoConvert.h"
#include "lyrics/LyricsDocument.h"
#include "lyrics/LyricsLines.h"
#include "platform/Files.h"
#include "tags/TagConversions.h"
#include "web/Code.h"

namespace zvek {
namespace {

using test::CrLf;
using test::Sjis;
using Lines = std::vector<std::string>;

const Lines kSpec = {"[Spec]", "Title=Test", "Artist=", "", "[Text]"};

Lines Lyrics(const Lines& text) {
    Lines lines = kSpec;
    lines.insert(lines.end(), text.begin(), text.end());
    return lines;
}

const Lines kWords = {
    Sjis("00:01:000=朝の窓をあけて"),
    Sjis("00:05:500=　ひかりが部屋に、こぼれる"),
    "00:09:000=",
    "00:10:000=Walking down the morning street!",
    Sjis("00:12:000=\"a <b> c\",\"ことばにならない想い\""),
    Sjis("01:02:003=ポケットにしまって歩こう（2回）"),
    "00:20:000=#fade <b>",
    "",
    ";comment line",
    Sjis("まだ時のない行"),
};

// Page text holding every piece of the words above.
const std::string kPage = Sjis(
    "header text\r\n"
    "朝の窓をあけて\r\n"
    "ひかりが部屋に、こぼれる\r\n"
    "Walking down the morning street\r\n"
    "a <b> c ことばにならない想い\r\n"
    "ポケットにしまって歩こう\r\n"
    "まだ時のない行\r\n");

class TagConversionsTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, std::string_view bytes) {
        test::WriteBytes(dir / name, bytes);
        return dir / name;
    }

    // What reading a player lyrics file gives: the words of every line.
    static Lines WordsOf(const Lines& lines) {
        Lines words;
        for (const auto& line : lines) {
            std::string w;
            const int time = SplitLyricsLine(line, w, false);
            words.push_back(std::to_string(time) + "|" + w);
        }
        return words;
    }

    test::TempDir dir;
    test::FakeHost host;
    LyricsDocument doc{host};
};

TEST_F(TagConversionsTest, TextReferenceRoundTrip) {
    const std::string ref = Write("ref.txt", kPage);
    doc.SetLines(Lyrics(kWords));
    doc.SetFileName(dir / "song.lyr");
    ASSERT_TRUE(MakeTagFile(doc, ref));
    EXPECT_EQ(doc.ResultCode, kResultOk);
    EXPECT_EQ(doc.FileName(), dir / "song.TagLyr");
    const Lines tag = doc.Lines();
    ASSERT_GE(tag.size(), 5u);
    EXPECT_EQ(Lines(tag.begin(), tag.begin() + 5),
              (Lines{"[TagLyr]", "TagVer=1000", "LyrFile=song.lyr", "Reference=ref.txt", ""}));
    // No words of the lyrics are left in the tag file.
    const std::string tagText = doc.Text();
    for (const char* word : {"Walking", "street", "ポケット", "想い", "ひかり"})
        EXPECT_EQ(tagText.find(Sjis(word)), std::string::npos) << word;
    EXPECT_NE(tagText.find("00:20:000=#fade <b>"), std::string::npos);  // directives stay as they are

    ASSERT_TRUE(RestoreFromTagFile(doc, ref));
    EXPECT_EQ(doc.ResultCode, kResultOk);
    EXPECT_EQ(doc.FileName(), "song.lyr");
    EXPECT_EQ(WordsOf(doc.Lines()), WordsOf(Lyrics(kWords)));
    ASSERT_EQ(doc.LineCount(), 15);
    EXPECT_EQ(doc.GetLine(11), "00:20:000=#fade <b>");
    EXPECT_TRUE(host.messages.empty());
}

// A lyrics page as a site would serve it, in the code set named.
std::string HtmlPage(const char* charset, const std::string& savedFrom = {}) {
    std::string page = savedFrom + "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
                       std::string(charset) + "\"><title>歌詞</title></head>\n<body>\n<h1>うた</h1>\n<p>";
    for (const char* line : {"header text", "朝の窓をあけて", "ひかりが部屋に、こぼれる", "Walking down the morning street",
                             "a &lt;b&gt; c ことばにならない想い", "ポケットにしまって歩こう", "まだ時のない行"})
        page += std::string(line) + "<br>\n";
    page += "</p>\n</body></html>\n";
    return page;  // UTF-8 so far
}

TEST_F(TagConversionsTest, HtmlReferencesInEveryCodeSet) {
    // The words may not contain "<b>" here: the page text keeps "&lt;b&gt;".
    Lines words = kWords;
    words[4] = Sjis("00:12:000=\"a c\",\"ことばにならない想い\"");
    for (const auto& set : test::kPageCodeSets) {
        SCOPED_TRACE(set.charset);
        const std::string page = Write("SONG.HTML", test::Iconv(set.iconvName, "UTF-8", HtmlPage(set.charset)));
        doc.SetLines(Lyrics(words));
        ASSERT_TRUE(MakeTagFile(doc, page));
        EXPECT_EQ(doc.GetLine(3), "Reference=SONG.HTML");
        EXPECT_EQ(doc.Text().find("Walking"), std::string::npos);
        ASSERT_TRUE(RestoreFromTagFile(doc, page));
        EXPECT_EQ(WordsOf(doc.Lines()), WordsOf(Lyrics(words)));
        // Nothing was written beside the page.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
        std::filesystem::remove(page);
    }
}

TEST_F(TagConversionsTest, SavedPagesNameTheirAddress) {
    const std::string saved = "<!-- saved from url=(0038)http://www.example.com/song.html?id=7 -->\n";
    doc.SetLines(Lyrics({"00:00:000=Walking"}));
    ASSERT_TRUE(MakeTagFile(doc, Write("a.htm", HtmlPage("Shift_JIS", saved))));
    EXPECT_EQ(doc.GetLine(4), "URL=http://www.example.com/song.html?id=7");
    EXPECT_EQ(doc.GetLine(5), "");

    // The browser writes its scheme in lower case; nothing else counts.
    doc.SetLines(Lyrics({"00:00:000=Walking"}));
    const std::string upper = "<!-- saved from url=(0026)HTTP://example.org/a.htm -->\n";
    ASSERT_TRUE(MakeTagFile(doc, Write("u.htm", HtmlPage("Shift_JIS", upper))));
    EXPECT_EQ(doc.GetLine(4), "");

    doc.SetLines(Lyrics({"00:00:000=Walking"}));
    const std::string https = "<!-- saved from url=(0026)https://example.org/a.htm -->\n";
    ASSERT_TRUE(MakeTagFile(doc, Write("b.htm", HtmlPage("Shift_JIS", https))));
    EXPECT_EQ(doc.GetLine(4), "URL=https://example.org/a.htm");

    // A page saved from a local file names no web address: no URL= line.
    doc.SetLines(Lyrics({"00:00:000=Walking"}));
    const std::string local = "<!-- saved from url=(0022)file:///C:/x/song.htm -->\n";
    ASSERT_TRUE(MakeTagFile(doc, Write("c.htm", HtmlPage("Shift_JIS", local))));
    EXPECT_EQ(doc.GetLine(4), "");
}

TEST_F(TagConversionsTest, EntryFormatOfTheExample) {
    // "abc" at byte 57 of the page text.
    const std::string ref = Write("ref.txt", std::string(54, '-') + "\r\nabc\r\n");
    doc.SetLines(Lyrics({"00:00:000=abc"}));
    ASSERT_TRUE(MakeTagFile(doc, ref));
    EXPECT_EQ(doc.Lines().back(), "00:00:000=<57,3,a,0x352441C2>");
    EXPECT_EQ(doc.GetLine(2), "LyrFile=");
    EXPECT_EQ(doc.FileName(), ".TagLyr");
}

TEST_F(TagConversionsTest, StaleAndFoldedPagesStillResolve) {
    doc.SetLines(Lyrics(kWords));
    ASSERT_TRUE(MakeTagFile(doc, Write("ref.txt", kPage)));
    const Lines tag = doc.Lines();

    // Text inserted before the lyrics: every stored position is stale.
    doc.SetLines(tag);
    ASSERT_TRUE(RestoreFromTagFile(doc, Write("moved.txt", Sjis("新しい前書き\r\nmore text\r\n") + kPage)));
    EXPECT_EQ(WordsOf(doc.Lines()), WordsOf(Lyrics(kWords)));

    // The same page with its letters in full width, and in half width: the
    // entries are found in the folded copies, with the writer's bytes.
    for (const std::string& page : {ToFullWidth(kPage), ToHalfWidth(kPage)}) {
        doc.SetLines(tag);
        ASSERT_TRUE(RestoreFromTagFile(doc, Write("folded.txt", page)));
        EXPECT_EQ(WordsOf(doc.Lines()), WordsOf(Lyrics(kWords)));
    }
}

TEST_F(TagConversionsTest, MissingTextGivesAPartialResult) {
    doc.SetLines(Lyrics(kWords));
    ASSERT_TRUE(MakeTagFile(doc, Write("ref.txt", kPage)));
    doc.SetFileName(dir / "x.TagLyr");

    std::string page = kPage;
    page.erase(page.find("Walking"), 7);
    EXPECT_FALSE(RestoreFromTagFile(doc, Write("cut.txt", page)));
    EXPECT_EQ(doc.ResultCode, kResultPartial);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].kind, MsgKind::Warning);
    EXPECT_EQ(host.messages[0].text.rfind("変換できない所がありました\r\n", 0), 0u);
    // The unresolved entry stays as written; the rest of the line is resolved.
    const std::string line = doc.GetLine(8);  // "Walking down the morning street!"
    EXPECT_EQ(line.rfind("00:10:000=<", 0), 0u) << line;
    EXPECT_NE(line.find(" down the morning street!"), std::string::npos) << line;
    EXPECT_EQ(doc.FileName(), dir / "x.lyr");  // LyrFile was empty
}

TEST_F(TagConversionsTest, MissingReferenceLeavesTheDocumentAlone) {
    doc.SetLines(Lyrics(kWords));
    const Lines before = doc.Lines();
    const std::string missing = dir / "nothere.htm";
    EXPECT_FALSE(MakeTagFile(doc, missing));
    EXPECT_EQ(doc.ResultCode, kResultFileNotFound);
    EXPECT_FALSE(RestoreFromTagFile(doc, missing));
    EXPECT_EQ(doc.Lines(), before);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].text, missing + "：ファイルが見つかりません");
    EXPECT_EQ(host.ScreenCursor(), crDefault);
}

TEST_F(TagConversionsTest, HeaderHandling) {
    const std::string ref = Write("ref.txt", kPage);
    // LyrFile names only a player lyrics file: folders go; a hidden name, a
    // name of another kind and "-" give the tag file's own name.
    const std::string own = dir / "t.lyr";
    for (const auto& [value, expected] : std::vector<std::pair<std::string, std::string>>{
             {"..\\..\\evil.lyr", "evil.lyr"}, {"/etc/passwd", own}, {"..", own}, {"", own},
             {".bash_profile", own}, {"dir/.lyr", own}, {"-", own}, {"song.lyr.sh", own}, {"song", own},
             {"a.LYRICS", "a.LYRICS"}, {"b.words", "b.words"}, {"c.zveklyr", "c.zveklyr"},
             {"d.ZvekWrd", "d.ZvekWrd"}, {"e.txt", "e.txt"}, {Sjis("歌.lyr"), "歌.lyr"}}) {
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
    // A tag file made into a tag file again gets a second header.
    doc.SetLines({"[TagLyr]", "", "[Spec]", "[Text]"});
    ASSERT_TRUE(MakeTagFile(doc, ref));
    EXPECT_EQ(doc.GetLine(0), "[TagLyr]");
    EXPECT_EQ(doc.GetLine(5), "[TagLyr]");
}

TEST_F(TagConversionsTest, ProgressEverySixteenLines) {
    Lines text;
    for (int i = 0; i < 100; ++i) text.push_back("00:00:000=Walking");
    doc.SetLines(Lyrics(text));
    ASSERT_TRUE(MakeTagFile(doc, Write("ref.txt", kPage)));
    EXPECT_EQ(host.processMessagesCalls, 6);  // document lines 16, 32, ... 96
    host.processMessagesCalls = 0;
    ASSERT_TRUE(RestoreFromTagFile(doc, Write("ref.txt", kPage)));
    EXPECT_EQ(host.processMessagesCalls, 6);
    EXPECT_EQ(host.status.front(), ".TagLyrを変換中...");
    EXPECT_EQ(host.status.back(), "");
}

TEST_F(TagConversionsTest, AutoConversionDecides) {
    struct Case {
        Lines lines;
        AutoAction action;
    } cases[] = {
        {{"[TagLyr]", "URL=http://x/"}, AutoAction::FromUrl},
        {{"[Spec]", "url=http://x/"}, AutoAction::FromUrl},
        {{"[TagLyr]", "URL="}, AutoAction::TagToZVEK},
        {{"[TagLyr]", "URL=/home/me/.ssh/id_rsa"}, AutoAction::TagToZVEK},  // only a web address counts
        {{"[Spec]", "URL=file:///etc/passwd"}, AutoAction::ZVEKToTag},
        {{"[Spec]", "x [TagLyr] y"}, AutoAction::TagToZVEK},
        {{"[Spec]"}, AutoAction::ZVEKToTag},
        {{"[spec]", "[00:01]x"}, AutoAction::WinAmp},
        {{"[[[Music Info]]]"}, AutoAction::WinAmp},
        {{"[01:00]x"}, AutoAction::Text},
        {{"[taglyr]"}, AutoAction::Text},
        {{}, AutoAction::Text},
    };
    for (const auto& c : cases) {
        doc.SetLines(c.lines);
        EXPECT_EQ(DecideAutoConversion(doc), c.action) << testing::PrintToString(c.lines);
    }
    // The dialog of a tag conversion is set up even when it is cancelled.
    doc.SetLines({"[Spec]"});
    MenuConvertAutoClick(doc);
    ASSERT_EQ(host.dialogs.size(), 1u);
    EXPECT_EQ(host.dialogs[0].title, "歌詞テキスト");
    EXPECT_EQ(host.dialogs[0].filterIndex, 4);
    EXPECT_EQ(host.dialogs[0].defaultExt, "txt");
    EXPECT_EQ(doc.Lines(), Lines{"[Spec]"});
    // A chosen reference file is used.
    host.dialogFiles.push_back(Write("ref.txt", kPage));
    doc.SetLines(Lyrics({"00:00:000=Walking"}));
    MenuConvertAutoClick(doc);
    EXPECT_EQ(doc.GetLine(0), "[TagLyr]");
}

TEST_F(TagConversionsTest, OnlyWebAddressesAreTakenFromTheDocument) {
    const std::pair<std::string, std::string> cases[] = {
        {"http://x/a.htm", "http://x/a.htm"},
        {"HTTPS://x/", "HTTPS://x/"},
        {Sjis("http://x/歌"), "http://x/歌"},
        {"", ""},
        {"ref.txt", ""},
        {"/proc/self/environ", ""},
        {"file:///etc/passwd", ""},
        {"/home/http://x", ""},  // holds "http:", but is a path
        {"ftp://x/", ""},
        {"http:/x", ""},
    };
    for (const auto& [value, expected] : cases) {
        doc.SetLines({"[TagLyr]", "URL=" + value, "[Spec]", "[Text]"});
        EXPECT_EQ(DocumentReferenceUrl(doc), expected) << value;
    }

    // A tag file naming a local file: the URL command reads nothing and
    // opens nothing; Convert Auto asks for the reference instead.
    const std::string secret = Write("secret.txt", "private key");
    const Lines tagFile = {"[TagLyr]", "URL=" + secret, "", "[Spec]", "[Text]", "00:01:000=<1,11>"};
    doc.SetLines(tagFile);
    MenuConvertFromURLClick(doc);
    EXPECT_EQ(doc.Lines(), tagFile);
    EXPECT_TRUE(host.browsed.empty());
    EXPECT_TRUE(host.messages.empty());
    MenuConvertAutoClick(doc);
    EXPECT_EQ(doc.Lines(), tagFile);
    ASSERT_EQ(host.dialogs.size(), 1u);
    EXPECT_EQ(host.dialogs[0].title, "歌詞テキスト");
}

TEST_F(TagConversionsTest, LocalReferencesAreCappedLikeDownloads) {
    doc.SetLines(Lyrics(kWords));
    const Lines before = doc.Lines();
    for (const char* name : {"big.txt", "big.htm"}) {
        SCOPED_TRACE(name);
        const std::string big = dir / name;
        std::filesystem::resize_file(Write(name, ""), (16u << 20) + 1);  // sparse: no time spent writing
        EXPECT_THROW(MakeTagFile(doc, big), FileError);
        EXPECT_THROW(RestoreFromTagFile(doc, big), FileError);
        EXPECT_EQ(doc.Lines(), before);
    }
}

}  // namespace
}  // namespace zvek
