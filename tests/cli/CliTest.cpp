// zveklc-cli as outside scripts see it: arguments, files, exit statuses.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iostream>
#include <iterator>

#include "TestSupport.h"

namespace zvek {
namespace {

using test::CrLf;
using test::RunCli;
using test::Sjis;

constexpr const char* kTemplate =
    "[Spec]\r\nTitle=\r\nArtist=\r\nLyrics=\r\nMusic=\r\nPresenter=\r\nComment=\r\n\r\nSize=246,38\r\nAdjust=0\r\n"
    "Font=\"\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e\",-16,SHIFTJIS,Normal\r\n"
    "Alignment=Center\r\nWordWrap=1\r\n\r\n[Text]\r\n";

class CliTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, std::string_view bytes) {
        test::WriteBytes(dir / name, bytes);
        return dir / name;
    }
    bool Exists(const std::string& name) { return std::filesystem::exists(dir.path() / name); }

    test::TempDir dir;
};

TEST_F(CliTest, TextWritesBesideTheInputAndNeverOverwrites) {
    Write("song.txt", "Hello\r\n\r\nWorld\r\n");
    auto first = RunCli({"text", "song.txt"}, dir.path());
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, "");
    EXPECT_EQ(test::ReadBytes(dir / "song.lyr"),
              std::string(kTemplate) + CrLf({"00:00:000=Hello", "00:00:000=", "00:00:000=World"}));
    EXPECT_EQ(test::ReadBytes(dir / "song.txt"), "Hello\r\n\r\nWorld\r\n");

    test::WriteBytes(dir / "song.lyr", "mine");
    auto second = RunCli({"text", "song.txt"}, dir.path());
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("song.lyr"), std::string::npos) << second.err;
    EXPECT_NE(second.err.find("--force"), std::string::npos) << second.err;
    EXPECT_EQ(test::ReadBytes(dir / "song.lyr"), "mine");

    auto forced = RunCli({"text", "-f", "-q", "song.txt"}, dir.path());
    EXPECT_EQ(forced.status, 0);
    EXPECT_EQ(forced.err, "");
    EXPECT_NE(test::ReadBytes(dir / "song.lyr"), "mine");
}

TEST_F(CliTest, InputInASubfolderWritesThere) {
    std::filesystem::create_directory(dir.path() / "sub");
    Write("sub/a.txt", "[00:01:00]x\n");
    auto r = RunCli({"winamp", "--quiet", "sub/a.txt"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::ReadBytes(dir / "sub/a.lyr"), std::string(kTemplate) + "00:01:000=x\r\n");
}

TEST_F(CliTest, UntextRefusesToReplaceItsInputUnlessForced) {
    const std::string lyrics = std::string(kTemplate) + "00:01:000=\"a\",\"b\"\r\n";
    Write("song.lyr", lyrics);
    auto refused = RunCli({"untext", "song.lyr"}, dir.path());
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(test::ReadBytes(dir / "song.lyr"), lyrics);

    auto toFile = RunCli({"untext", "-o", "song.txt", "song.lyr"}, dir.path());
    EXPECT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(test::ReadBytes(dir / "song.txt"), "a\r\nb\r\n");

    auto forced = RunCli({"untext", "--force", "song.lyr"}, dir.path());
    EXPECT_EQ(forced.status, 0);
    EXPECT_EQ(test::ReadBytes(dir / "song.lyr"), "a\r\nb\r\n");
}

TEST_F(CliTest, StandardInputAndOutput) {
    const std::string input = Sjis("　こんにちは　\r\n");
    auto r = RunCli({"text", "-o", "-", "-"}, dir.path(), input);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string(kTemplate) + Sjis("00:00:000=こんにちは\r\n"));

    // UTF-8 on standard input is converted like a UTF-8 file.
    auto utf8 = RunCli({"text", "--output=-", "-"}, dir.path(), "こんにちは\n");
    EXPECT_EQ(utf8.out, r.out);

    auto toFile = RunCli({"winamp", "-o", "out.lyr", "-"}, dir.path(), "[00:00:50]a\n");
    EXPECT_EQ(toFile.status, 0);
    EXPECT_EQ(test::ReadBytes(dir / "out.lyr"), std::string(kTemplate) + "00:00:500=a\r\n");
    EXPECT_EQ(RunCli({"text", "-"}, dir.path(), "x").status, 64);  // nowhere to write
}

