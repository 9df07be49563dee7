// zveklc-cli as outside scripts and people see it: arguments, files, exit
// statuses and what it says on standard error.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "LoopbackServer.h"
#include "TestSupport.h"

namespace zvek {
namespace {

namespace fs = std::filesystem;
using test::CrLf;
using test::Sjis;

constexpr const char* kTemplate =
    "[Spec]\r\nTitle=\r\nArtist=\r\nLyrics=\r\nMusic=\r\nPresenter=\r\nComment=\r\n\r\nSize=246,38\r\nAdjust=0\r\n"
    "Font=\"\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e\",-16,SHIFTJIS,Normal\r\n"
    "Alignment=Center\r\nWordWrap=1\r\n\r\n[Text]\r\n";

std::string Lyr(const std::vector<std::string>& lines) { return kTemplate + CrLf(lines); }

class CliTest : public ::testing::Test {
protected:
    std::string Read(const std::string& name) { return test::ReadBytes(dir / name); }
    bool Exists(const std::string& name) { return fs::exists(fs::symlink_status(dir.path() / name)); }
    test::CliResult Run(const std::vector<std::string>& args, std::string_view input = {}) {
        return test::RunCli(args, dir.path(), input);
    }

    test::TempDir dir;
};

// The run ended with `status`, and every text in `parts` appears on standard error.
::testing::AssertionResult Says(const test::CliResult& r, int status, std::initializer_list<std::string_view> parts) {
    if (r.status != status)
        return ::testing::AssertionFailure() << "status " << r.status << " instead of " << status << ":\n" << r.err;
    for (const auto part : parts)
        if (r.err.find(part) == std::string::npos)
            return ::testing::AssertionFailure() << "stderr lacks \"" << part << "\":\n" << r.err;
    return ::testing::AssertionSuccess();
}

TEST_F(CliTest, DefaultOutputsNeverAreTheInput) {
    const std::string lyrics = Lyr({"00:00:000=Hello", "00:00:000=", "00:00:000=World"});
    // A default output that is the input itself is refused even with -f,
    // under its own name or another (a hard link); -o is the way out.
    dir.Write("lyrics.txt", lyrics);
    fs::create_hard_link(dir.path() / "lyrics.txt", dir.path() / "linked.lrc");
    fs::create_hard_link(dir.path() / "lyrics.txt", dir.path() / "linked.lyr");
    for (const char* command : {"untext -f lyrics.txt", "html -f lyrics.txt", "lrc -f linked.lrc"}) {
        EXPECT_TRUE(Says(Run(test::Words(command)), 64, {"-o"})) << command;
        EXPECT_EQ(Read("lyrics.txt"), lyrics);
    }
    // Named with -o, the input may be replaced: with -f only.
    EXPECT_EQ(Run({"untext", "-o", "lyrics.txt", "lyrics.txt"}).status, 1);
    EXPECT_EQ(Run({"untext", "-q", "-f", "-o", "lyrics.txt", "lyrics.txt"}).status, 0);
    EXPECT_EQ(Read("lyrics.txt"), "Hello\r\n\r\nWorld\r\n");
}

TEST_F(CliTest, SeveralInputsAndOutputFolders) {
    dir.Write("a.txt", "a\r\n");
    dir.Write("b.txt", "b\r\n");
    dir.Write("sub/c.txt", "[00:01:00]c\n");
    fs::create_directory(dir.path() / "folder");
    // A failure is reported, the rest converted; the first failure's status.
    EXPECT_TRUE(Says(Run({"auto", "-q", "a.txt", "missing.txt", "sub/c.txt", "folder", "b.txt"}), 2,
                     {"missing.txt：ファイルが見つかりません", "folder：フォルダです"}));
    EXPECT_EQ(Read("a.lyr"), Lyr({"00:00:000=a"}));
    EXPECT_EQ(Read("b.lyr"), Lyr({"00:00:000=b"}));
    EXPECT_EQ(Read("sub/c.lyr"), Lyr({"00:01:000=c"}));

    // {command, status, files written}
    const std::tuple<const char*, int, std::vector<std::string>> cases[] = {
        {"text -q -o out/ a.txt sub/c.txt", 0, {"out/a.lyr", "out/c.lyr"}},
        {"winamp -q -o new/ sub/c.txt", 0, {"new/c.lyr"}},
        {"text -q -o folder a.txt b.txt", 0, {"folder/a.lyr", "folder/b.lyr"}},
        {"html -q -o one/ a.lyr", 0, {"one/a.txt"}},
        {"text -o x.lyr a.txt b.txt", 64, {}},
        {"text -o out/ a.txt -", 64, {}},
        {"text -o out/ -", 64, {}}};
    for (const auto& [command, status, written] : cases) {
        SCOPED_TRACE(command);
        auto r = Run(test::Words(command));
        EXPECT_EQ(r.status, status) << r.err;
        for (const auto& name : written) EXPECT_TRUE(Exists(name)) << name;
    }
    // One input and a folder without the slash: most likely a slip.
    EXPECT_TRUE(Says(Run({"text", "-o", "folder", "a.txt"}), 1, {"folder：フォルダです", "/"}));
}

TEST_F(CliTest, StandardInputAndOutputAndCodeSets) {
    const std::string expected = std::string(kTemplate) + Sjis("00:00:000=こんにちは\r\n");
    // Standard input in Shift-JIS, UTF-8, and UTF-16 either way round.
    const std::string spaced = "　こんにちは　\r\n";
    for (const std::string& input :
         {Sjis(spaced), std::string("こんにちは\n"), "\xFF\xFE" + test::Iconv("UTF-16LE", "UTF-8", spaced),
          "\xFE\xFF" + test::Iconv("UTF-16BE", "UTF-8", spaced)}) {
        auto r = Run({"text", "-o", "-", "-"}, input);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, expected);  // a pipe gets Shift-JIS
    }
    EXPECT_EQ(Run({"text", "-e", "utf8", "-o", "-", "-"}, "こんにちは").out, test::Iconv("UTF-8", "CP932", expected));
    auto replaced = Run({"text", "-o", "-", "-"}, std::string("\xFF\xFE"
                                                              "a\0\0\xD8",
                                                              6));  // a lone surrogate
    EXPECT_TRUE(Says(replaced, 0, {"1文字を「?」にしました"}));
    EXPECT_TRUE(replaced.out.ends_with("=a?\r\n")) << replaced.out;

