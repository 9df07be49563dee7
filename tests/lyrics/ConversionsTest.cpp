// The three conversions, end to end: a file is opened, converted and saved,
// and the saved bytes are compared as a whole.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "lyrics/Conversions.h"
#include "lyrics/LyricsDocument.h"
#include "lyrics/LyricsLines.h"

namespace zvek {
namespace {

using test::CrLf;
using test::Sjis;

std::vector<std::string> WithTemplate(std::vector<std::string> text) {
    std::vector<std::string> lines = {"[Spec]", "Title=", "Artist=", "Lyrics=", "Music=", "Presenter=", "Comment=", "",
                                      "Size=246,38", "Adjust=0", Sjis("Font=\"ＭＳ Ｐゴシック\",-16,SHIFTJIS,Normal"),
                                      "Alignment=Center", "WordWrap=1", "", "[Text]"};
    lines.insert(lines.end(), text.begin(), text.end());
    return lines;
}

class ConversionsTest : public ::testing::Test {
protected:
    // Opens `name` holding `bytes`, runs `convert` and saves under the name
    // the document then has; returns the saved bytes.
    std::string Convert(void (*convert)(LyricsDocument&), const std::string& name, std::string_view bytes) {
        test::WriteBytes(dir / name, bytes);
        EXPECT_TRUE(doc.OpenFile(dir / name));
        convert(doc);
        const std::string out = dir / "out.bin";
        doc.SaveFile(out);
        return test::ReadBytes(out);
    }