TEST_F(CliTest, MissingInputAndWriteFailures) {
    auto missing = RunCli({"text", "nothere.txt"}, dir.path());
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "nothere.txt：ファイルが見つかりません\n");

    Write("a.txt", "x");
    auto badDir = RunCli({"text", "-o", "no/such/dir/a.lyr", "a.txt"}, dir.path());
    EXPECT_EQ(badDir.status, 1);
    EXPECT_NE(badDir.err.find("no/such/dir/a.lyr"), std::string::npos) << badDir.err;
}

// Runs zveklc-cli with its standard output going to `sink` and files limited
// to `maxFileBytes` (0: no limit); the exit status, and standard error in `err`.
int RunWithOutputTo(const std::vector<std::string>& args, const std::filesystem::path& cwd, const std::string& sink,
                    rlim_t maxFileBytes, std::string& err) {
    const std::string errPath = (cwd / "stderr.txt").string();
    std::vector<std::string> copies(args);
    copies.insert(copies.begin(), ZVEKLC_CLI_PATH);
    std::vector<char*> argv;
    for (auto& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(sink.c_str(), O_WRONLY | O_CREAT, 0600);
        const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || errFd < 0 || ::dup2(out, 1) < 0 || ::dup2(errFd, 2) < 0 || ::chdir(cwd.c_str()) != 0) _exit(127);
        if (maxFileBytes > 0) {
            // Past the limit a write fails with EFBIG, as on a full disk.
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{maxFileBytes, maxFileBytes};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    err = test::ReadBytes(errPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(CliTest, FailedWritesToStandardOutputFail) {
    Write("a.txt", "Hello\r\n");
    const std::string full = dir / "full";  // a node of our own for the full device, never /dev/full
    const bool haveFull = ::mknod(full.c_str(), S_IFCHR | 0600, makedev(1, 7)) == 0;
    struct Sink {
        std::string path;
        rlim_t limit;
    } sinks[] = {{dir / "out.txt", 128}, {full, 0}};
    for (const auto& sink : sinks) {
        if (sink.path == full && !haveFull) {
            std::cout << "skipped the full device: device nodes need root\n";
            continue;
        }
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"text", "-q", "-o", "-", "a.txt"}, std::vector<std::string>{"--help"}}) {
            SCOPED_TRACE(sink.path + " " + testing::PrintToString(args));
            std::filesystem::remove(dir.path() / "out.txt");
            std::string err;
            EXPECT_EQ(RunWithOutputTo(args, dir.path(), sink.path, sink.limit, err), 1);
            EXPECT_NE(err.find("標準出力に書き込めません"), std::string::npos) << err;
        }
    }
}

TEST_F(CliTest, ControlBytesInMessagesAreEscaped) {
    // Names and addresses may come from anybody's files; a terminal must not
    // obey what they hold (retitle itself, clear the screen).
    const std::pair<std::string, std::string> cases[] = {
        {"a\x1b]0;owned\x07.txt", "a\\x1B]0;owned\\x07.txt"},
        {"b\x1b[2J\r.txt", "b\\x1B[2J\\x0D.txt"},
        {"c\xc2\x9b" "2J\x7f.txt", "c\\xC2\\x9B2J\\x7F.txt"},  // C1 in UTF-8, DEL
        {"d\x9b.txt", "d\\x9B.txt"},                              // a stray byte
        {"歌.txt", "歌.txt"},
    };
    for (const auto& [name, shown] : cases) {
        auto r = RunCli({"text", name}, dir.path());
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, shown + "：ファイルが見つかりません\n");
    }
    auto usage = RunCli({"text", "--\x1b[2J", "a.txt"}, dir.path());
    EXPECT_EQ(usage.status, 64);
    EXPECT_NE(usage.err.find("unknown option '--\\x1B[2J'"), std::string::npos) << usage.err;
}

