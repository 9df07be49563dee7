// The streamed route of zveklc-cli (html, text from a file) against the
// document route, which reads standard input: the same bytes for every
// input; and the output-file rules on the streamed route.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "TestSupport.h"
#include "lyrics/Conversions.h"
#include "lyrics/LyricsDocument.h"

namespace zvek {
namespace {

using namespace test;
using namespace std::string_literals;

// Inputs of every kind either command may meet.
std::vector<std::string> Inputs() {
    std::vector<std::string> inputs = {
        "",
        "\r",
        "\n\r\n\r",
        "a",
        "<",
        "<body>",
        "<body>a\rb\nc\r\nd",
        "<body>a<br>b",  // no final line end
        "<body><blockquote><ol><li>1<li type=circle>2</ol><ul><li>x</ul></blockquote><!-- <br> -->",
        "\xEF\xBB\xBF<body>\xF0\x9F\x8E\xB5 \xE6\xAD\x8C</body>",  // UTF-8 with a byte-order mark, no Shift-JIS form
        "\x1B$B<body>\x24\x22\x1B(B<br>\x1B$",                     // ISO-2022-JP with an escape cut off
        "<body>\x81<br>\x82\xA0\xFD\xFE\xFF\x80\x00x\x8E\xB1\xE0"s,
        "\xA4\xA2<body>\xA4\xA4</body>\xA4",
        "  \xE3\x81\x82  \r\n\"a\" , \"b\"\r\n00:01:000=\" x \"\r\n\r\n[00:01:00]w\r",
        "\x81\x40\x81\x40\r\n\t \r\n",
    };
    // A lyrics page in each code set, and one whose code set shows only in its
    // bytes; short and long runs of pairs between single bytes, for the block
    // converters.
    std::string body = "春の風<br>\r\n<p>夜空　に</p>\n<li>ラララ\r&amp;<br>";
    const std::string kana = "あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもや";
    for (std::size_t n = 1; n < 40; ++n) body += kana.substr(0, 3 * n) + (n % 3 ? "a" : "<br>\r\n");
    for (const auto& set : kPageCodeSets)
        inputs.push_back(Iconv(set.iconvName, "UTF-8",
                               "<html><head><meta charset=\""s + set.charset + "\"></head>\r\n<body>" + body));
    inputs.push_back(Iconv("EUC-JP", "UTF-8", "<body>" + body));
    for (const char* dir : {ZVEKLC_SAMPLES, ZVEKLC_TEST_DATA "/html"})
        for (const auto& entry : std::filesystem::directory_iterator(dir)) inputs.push_back(ReadBytes(entry));
    // Random mixes of the bytes the readers decide on.
    const std::vector<std::string> pieces = {
        "<",  ">", "<br>",   "<body>",     "</p>", "<!--",     "-->",          "\r",
        "\n", " ", "\x1B$B", "\x1B(B",     "\x81", "\xA4\xA2", "\x82\xA0",     "\xFD",
        "\"", ",", "=",      "00:01:000=", "a",    "\x81\x40", "\xE3\x81\x82", std::string(1, '\0')};
    std::mt19937 random(7);
    for (int i = 0; i < 20; ++i) {
        std::string& input = inputs.emplace_back();
        for (std::size_t n = random() % 200; n > 0; --n) input += pieces[random() % pieces.size()];
    }
    inputs.push_back(std::string(300000, 'x') + "\r\n" + Sjis("　歌\r\n") +
                     std::string(200000, '<'));  // several blocks
    return inputs;
}

struct StreamedTest : ::testing::Test {
    TempDir dir;
};

TEST_F(StreamedTest, WritesWhatTheDocumentRouteWrites) {
    const std::vector<std::string> inputs = Inputs();
    // {command, file, same messages}: a page not named as one is opened as
    // text first, with that reader's note.
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"html", "in.html", true}, {"html", "in.txt", false}, {"text", "in.txt", true}};
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        for (const auto& [command, name, sameMessages] : cases) {
            SCOPED_TRACE(std::string(command) + " " + name + " input " + std::to_string(i));
            WriteBytes(dir / name, inputs[i]);
            const auto document = RunCli({command, "-o", "-", "-"}, dir.path(), inputs[i]);
            const auto streamed = RunCli({command, "-o", "-", name}, dir.path());
            EXPECT_EQ(std::tuple(streamed.status, document.status), std::tuple(0, 0)) << streamed.err << document.err;
            EXPECT_TRUE(streamed.out == document.out);  // no dump of megabytes on failure
            EXPECT_EQ(sameMessages ? streamed.err : document.err, document.err);
        }
    }
}