    EXPECT_EQ(Run({"winamp", "-oout.lyr", "-"}, "[00:00:50]a\n").status, 0);
    EXPECT_EQ(Read("out.lyr"), Lyr({"00:00:500=a"}));
    EXPECT_EQ(Run({"text", "-"}, "x").status, 64);  // nowhere to write
    EXPECT_EQ(Run({"text", "-e", "latin1", "-o", "-", "-"}, "x").status, 64);

    // A script must learn that its output is incomplete: standard output into
    // a file that may not grow fails as on a full disk.
    dir.Write("a.txt", "Hello\r\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"text", "-q", "-o", "-", "a.txt"}, {"--help"}})
        EXPECT_TRUE(Says(test::RunCli(args, dir.path(), {}, dir / "out.txt", 128), 1, {"標準出力に書き込めません"}))
            << testing::PrintToString(args);
}

TEST_F(CliTest, UsageErrorsAndMessages) {
    dir.Write("a.txt", "x");
    const char* const bad[] = {"",
                               "frobnicate a.txt",
                               "text --bogus a.txt",
                               "text a.txt -o",
                               "text --artist a.txt",
                               "text --ms a.txt",
                               "html -r x.htm a.txt",
                               "search",
                               "search -o out.txt a.txt",
                               "search -e utf8 a.txt",
                               "browser a.txt",
                               "unlrc -r x.htm a.txt"};
    EXPECT_TRUE(Says(Run({"text", "-o", "", "a.txt"}), 64, {"出力先が空です\n使い方は zveklc-cli --help"}));
    for (const char* command : bad) EXPECT_TRUE(Says(Run(test::Words(command)), 64, {"--help"})) << command;

    auto help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* topic : {"INPUT...", "DIR/", "Reference=", "--encoding", "--partial", "64 使い方の誤り"})
        EXPECT_NE(help.out.find(topic), std::string::npos) << topic;
    EXPECT_EQ(Run({"text", "-h"}).status, 0);
    EXPECT_EQ(Run({"--version"}).out.rfind("zveklc-cli ", 0), 0u);