TEST_F(CliTest, UsageErrors) {
    Write("a.txt", "x");
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate", "a.txt"},
        {"text"},
        {"text", "a.txt", "b.txt"},
        {"text", "--bogus", "a.txt"},
        {"text", "a.txt", "-o"},
        {"text", "-o", "", "a.txt"},
        {"text", "--artist", "a.txt"},
        {"search"},
        {"search", "-o", "out.txt", "a.txt"},
        {"search", "-r", "ref.htm", "a.txt"},
        {"browser", "a.txt"},
        {"browser", "--artist"},
    };
    for (const auto& args : bad) {
        auto r = RunCli(args, dir.path());
        EXPECT_EQ(r.status, 64) << testing::PrintToString(args);
        EXPECT_NE(r.err.find("--help"), std::string::npos);
    }
    EXPECT_FALSE(Exists("a.lyr"));

    auto help = RunCli({"--help"}, dir.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("zveklc-cli COMMAND [OPTIONS] INPUT"), std::string::npos);
    EXPECT_EQ(RunCli({"text", "-h"}, dir.path()).status, 0);
    auto version = RunCli({"--version"}, dir.path());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("zveklc-cli ", 0), 0u);

    // "--" ends the options: a file may start with "-".
    Write("-odd.txt", "x");
    EXPECT_EQ(RunCli({"text", "-q", "--", "-odd.txt"}, dir.path()).status, 0);
    EXPECT_TRUE(Exists("-odd.lyr"));
}

TEST_F(CliTest, HtmlWritesThePageText) {
    Write("page.htm", "<html><body>Hello<br>World</body></html>");
    auto r = RunCli({"html", "page.htm"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::ReadBytes(dir / "page.txt"), "Hello\r\nWorld\r\n");
    EXPECT_EQ(RunCli({"html", "page.htm"}, dir.path()).status, 1);  // page.txt exists now
    // Any name is read as a page; standard input too.
    Write("saved.dat", "<body>x</body>");
    EXPECT_EQ(RunCli({"html", "-q", "saved.dat"}, dir.path()).status, 0);
    EXPECT_EQ(test::ReadBytes(dir / "saved.txt"), "x\r\n");
    auto piped = RunCli({"html", "-o", "-", "-"}, dir.path(), "<body>a</p>b</body>");
    EXPECT_EQ(piped.out, "a\r\nb\r\n");
}

TEST_F(CliTest, LrcInAndOut) {
    // UTF-16 with a byte-order mark, a code set that opening alone does not read.
    std::string lrc = "\xFF\xFE";
    for (char c : std::string_view("[ti:Song]\n[00:02.00]b\n[00:01.005]a\n[0x:03.00]c\n")) lrc += {c, '\0'};
    Write("song.lrc", lrc);
    auto in = RunCli({"lrc", "song.lrc"}, dir.path());
    EXPECT_EQ(in.status, 0) << in.err;
    EXPECT_NE(in.err.find("タイムタグ"), std::string::npos) << in.err;
    std::string expected(kTemplate);
    expected.replace(expected.find("Title="), 6, "Title=Song");
    EXPECT_EQ(test::ReadBytes(dir / "song.lyr"), expected + CrLf({"00:01:005=a", "[0x:03.00]c", "00:02:000=b"}));

    auto out = RunCli({"unlrc", "-q", "song.lyr"}, dir.path());
    EXPECT_EQ(out.status, 1) << "song.lrc is the input's own name and exists";
    std::filesystem::remove(dir.path() / "song.lrc");
    out = RunCli({"unlrc", "-q", "song.lyr"}, dir.path());
    EXPECT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(test::ReadBytes(dir / "song.lrc"), CrLf({"[ti:Song]", "[00:01.01]a", "[00:02.00]b"}));
    EXPECT_NE(test::ReadBytes(dir / "song.lyr").find("Title=Song"), std::string::npos) << "the input is left alone";

    Write("jp.lyr", Sjis("00:01:005=歌\r\n"));
    auto sjis = RunCli({"unlrc", "--ms", "-e", "sjis", "-o", "-", "jp.lyr"}, dir.path());
    EXPECT_EQ(sjis.out, Sjis("[00:01.005]歌\r\n"));
    EXPECT_EQ(RunCli({"unlrc", "-o", "-", "jp.lyr"}, dir.path()).out, "[00:01.01]\xE6\xAD\x8C\r\n");
    for (const auto& args : std::vector<std::vector<std::string>>{{"unlrc", "-e", "latin1", "jp.lyr"},
                                                                   {"lrc", "--ms", "song.lrc"},
                                                                   {"unlrc", "-r", "x.htm", "jp.lyr"}})
        EXPECT_EQ(RunCli(args, dir.path()).status, 64) << testing::PrintToString(args);
}

TEST_F(CliTest, SearchPrintsWhatTheFindMenuOpens) {
    test::ScopedEnv map{"ZVEKLC_UTAMAP_HOST", "map.test"};
    test::ScopedEnv net{"ZVEKLC_UTANET_HOST", "net.test"};
    const std::string song = CrLf({"[Spec]", Sjis("title=あ B"), "Artist=", "[Text]", "00:01:000=x"});
    Write("song.lyr", song);
    const std::string utaMap = "http://map.test/search.php?searchname=srtitle&inputvalue=%82%A0+B&act=search\n";
    const std::string utaNet =
        "http://net.test/members/phplib/maphp001.php3?cursession=index2&curuserid=pageone&MA_select_ga=%B6%CA%CC%BE"
        "&MA_text1_de=%A4%A2%20%42&MA_select_kasio=%A4%AC%B4%DE%A4%DE%A4%EC%A4%EB&MA_sousa=%B8%A1%BA%F7\n";
    const std::string topPages = "http://net.test/\nhttp://map.test/\n";
    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::string out;
    } cases[] = {
        {{"search", "song.lyr"}, "", utaMap + utaNet},
        {{"search", "--artist", "song.lyr"}, "", topPages},
        {{"search", "-"}, "Title=\xe3\x81\x82 B\r\n", utaMap + utaNet},  // UTF-8 input is read as text is
        {{"search", "-q", "-"}, "no title\r\n", topPages},
    };
    for (const auto& c : cases) {
        auto r = RunCli(c.args, dir.path(), c.input);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, c.out) << testing::PrintToString(c.args);
        EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // nothing written
    EXPECT_EQ(test::ReadBytes(dir / "song.lyr"), song);
    EXPECT_EQ(RunCli({"search", "nothere.lyr"}, dir.path()).status, 2);
}

