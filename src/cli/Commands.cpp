// What each command of zveklc-cli does to the document it opened.
#include "cli/Commands.h"

#include "cli/ConsoleHost.h"
#include "cli/Options.h"
#include "lyrics/Conversions.h"
#include "lyrics/FindCommands.h"
#include "lyrics/Lrc.h"
#include "lyrics/LyricsDocument.h"
#include "lyrics/OpenBrowserPage.h"
#include "platform/Files.h"
#include "tags/AutoConvert.h"
#include "tags/TagConversions.h"
#include "web/BrowserCurrentPage.h"

namespace zvek {

namespace {

// The reference a conversion needs, in the order -r, the document's URL=
// web address, and for a tag file being rebuilt its own Reference= (as far
// as it may be trusted); named on standard error.
std::string ReferenceFor(const LyricsDocument& doc, const Options& options, const std::string& input, bool rebuild) {
    std::string reference, from;
    if (options.reference) {
        reference = *options.reference, from = "-r で指定";
    } else if (reference = DocumentReferenceUrl(doc); !reference.empty()) {
        from = "文書の URL=";
    } else if (rebuild && !(reference = TagFileReference(doc, input == "-" ? std::string() : input)).empty()) {
        from = "タグファイルの Reference=";
    } else {
        throw UsageError{rebuild
                             ? "no reference: give one with -r (the tag file has no http:// or https:// URL= "
                               "line, and its Reference= names no web address or .htm/.html file beside it)"
                             : "no reference: give one with -r (the document has no http:// or https:// URL= line)"};
    }
    doc.host().SetStatusText("参照ページ：" + reference + "（" + from + "）");
    return reference;
}

template <void (*convert)(LyricsDocument&)>
bool RunPlain(LyricsDocument& doc, const Options&, const std::string&) {
    convert(doc);
    return true;
}

bool RunTag(LyricsDocument& doc, const Options& options, const std::string& input) {
    return MakeTagFile(doc, ReferenceFor(doc, options, input, false));
}

bool RunUntag(LyricsDocument& doc, const Options& options, const std::string& input) {
    return RestoreFromTagFile(doc, ReferenceFor(doc, options, input, true));
}

bool RunAuto(LyricsDocument& doc, const Options& options, const std::string& input) {
    const AutoAction action = DecideAutoConversion(doc);
    doc.host().SetStatusText(AutoConversionNote(doc, action));
    switch (action) {
    case AutoAction::FromUrl:
        return ConvertWithReference(doc, ReferenceFor(doc, options, input, IsTagFile(doc)));
    case AutoAction::TagToZVEK:
        return RunUntag(doc, options, input);
    case AutoAction::ZVEKToTag:
        return RunTag(doc, options, input);
    case AutoAction::WinAmp:
        return RunPlain<ConvertWinAmpToZVEK>(doc, options, input);
    case AutoAction::Text:
        return RunPlain<ConvertTextToZVEK>(doc, options, input);
    }
    return false;
}

// Unreadable stamps are a warning, shown even with -q.
bool RunLrc(LyricsDocument& doc, const Options&, const std::string&) {
    int invalid = 0;
    doc.SetLines(LrcToZVEK(doc.TakeLines(), invalid));
    if (!doc.FileName().empty()) doc.SetFileName(ChangeFileExt(doc.FileName(), ".lyr"));
    if (invalid > 0) doc.host().Warn(InvalidStampsNote(invalid));
    return true;
}

bool RunNothing(LyricsDocument&, const Options&, const std::string&) { return true; }

constexpr Command kCommands[] = {
    {"text", "", "plain lyrics text -> player lyrics (.lyr)", RunPlain<ConvertTextToZVEK>, Kind::Convert, ".lyr",
     Stream::TextToLyrics},
    {"untext", "", "player lyrics -> plain text (default output: INPUT with .txt)", RunPlain<ConvertZVEKToText>,
     Kind::Convert, ".txt"},
    {"winamp", "", "WinAmp-style timed lyrics -> player lyrics (.lyr)", RunPlain<ConvertWinAmpToZVEK>, Kind::Convert,
     ".lyr"},
    {"lrc", "",
     "LRC lyrics (UTF-8, UTF-16, Shift-JIS or EUC-JP) -> player lyrics (.lyr);\n"
     "refused when its stamps would make the lyrics over 8 times its size",
     RunLrc, Kind::Lrc, ".lyr"},
    {"unlrc", "",
     "player lyrics -> LRC (INPUT with .lrc); UTF-8 unless -e sjis;\n"
     "--ms writes milliseconds instead of hundredths",
     RunNothing, Kind::Export, ".lrc"},
    {"tag", "", "player lyrics -> tag file (.TagLyr); needs a reference", RunTag, Kind::Convert, ".TagLyr"},
    {"untag", "",
     "tag file -> player lyrics (the name in its LyrFile=, else .lyr);\n"
     "needs a reference",
     RunUntag},
    {"auto", "", "decides as Convert Auto does (and says what it decided)", RunAuto},
    {"html", "", "the page text of an HTML file (INPUT with .txt)", RunNothing, Kind::Html, ".txt", Stream::PageText},
    {"search", "[--artist] INPUT",
     "prints the UtaMap and then the UtaNet search address for the\n"
     "document's Title= (--artist: Artist=) value; the two top pages\n"
     "(UtaNet first) when the value is empty. Writes no file.",
     RunNothing, Kind::Search},
    {"browser", "", "prints the address of the page the web browser shows (no INPUT)", RunNothing, Kind::Browser},
};

}  // namespace

std::span<const Command> Commands() { return kCommands; }

bool Writes(Kind kind) {
    return kind == Kind::Convert || kind == Kind::Html || kind == Kind::Lrc || kind == Kind::Export;
}

ExitStatus RunSearch(const LyricsDocument& doc, const Options& options) {
    std::string out;
    for (const auto& address : FindLyricsAddresses(doc, options.artist ? SearchField::Artist : SearchField::Title))
        out += address + "\n";
    return WriteStdout(out) ? ExitStatus::Ok : ExitStatus::Failure;
}

// The address is what the browser gives, as it gives it: the window cleans
// it up only when it fetches the page. It is anybody's text, though: its
// control characters are shown escaped, and it stays on one line.
ExitStatus RunBrowser(const ConsoleHost& host) {
    const std::string page = GetBrowserPage();
    if (page.empty()) {
        host.Print(kNoBrowserPageText);
        return ExitStatus::Failure;
    }
    return WriteStdout(EscapeForTerminal(page, true) + "\n") ? ExitStatus::Ok : ExitStatus::Failure;
}

}  // namespace zvek