    // "--" ends the options: a file may start with "-".
    dir.Write("-odd.txt", "x");
    EXPECT_EQ(Run({"text", "-q", "--", "-odd.txt"}).status, 0);

    // Names and addresses may come from anybody's files; a terminal must not
    // obey what they hold (retitle itself, clear the screen).
    const std::pair<std::string, std::string> names[] = {
        {"a\x1b]0;owned\x07.txt", "a\\x1B]0;owned\\x07.txt"},
        {"c\xc2\x9b"
         "2J\x7f.txt",
         "c\\xC2\\x9B2J\\x7F.txt"},          // C1 in UTF-8, DEL
        {"d\x9b\r.txt", "d\\x9B\\x0D.txt"},  // a stray byte, CR
        {"歌.txt", "歌.txt"},
        {"\U0001F3B5.txt", "\U0001F3B5.txt"},  // four bytes in UTF-8
    };
    for (const auto& [name, shown] : names) {
        // A Windows name is UTF-16: a stray byte cannot reach the program.
        if (test::CliIsWindowsProgram() && name.starts_with("d")) continue;
        EXPECT_EQ(Run({"text", name}).err, shown + "：ファイルが見つかりません\n");
    }
    EXPECT_TRUE(Says(Run({"text", "--\x1b[2J", "a.txt"}), 64, {"不明なオプション '--\\x1B[2J'"}));
}

TEST_F(CliTest, HtmlLrcSearchAndBrowser) {
    dir.Write("page.htm", "<html><body>Hello<br>World</body></html>");
    EXPECT_EQ(Run({"text", "-o", "-", "page.htm"}).out, Lyr({"00:00:000=Hello", "00:00:000=World"}));  // its text

    // UTF-16 LRC; unreadable stamps are warned of even with -q.
    dir.Write("song.lrc",
              "\xFF\xFE" + test::Iconv("UTF-16LE", "UTF-8",
                                       "[ti:Song]\n[00:02.00]b\n[00:01.005]歌\n[0x:03.00]c\n[00:04.00]\"a\", \"b\"\n"));
    EXPECT_TRUE(Says(Run({"lrc", "-q", "song.lrc"}), 0, {"タイムタグが1行", "記号（, = # :）を1行"}));
    std::string expected =
        Lyr({Sjis("00:01:005=歌"), "[0x:03.00]c", "00:02:000=b", Sjis("00:04:000=\"\"\"a\"\"， \"\"b\"\"\"")});
    EXPECT_EQ(Read("song.lyr"), expected.replace(expected.find("Title="), 6, "Title=Song"));
    EXPECT_EQ(Run({"unlrc", "-q", "-f", "song.lyr"}).status, 0);
    EXPECT_EQ(Read("song.lrc"),
              CrLf({"[ti:Song]", "[00:01.01]歌", "[00:02.00]b", "[00:04.00]\"a\"， \"b\""}));  // UTF-8
    // EUC-JP that reads as Shift-JIS too: which one was assumed is said, but not with -q.
    dir.Write("short.lrc", test::Iconv("EUC-JP", "UTF-8", "[00:42.42]手旅\r\n"));
    EXPECT_TRUE(Says(Run({"lrc", "-o", "-", "short.lrc"}), 0, {"文字コードをEUC-JPと判断しました"}));
    EXPECT_EQ(Run({"lrc", "-q", "-o", "-", "short.lrc"}).err, "");
    std::string many;
    for (int i = 0; i < 500; ++i) many += "[0:0]";
    dir.Write("many.lrc", many + std::string(300, 'x'));
    EXPECT_TRUE(Says(Run({"lrc", "many.lrc"}), 1,
                     {"エラー：タイムタグが多すぎます（1行目まで）：歌詞が元のファイルの8倍を超える大きさになるため、"
                      "変換しませんでした"}));
    EXPECT_FALSE(Exists("many.lyr"));
    EXPECT_EQ(Run({"unlrc", "--ms", "-e", "sjis", "-o", "-", "-"}, Sjis("00:01:005=歌\r\n")).out,
              Sjis("[00:01.005]歌\r\n"));

    test::ScopedEnv map{"ZVEKLC_UTAMAP_HOST", "map.test"};
    test::ScopedEnv net{"ZVEKLC_UTANET_HOST", "net.test"};
    dir.Write("find.lyr", CrLf({"[Spec]", Sjis("title=あ B"), "Artist=", "[Text]", "00:01:000=x"}));
    const std::string utaMap = "http://map.test/search.php?searchname=srtitle&inputvalue=%82%A0+B&act=search\n";
    const std::string utaNet =
        "http://net.test/members/phplib/maphp001.php3?cursession=index2&curuserid=pageone&MA_select_ga=%B6%CA%CC%BE"
        "&MA_text1_de=%A4%A2%20%42&MA_select_kasio=%A4%AC%B4%DE%A4%DE%A4%EC%A4%EB&MA_sousa=%B8%A1%BA%F7\n";
    EXPECT_EQ(Run({"search", "find.lyr"}).out, utaMap + utaNet);
    EXPECT_EQ(Run({"search", "--artist", "find.lyr"}).out, "http://net.test/\nhttp://map.test/\n");
    EXPECT_EQ(Run({"search", "-"}, "Title=\xe3\x81\x82 B\r\n").out, utaMap + utaNet);

    // An empty home: no browser profile to ask.
    fs::create_directory(dir.path() / "home");
    test::ScopedEnv home{"HOME", dir / "home"};
    test::ScopedEnv config{"XDG_CONFIG_HOME", dir / "home"};
    test::ScopedEnv devTools{"ZVEKLC_DEVTOOLS_PORT", std::to_string(test::UnusedPort())};
    auto browser = Run({"browser"});
    EXPECT_EQ(browser.status, 1);
    EXPECT_EQ(browser.err, "ブラウザで歌詞ページを表示させてください\n");
    // The address is printed on one line, its control characters escaped.
    // (Firefox keeps its profiles elsewhere on Windows.)
    if (test::CliIsWindowsProgram()) return;
    test::ShowInBrowser(dir / "home", R"(http://x/\n\u001b]0;t\u0007\u0000\r\u00e9)");
    EXPECT_EQ(Run({"browser"}).out, "http://x/\\x0A\\x1B]0;t\\x07\\x00\\x0D\u00e9\n");
}

const std::string kRefPage = Sjis("前書き\r\n朝の窓をあけて\r\nWalking down the street\r\n");

class CliTagTest : public CliTest {
protected:
    void SetUp() override {
        dir.Write("ref.txt", kRefPage);
        dir.Write("song.lyr", CrLf({"[Spec]", "Title=x", "[Text]", Sjis("00:01:000=朝の窓をあけて"),
                                    "00:02:000=Walking down the street"}));
        ASSERT_EQ(Run({"tag", "-q", "-r", "ref.txt", "-o", "t.TagLyr", "song.lyr"}).status, 0);
        tagFile = Read("t.TagLyr");
    }