    test::TempDir dir;
    test::FakeHost host;
    LyricsDocument doc{host};
};

TEST_F(ConversionsTest, TextBecomesPlayerLyricsAtTimeZero) {
    const std::string input = CrLf({"Hello", "", "World"});
    EXPECT_EQ(Convert(ConvertTextToZVEK, "song.txt", input),
              CrLf(WithTemplate({"00:00:000=Hello", "00:00:000=", "00:00:000=World"})));
}

TEST_F(ConversionsTest, TextLinesAreTrimmedRetimedAndCleaned) {
    const std::string input = CrLf({
        Sjis("　　前の空白　と後ろの空白　"),  // full-width spaces at the ends go, inner ones stay
        "  \t padded \t ",
        "01:02:003=Hello",              // an old time is replaced
        ";note",                        // text lines are never comments
        "a=b",                          // not a time tag: all of it is words
        "\"quoted alone\"",             // a single quoted string loses its quotes
        "\" a \" , \"b\",\"c \"",       // a quoted list stays a list, its strings cleaned
        "say \"hi\" ",
        "=start",
    });
    const std::string expected = CrLf(WithTemplate({
        Sjis("00:00:000=前の空白　と後ろの空白"),
        "00:00:000=padded",
        "00:00:000=Hello",
        "00:00:000=;note",
        "00:00:000=a=b",
        "00:00:000=quoted alone",
        "00:00:000=\"a\",\"b\",\"c\"",
        "00:00:000=say \"hi\"",
        "00:00:000==start",
    }));
    EXPECT_EQ(Convert(ConvertTextToZVEK, "song.txt", input), expected);
}

TEST_F(ConversionsTest, TextConversionStateChanges) {
    Convert(ConvertTextToZVEK, "song.txt", "x\r\n");
    EXPECT_TRUE(doc.TakeUndoClearRequest());
    // Convert() saved to out.bin; convert again to look at the name.
    doc.OpenFile(dir / "song.txt");
    ConvertTextToZVEK(doc);
    EXPECT_EQ(doc.FileName(), dir / "song.lyr");
    EXPECT_EQ(doc.Caption(), "song.lyr");
    EXPECT_EQ(doc.OpenedFile(), dir / "song.txt");
    EXPECT_TRUE(doc.Modified);
    EXPECT_EQ(test::ReadBytes(dir / "song.txt"), "x\r\n");  // nothing written
    EXPECT_EQ(host.ScreenCursor(), crDefault);
}

TEST_F(ConversionsTest, TextConversionOfAnEmptyDocumentWithoutName) {
    ConvertTextToZVEK(doc);
    EXPECT_EQ(doc.Text(), CrLf(WithTemplate({"00:00:000="})));
    EXPECT_EQ(doc.FileName(), "");
    // A name without extension gets one.
    doc.SetText("x");
    doc.SetFileName("/tmp/dir.v2/README");
    ConvertTextToZVEK(doc);
    EXPECT_EQ(doc.FileName(), "/tmp/dir.v2/README.lyr");
}

TEST_F(ConversionsTest, PlayerLyricsBackToText) {
    const std::string input = CrLf({
        "[Spec]", "Title=x", "[TEXT]",
        "00:00:000=Hello", "00:00:000=", "", "00:00:000=World",
        "00:01:000=\"a\",\"b\"",
        "00:02:000=\"a\" , \"b\"",
        "00:03:000=" + Sjis("\"　lead\""),
        ";note", "\"plain quoted\"", "00:04:000=say \"\"hi\"\"",
    });
    const std::string expected = CrLf({
        "Hello", "", "", "World", "a", "b", "a", "b", Sjis("　lead"), ";note", "plain quoted", "say \"\"hi\"\"",
    });
    EXPECT_EQ(Convert(ConvertZVEKToText, "song.lyr", input), expected);
    EXPECT_TRUE(doc.KeepQuotes);  // left set, as the conversion leaves it
}

TEST_F(ConversionsTest, TextRoundTripsThroughPlayerLyrics) {
    const std::vector<std::string> text = {"Hello", "", "World", Sjis("こんにちは　世界"), "x, \"y\""};
    doc.SetLines(text);
    ConvertTextToZVEK(doc);
    ConvertZVEKToText(doc);
    EXPECT_EQ(doc.Lines(), text);
}

TEST_F(ConversionsTest, PlayerLyricsWithoutTextSectionBecomeEmpty) {
    EXPECT_EQ(Convert(ConvertZVEKToText, "a.lyr", CrLf({"[Spec]", " [Text]", "00:00:000=x"})), "");
    EXPECT_TRUE(doc.TakeUndoClearRequest());
    EXPECT_EQ(doc.FileName(), dir / "out.bin");
}

TEST_F(ConversionsTest, WinAmpLyricsBecomePlayerLyrics) {
    const std::string input = CrLf({
        "[[[Music Info]]]",
        "[ar:Someone]",
        "[00:12:34]Hello",
        "[00:12.34]Hello",
        "[00:12]Hello",
        "[00:12:34]",
        "[00:01:00][00:05:00]Hello",
        "  \t ",
        "[",
        "[1 no close",
        "Hello",
        "  [00:20:00] padded  ",
        "[00:30:00" + Sjis("ゾ]x"),  // "ゾ" is 0x83 0x5D: its trail byte is no "]"
    });
    const std::string expected = CrLf(WithTemplate({
        "",
        ";[ar:Someone]",
        "00:12:340=Hello",
        "00:12.34=Hello",
        "00:12=Hello",
        "00:12:340=",
        "00:01:000=[00:05:00]Hello",
        "  \t ",
        ";[",
        ";[1 no close",
        ";Hello",
        "00:20:000= padded",
        "00:30:00" + Sjis("ゾ0=x"),
    }));
    EXPECT_EQ(Convert(ConvertWinAmpToZVEK, "song.txt", input), expected);
}

TEST_F(ConversionsTest, WinAmpConversionNamesAndSkips) {
    doc.SetText("[00:01:00]x");
    ConvertWinAmpToZVEK(doc);
    EXPECT_EQ(doc.FileName(), ".lyr");  // even a document without a name
    EXPECT_TRUE(doc.Modified);

    // A document that already starts with [Spec] is left exactly as it is.
    doc.SetText("[SPEC]\r\n[00:01:00]x");
    doc.SetFileName("a.txt");
    doc.Modified = false;
    doc.TakeUndoClearRequest();
    ConvertWinAmpToZVEK(doc);
    EXPECT_EQ(doc.Text(), "[SPEC]\r\n[00:01:00]x\r\n");
    EXPECT_EQ(doc.FileName(), "a.txt");
    EXPECT_FALSE(doc.Modified);
    EXPECT_FALSE(doc.TakeUndoClearRequest());

    // Converting twice changes nothing the second time.
    doc.SetText("[00:01:00]x");
    ConvertWinAmpToZVEK(doc);
    const std::string once = doc.Text();
    ConvertWinAmpToZVEK(doc);
    EXPECT_EQ(doc.Text(), once);
}

TEST_F(ConversionsTest, WinAmpTimesSurviveALaterReading) {
    // "mm:ss.xx" is copied as it stands and must still read as that time.
    doc.SetText("[01:23.45]Hello\r\n[01:23:45]World");
    ConvertWinAmpToZVEK(doc);
    EXPECT_EQ(doc.GetLine(15), "01:23.45=Hello");
    EXPECT_EQ(doc.GetLine(16), "01:23:450=World");
    EXPECT_EQ(ParseTimeTag(doc.GetLine(15)), 83450);
    EXPECT_EQ(ParseTimeTag(doc.GetLine(16)), 83450);
}

}  // namespace
}  // namespace zvek
