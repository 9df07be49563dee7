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
        throw UsageError{
            rebuild ? "参照ページがありません。-r で指定してください（タグファイルに http:// か https:// の "
                      "URL= 行がなく、Reference= もウェブのアドレスやそばの .htm/.html ファイルを指していません）"
                    : "参照ページがありません。-r で指定してください（文書に http:// か https:// の URL= 行が"
                      "ありません）"};
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

// Unreadable stamps and text that had to change are a warning, shown even
// with -q.
bool RunLrc(LyricsDocument& doc, const Options&, const std::string&) {
    LrcReadCounts counts;
    doc.SetLines(LrcToZVEK(doc.TakeLines(), counts));
    if (!doc.FileName().empty()) doc.SetFileName(ChangeFileExt(doc.FileName(), ".lyr"));
    if (const std::string note = LrcReadNote(counts); !note.empty()) doc.host().Warn(note);
    return true;
}

bool RunNothing(LyricsDocument&, const Options&, const std::string&) { return true; }

constexpr Command kCommands[] = {
    {"text", "", "歌詞のテキスト -> 歌詞ファイル (.lyr)", RunPlain<ConvertTextToZVEK>, Kind::Convert, ".lyr",
     Stream::TextToLyrics},
    {"untext", "", "歌詞ファイル -> テキスト（既定の出力: INPUT の拡張子を .txt に）", RunPlain<ConvertZVEKToText>,
     Kind::Convert, ".txt"},
    {"winamp", "", "WinAmp 形式の時間付き歌詞 -> 歌詞ファイル (.lyr)", RunPlain<ConvertWinAmpToZVEK>, Kind::Convert,
     ".lyr"},
    {"lrc", "",
     "LRC の歌詞（UTF-8、UTF-16、Shift-JIS、EUC-JP）-> 歌詞ファイル (.lyr)。\n"
     "タイムタグで歌詞がファイルの 8 倍を超えるときは変換しません",
     RunLrc, Kind::Lrc, ".lyr"},
    {"unlrc", "",
     "歌詞ファイル -> LRC（INPUT の拡張子を .lrc に）。-e sjis でなければ\n"
     "UTF-8。--ms で 100 分の 1 秒の代わりにミリ秒を書きます",
     RunNothing, Kind::Export, ".lrc"},
    {"tag", "", "歌詞ファイル -> タグファイル (.TagLyr)。参照ページが要ります", RunTag, Kind::Convert, ".TagLyr"},
    {"untag", "",
     "タグファイル -> 歌詞ファイル（名前は LyrFile= の値、なければ .lyr）。\n"
     "参照ページが要ります",
     RunUntag},
    {"auto", "", "コンバート（オート）と同じように変換を選びます（選んだ変換を表示）", RunAuto},
    {"html", "", "HTML ファイルのページのテキスト（INPUT の拡張子を .txt に）", RunNothing, Kind::Html, ".txt",
     Stream::PageText},
    {"search", "[--artist] INPUT",
     "文書の Title=（--artist: Artist=）の値で、うたまっぷと歌ネットの\n"
     "検索アドレスをこの順に表示します。値が空なら二つのトップページ\n"
     "（歌ネットが先）。ファイルは書きません",
     RunNothing, Kind::Search},
    {"browser", "", "ウェブブラウザーが表示しているページのアドレスを表示します（INPUT なし）", RunNothing,
     Kind::Browser},
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