    std::string tagFile;
};

TEST_F(CliTagTest, TagAndUntagWithDefaultNames) {
    ASSERT_TRUE(Says(Run({"tag", "-r", "ref.txt", "song.lyr"}), 0, {"参照ページ：ref.txt（-r で指定）"}));
    EXPECT_EQ(Read("song.TagLyr").rfind("[TagLyr]\r\nTagVer=1000\r\nLyrFile=song.lyr\r\nReference=ref.txt\r\n\r\n", 0),
              0u);

    // The rebuilt file takes the LyrFile= name, beside the tag file.
    dir.Write("out/t.TagLyr", tagFile);
    ASSERT_TRUE(Says(Run({"untag", "--reference", "ref.txt", "out/t.TagLyr"}), 0, {}));
    EXPECT_EQ(Read("out/song.lyr"), Read("song.lyr"));

    // Words the page does not hold go into the tag file as they stand; the
    // user is told how many, even with -q.
    dir.Write("leak.lyr", CrLf({"[Spec]", "[Text]", Sjis("00:01:000=朝の窓をあけて 秘密"), "00:02:000=Walking xyzzy"}));
    auto leak = Run({"tag", "-q", "-r", "ref.txt", "leak.lyr"});
    EXPECT_EQ(leak.status, 0);
    EXPECT_EQ(leak.err, "7文字は参照ページに見つからないため、そのまま書き込みました\n");
}

// Names in a tag file or a document choose neither the page read nor the file written.
TEST_F(CliTagTest, WhereTheReferenceComesFromAndTheResultGoes) {
    const std::size_t at = tagFile.find("Reference=ref.txt") + 10;
    const auto withReference = [&](const std::string& value) { return std::string(tagFile).replace(at, 7, value); };
    dir.Write("in/page.htm", kRefPage);
    dir.Write("in/.hidden.htm", kRefPage);
    dir.Write("in/ref.txt", kRefPage);
    // {reference, status, what standard error says}
    const std::tuple<std::string, int, std::string> cases[] = {
        {"page.htm", 0, "参照ページ：in/page.htm（タグファイルの Reference=）"},
        {"PAGE.HTM", 64, "参照ページがありません"},  // no such file
        {"ref.txt", 64, "参照ページがありません"},   // a page is .htm or .html
        {".hidden.htm", 64, "参照ページがありません"},
        {"../ref.txt", 64, "参照ページがありません"},
        {"../in/page.htm", 64, "参照ページがありません"},
        {dir / "in/page.htm", 64, "参照ページがありません"},
        // A failed download says why; -r comes first, then URL= (a web address only).
        {"http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/p.htm", 12,
         "ページを取得できませんでした\nサーバーに接続できません"},
        {"page.htm\r\nURL=http://127.0.0.1:" + std::to_string(test::UnusedPort()), 12, "（文書の URL=）"},
    };
    for (const auto& [reference, status, says] : cases) {
        SCOPED_TRACE(reference);
        // Windows finds a file whatever the case of its letters.
        if (test::CliIsWindowsProgram() && reference == "PAGE.HTM") continue;
        dir.Write("in/t.TagLyr", withReference(reference));
        fs::remove(dir.path() / "in/song.lyr");
        EXPECT_TRUE(Says(Run({"untag", "in/t.TagLyr"}), status, {says}));
        EXPECT_EQ(Exists("in/song.lyr"), status == 0);
    }
    EXPECT_EQ(Run({"untag", "-q", "-r", "ref.txt", "in/t.TagLyr"}).status, 0);
    for (const std::string& value : {std::string("ref.txt"), dir / "ref.txt", "file://" + (dir / "ref.txt")}) {
        dir.Write("url.lyr", CrLf({"[Spec]", "URL=" + value, "[Text]", "00:02:000=Walking down"}));
        EXPECT_TRUE(Says(Run({"tag", "url.lyr"}), 64, {"参照ページがありません"})) << value;
    }
    EXPECT_FALSE(Exists("url.TagLyr"));
    EXPECT_TRUE(Says(Run({"tag", "-r", "nothere.htm", "song.lyr"}), 2, {"nothere.htm：ファイルが見つかりません"}));

    // LyrFile= names only a lyrics file beside the tag file.
    const std::size_t name = tagFile.find("LyrFile=song.lyr\r\n") + 8;
    for (const std::string value : {"-", ".bash_profile", "notes.sh", "../up.lyr"}) {
        SCOPED_TRACE(value);
        dir.Write("in/t.TagLyr", std::string(tagFile).replace(name, 8, value));
        auto r = Run({"untag", "-q", "-r", "ref.txt", "in/t.TagLyr"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "");  // "-" from a file is no order to print
        EXPECT_FALSE(Exists("in/" + value));
        EXPECT_TRUE(fs::remove(dir.path() / (value == "../up.lyr" ? "in/up.lyr" : "in/t.lyr")));
    }
}

// A batch that would write one file twice, or over another of its INPUTs,
// under any of its names, is refused whole even with -f: nothing is written.
// A name through a link to a folder stands for the resolved name (".." goes
// the same way); a hard link for the file itself (a link to a file both).
TEST_F(CliTagTest, BatchesNeverWriteOverTheirOwnFiles) {
    for (const char* name : {"d1/a.txt", "d2/a.txt", "k.txt", "k.lyr", "in/t.TagLyr", "in/t2.TagLyr"})
        dir.Write(name, name[0] == 'i' ? tagFile : name);  // the tag files both name song.lyr
    fs::create_hard_link(dir.path() / "k.txt", dir.path() / "hard.txt");
    fs::create_directory_symlink("d1", dir.path() / "d1link");
    const auto files = [&] {
        std::map<std::string, std::string> all;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
            all[entry.path()] = entry.is_regular_file() ? test::ReadBytes(entry.path()) : "";
        return all;
    };
    const auto before = files();
    const std::pair<const char*, const char*> cases[] = {
        {"text -f -o out/ d1/a.txt d2/a.txt", "'d1/a.txt' and 'd2/a.txt' would both be written to 'out/a.lyr'"},
        {"text -f d1/a.txt d1link/a.txt", "would both be written to 'd1link/a.lyr'"},
        {"untext -f k.lyr k.txt", "'k.lyr' would be written to 'k.txt', which is the INPUT 'k.txt'"},
        {"untext -f k.lyr hard.txt", "which is the INPUT 'hard.txt'"},
        {"untag -f -r ref.txt in/t.TagLyr in/t2.TagLyr", "would both be written to 'in/song.lyr'"}};
    for (const auto& [command, says] : cases) {
        // Wine shows a Linux link to a folder as a folder of its own.
        if (test::CliIsWindowsProgram() && std::string(command).starts_with("text -f d1")) continue;
        EXPECT_TRUE(Says(Run(test::Words(command)), 64, {says})) << command;
        EXPECT_EQ(files(), before);
    }
}

TEST_F(CliTagTest, PartialResultsNameTheirLinesAndAreWrittenOnlyWhenAsked) {
    dir.Write("cut.txt", Sjis("朝の窓をあけて\r\n"));
    EXPECT_TRUE(Says(Run({"untag", "-r", "cut.txt", "-o", "p.lyr", "t.TagLyr"}), 13,
                     {"変換できない所がありました", "見つからなかった行：10（", "--partial"}));
    EXPECT_FALSE(Exists("p.lyr"));
    // From standard input, progress names it.
    EXPECT_TRUE(Says(Run({"untag", "--partial", "-r", "cut.txt", "-o", "p.lyr", "-"}, tagFile), 13,
                     {"標準入力を変換中...", "見つからなかった行：10（"}));
    const std::string out = Read("p.lyr");
    EXPECT_NE(out.find(Sjis("00:01:000=朝の窓をあけて\r\n")), std::string::npos);
    EXPECT_NE(out.find("00:02:000=<"), std::string::npos);
}

TEST_F(CliTagTest, AutoSaysWhatItDecided) {
    dir.Write("timed.txt", "[00:01:00]x\n");
    for (const auto& [command, says, written] : {std::tuple{"auto timed.txt", "WinAmp→ZVEK", "timed.lyr"},
                                                 {"auto -r ref.txt song.lyr", "ZVEK→Tag", "song.TagLyr"},
                                                 {"auto -f -r ref.txt song.TagLyr", "Tag→ZVEK", "song.lyr"}}) {
        EXPECT_TRUE(Says(Run(test::Words(command)), 0, {std::string("Convert Auto: ") + says}));
        EXPECT_TRUE(Exists(written)) << written;
    }
    dir.Write("url.lyr", CrLf({"[Spec]", "URL=http://127.0.0.1:" + std::to_string(test::UnusedPort()), "[Text]"}));
    EXPECT_TRUE(
        Says(Run({"auto", "url.lyr"}), 12, {"Convert Auto: ZVEK→Tag（文書の URL= のページで）", "（文書の URL=）"}));
    EXPECT_EQ(Run({"auto", "-q", "-f", "-r", "ref.txt", "song.lyr"}).err, "");
}

}  // namespace
}  // namespace zvek