// The text conversion line by line is the conversion of the whole selection.
TEST_F(StreamedTest, TextConversionByLineIsTheSelectionSteps) {
    for (const std::string& input : Inputs()) {
        FakeHost host;
        LyricsDocument byLine(host), steps(host);
        byLine.LoadTextBytes(input);
        ConvertTextToZVEK(byLine);
        steps.LoadTextBytes(input);
        for (int i = 0; i < steps.LineCount(); ++i) steps.SetLine(i, std::string(Trim(steps.GetLine(i))));
        steps.SelectAll();
        RetimeSelection(steps);
        steps.SelectAll();
        NormalizeSelection(steps);
        steps.InsertLyricsTemplate();
        EXPECT_TRUE(byLine.Text() == steps.Text()) << testing::PrintToString(input.substr(0, 200));
    }
}

TEST_F(StreamedTest, OutputFilesAreNewOrReplacedWhole) {
    const std::string page = "<body>" + std::string(400000, 'x') + "<br>y</body>";
    const std::string text = std::string(400000, 'x') + "\r\ny\r\n" + "x";
    WriteBytes(dir / "song.txt", text);
    const std::string pageText = RunCli({"html", "-o", "-", "-"}, dir.path(), page).out;
    const std::string lyrics = RunCli({"text", "-o", "-", "-"}, dir.path(), text).out;
    // {command, what lies at the output beforehand (nullptr: nothing), status,
    // the output, what it holds afterwards, a part of standard error, a file size limit}
    const std::tuple<const char*, const char*, int, const char*, std::string, const char*, std::uint64_t> cases[] = {
        {"text song.txt", nullptr, 0, "song.lyr", lyrics, "保存しました：song.lyr", 0},
        {"html page.html", "mine", 1, "page.txt", "mine", "ファイルが既にあります（上書きするには --force", 0},
        {"text -f -o out.lyr song.txt", "mine", 0, "out.lyr", lyrics, "保存しました：out.lyr", 0},
        {"html -f -o page.html page.html", page.c_str(), 0, "page.html", pageText, "保存しました", 0},
        {"text -o big.lyr song.txt", nullptr, 1, "big.lyr", "", "big.lyr", 200000},
        {"text -f -o big.lyr song.txt", "mine", 1, "big.lyr", "mine", "big.lyr", 200000},
        {"text -o no/such/dir.lyr song.txt", nullptr, 1, "no/such/dir.lyr", "", "no/such/dir.lyr", 0}};
    for (const auto& [command, old, status, output, expected, message, maxFileBytes] : cases) {
        SCOPED_TRACE(command);
        WriteBytes(dir / "page.html", page);
        std::filesystem::remove(dir / output);
        if (old) WriteBytes(dir / output, old);
        struct stat before {
        }, after{};
        ::stat((dir / output).c_str(), &before);
        const auto r = RunCli(test::Words(command), dir.path(), {}, {}, maxFileBytes);
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        const bool exists = ::stat((dir / output).c_str(), &after) == 0;
        EXPECT_EQ(exists, old || status == 0);
        EXPECT_TRUE(!exists || ReadBytes(dir / output) == expected);
        // Replaced by a rename, never rewritten in place; no temporary file stays.
        EXPECT_TRUE(!old || status != 0 || after.st_ino != before.st_ino);
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
    }
}

}  // namespace
}  // namespace zvek
