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
using Lines = std::vector<std::string>;

Lines WithTemplate(const Lines& text) {
    Lines lines = {"[Spec]", "Title=", "Artist=", "Lyrics=", "Music=", "Presenter=", "Comment=", "",
                   "Size=246,38", "Adjust=0", Sjis("Font=\"ＭＳ Ｐゴシック\",-16,SHIFTJIS,Normal"),
                   "Alignment=Center", "WordWrap=1", "", "[Text]"};
    lines.insert(lines.end(), text.begin(), text.end());
    return lines;
}

class ConversionsTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::FakeHost host;
    LyricsDocument doc{host};
};

TEST_F(ConversionsTest, SavedFilesHoldTheConvertedLines) {
    const struct {
        const char* what;
        void (*convert)(LyricsDocument&);
        Lines input, expected;
    } cases[] = {
        {"text", ConvertTextToZVEK,
         {"Hello", "",
          Sjis("　　前の空白　と後ろの空白　"),  // full-width spaces at the ends go, inner ones stay
          "  \t padded \t ",
          "01:02:003=Hello",          // an old time is replaced
          ";note",                    // text lines are never comments
          "a=b",                      // not a time tag: all of it is words
          "\"quoted alone\"",         // a single quoted string loses its quotes
          "\" a \" , \"b\",\"c \"",   // a quoted list stays a list, its strings cleaned
          "say \"hi\" ", "=start"},
         WithTemplate({"00:00:000=Hello", "00:00:000=", Sjis("00:00:000=前の空白　と後ろの空白"), "00:00:000=padded",
                       "00:00:000=Hello", "00:00:000=;note", "00:00:000=a=b", "00:00:000=quoted alone",
                       "00:00:000=\"a\",\"b\",\"c\"", "00:00:000=say \"hi\"", "00:00:000==start"})},
        {"WinAmp", ConvertWinAmpToZVEK,
         {"[[[Music Info]]]", "[ar:Someone]", "[00:12:34]Hello", "[00:12.34]Hello", "[00:12]Hello", "[00:12:34]",
          "[00:01:00][00:05:00]Hello", "  \t ", "[", "[1 no close", "Hello", "  [00:20:00] padded  ",
          "[00:30:00" + Sjis("ゾ]x")},  // "ゾ" is 0x83 0x5D: its trail byte is no "]"
         WithTemplate({"", ";[ar:Someone]", "00:12:340=Hello", "00:12.34=Hello", "00:12=Hello", "00:12:340=",
                       "00:01:000=[00:05:00]Hello", "  \t ", ";[", ";[1 no close", ";Hello", "00:20:000= padded",
                       "00:30:00" + Sjis("ゾ0=x")})},
        {"player lyrics to text", ConvertZVEKToText,
         {"[Spec]", "Title=x", "[TEXT]", "00:00:000=Hello", "00:00:000=", "", "00:00:000=World",
          "00:01:000=\"a\",\"b\"", "00:02:000=\"a\" , \"b\"", "00:03:000=" + Sjis("\"　lead\""), ";note",
          "\"plain quoted\"", "00:04:000=say \"\"hi\"\""},
         {"Hello", "", "", "World", "a", "b", "a", "b", Sjis("　lead"), ";note", "plain quoted", "say \"\"hi\"\""}},
        {"player lyrics without a text section", ConvertZVEKToText, {"[Spec]", " [Text]", "00:00:000=x"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteBytes(dir / "in.txt", CrLf(c.input));
        ASSERT_TRUE(doc.OpenFile(dir / "in.txt"));
        doc.TakeUndoClearRequest();
        c.convert(doc);
        EXPECT_TRUE(doc.TakeUndoClearRequest());
        doc.SaveFile(dir / "out.bin");
        EXPECT_EQ(test::ReadBytes(dir / "out.bin"), CrLf(c.expected));
    }
    EXPECT_TRUE(doc.KeepQuotes);  // left set by the conversion back to text
}

}  // namespace
}  // namespace zvek