TEST_F(CliTest, BrowserWithoutAPageSaysSo) {
    // An empty home: no browser profile to ask.
    std::filesystem::create_directory(dir.path() / "home");
    test::ScopedEnv home{"HOME", dir / "home"};
    test::ScopedEnv config{"XDG_CONFIG_HOME", dir / "home"};
    auto r = RunCli({"browser"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "インターネットエクスプローラーで歌詞ページを表示させてください\n");
}

TEST_F(CliTest, BundledSampleConverts) {
    std::filesystem::copy_file(std::string(ZVEKLC_SAMPLES) + "/sample.txt", dir.path() / "sample.txt");
    auto r = RunCli({"text", "sample.txt"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string out = test::ReadBytes(dir / "sample.lyr");
    EXPECT_EQ(out.rfind(kTemplate, 0), 0u);
    EXPECT_NE(out.find(Sjis("00:00:000=ひかりが部屋にこぼれる\r\n")), std::string::npos);
    EXPECT_NE(r.err.find("sample.lyr"), std::string::npos);  // says where it wrote
}

}  // namespace
}  // namespace zvek

namespace zvek {
namespace {

const std::string kRefPage = test::Sjis("前書き\r\n朝の窓をあけて\r\nWalking down the street\r\n");

class CliTagTest : public CliTest {
protected:
    void SetUp() override {
        Write("ref.txt", kRefPage);
        Write("song.lyr", CrLf({"[Spec]", "Title=x", "[Text]", test::Sjis("00:01:000=朝の窓をあけて"),
                                "00:02:000=Walking down the street"}));
    }
};

TEST_F(CliTagTest, TagAndUntagWithDefaultNames) {
    auto tag = RunCli({"tag", "-r", "ref.txt", "song.lyr"}, dir.path());
    ASSERT_EQ(tag.status, 0) << tag.err;
    const std::string tagFile = test::ReadBytes(dir / "song.TagLyr");
    EXPECT_EQ(tagFile.rfind("[TagLyr]\r\nTagVer=1000\r\nLyrFile=song.lyr\r\nReference=ref.txt\r\n\r\n", 0), 0u);
    EXPECT_EQ(tagFile.find("Walking"), std::string::npos);

    // The rebuilt file takes the LyrFile= name, beside the tag file.
    std::filesystem::create_directory(dir.path() / "out");
    std::filesystem::rename(dir.path() / "song.TagLyr", dir.path() / "out/song.TagLyr");
    std::filesystem::rename(dir.path() / "song.lyr", dir.path() / "song.orig");
    auto untag = RunCli({"untag", "--reference", "ref.txt", "out/song.TagLyr"}, dir.path());
    ASSERT_EQ(untag.status, 0) << untag.err;
    EXPECT_EQ(test::ReadBytes(dir / "out/song.lyr"), test::ReadBytes(dir / "song.orig"));
}

TEST_F(CliTagTest, ReferenceProblems) {
    EXPECT_EQ(RunCli({"tag", "song.lyr"}, dir.path()).status, 64);  // no -r and no URL= line
    auto missing = RunCli({"tag", "-r", "nothere.htm", "song.lyr"}, dir.path());
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "nothere.htm：ファイルが見つかりません\n");
    EXPECT_FALSE(Exists("song.TagLyr"));
    // A URL= value serves as the reference only when it is a web address:
    // a shared file must not be able to pull a local file into the output.
    for (const std::string& url : {std::string("ref.txt"), dir / "ref.txt", "file://" + (dir / "ref.txt")}) {
        Write("url.lyr", CrLf({"[Spec]", "URL=" + url, "[Text]", "00:02:000=Walking down"}));
        auto r = RunCli({"tag", "-q", "url.lyr"}, dir.path());
        EXPECT_EQ(r.status, 64) << url;
        EXPECT_NE(r.err.find("no reference"), std::string::npos) << r.err;
        EXPECT_FALSE(Exists("url.TagLyr"));
    }
    // One the user names is the user's choice.
    EXPECT_EQ(RunCli({"tag", "-q", "-r", dir / "ref.txt", "url.lyr"}, dir.path()).status, 0);
}

TEST_F(CliTagTest, TheTagFileNamesOnlyLyricsFilesBesideIt) {
    ASSERT_EQ(RunCli({"tag", "-q", "-r", "ref.txt", "-o", "t.TagLyr", "song.lyr"}, dir.path()).status, 0);
    std::string tagFile = test::ReadBytes(dir / "t.TagLyr");
    const std::size_t name = tagFile.find("LyrFile=song.lyr\r\n") + 8;
    for (const std::string value : {"-", ".bash_profile", "notes.sh"}) {
        SCOPED_TRACE(value);
        Write("t.TagLyr", std::string(tagFile).replace(name, 8, value));
        auto r = RunCli({"untag", "-q", "-r", "ref.txt", "t.TagLyr"}, dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "");  // "-" from a file is no order to print
        EXPECT_FALSE(Exists(value));
        EXPECT_TRUE(Exists("t.lyr"));
        std::filesystem::remove(dir.path() / "t.lyr");
    }
}

TEST_F(CliTagTest, PartialResultsAreWrittenOnlyWhenAsked) {
    ASSERT_EQ(RunCli({"tag", "-r", "ref.txt", "-o", "t.TagLyr", "song.lyr"}, dir.path()).status, 0);
    Write("cut.txt", test::Sjis("朝の窓をあけて\r\n"));
    auto partial = RunCli({"untag", "-r", "cut.txt", "-o", "p.lyr", "t.TagLyr"}, dir.path());
    EXPECT_EQ(partial.status, 13);
    EXPECT_NE(partial.err.find("変換できない所がありました"), std::string::npos);
    EXPECT_FALSE(Exists("p.lyr"));
    auto kept = RunCli({"untag", "--partial", "-q", "-r", "cut.txt", "-o", "p.lyr", "t.TagLyr"}, dir.path());
    EXPECT_EQ(kept.status, 13);
    const std::string out = test::ReadBytes(dir / "p.lyr");
    EXPECT_NE(out.find(test::Sjis("00:01:000=朝の窓をあけて\r\n")), std::string::npos);
    EXPECT_NE(out.find("00:02:000=<"), std::string::npos);
}

TEST_F(CliTagTest, AutoDecidesLikeTheWindow) {
    Write("plain.txt", "Hello\r\n");
    ASSERT_EQ(RunCli({"auto", "-q", "plain.txt"}, dir.path()).status, 0);
    EXPECT_EQ(test::ReadBytes(dir / "plain.lyr").substr(0, 8), "[Spec]\r\n");

    ASSERT_EQ(RunCli({"auto", "-q", "-r", "ref.txt", "song.lyr"}, dir.path()).status, 0);
    EXPECT_TRUE(Exists("song.TagLyr"));
    EXPECT_EQ(RunCli({"auto", "-q", "song.TagLyr"}, dir.path()).status, 64);  // needs a reference
    std::filesystem::rename(dir.path() / "song.lyr", dir.path() / "song.orig");
    ASSERT_EQ(RunCli({"auto", "-q", "-r", "ref.txt", "song.TagLyr"}, dir.path()).status, 0);
    EXPECT_EQ(test::ReadBytes(dir / "song.lyr"), test::ReadBytes(dir / "song.orig"));
}

}  // namespace
}  // namespace zvek
