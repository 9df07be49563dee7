#include "tags/TagConversions.h"

#include <chrono>
#include <optional>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "lyrics/LyricsDocument.h"
#include "lyrics/LyricsFormat.h"
#include "lyrics/LyricsLines.h"
#include "lyrics/OpenBrowserPage.h"
#include "lyrics/ReferencePage.h"
#include "platform/Files.h"
#include "platform/Waitcur.h"
#include "tags/Fingerprint.h"
#include "tags/ReferenceTexts.h"
#include "tags/TagFile.h"
#include "text/Codec.h"
#include "text/Sjis.h"
#include "web/Inet.h"
#include "web/LyricsSites.h"
#include "web/WebAddress.h"

namespace zvek {

namespace {

// How far a conversion is, shown by time rather than by lines, so that a
// long document is not slowed down by the window redrawing it: right away,
// then every 50 ms, the caret goes to the line being converted, the window
// says how far it is and handles its events. False once the user asked to
// stop.
class Progress {
public:
    explicit Progress(LyricsDocument& doc) : doc_(doc), selStart_(doc.SelStart()), selLength_(doc.SelLength()) {}
    bool Continue(int line) {
        if (++lines_ % 16 != 1) return true;  // the clock is read every 16 lines
        const auto now = std::chrono::steady_clock::now();
        if (now < next_) return true;
        next_ = now + std::chrono::milliseconds(50);
        Host& host = doc_.host();
        doc_.MoveCaretTo(0, line);
        host.ShowProgress("タグファイル変換中... " + std::to_string(line) + "/" + std::to_string(doc_.LineCount()) +
                          "行");
        host.ProcessMessages();
        return !host.CancelRequested();
    }
    // The document is left as it was, caret and all.
    bool Stopped() {
        doc_.SetSelection(selStart_, selLength_);
        doc_.host().SetStatusText("中止しました");
        return false;
    }

private:
    LyricsDocument& doc_;
    std::size_t selStart_, selLength_;
    int lines_ = 0;
    std::chrono::steady_clock::time_point next_{};
};

}  // namespace

namespace {

// The value of `name` (UTF-8) when it is an http:// or https:// address.
std::string WebAddressValue(const LyricsDocument& doc, std::string_view name) {
    const std::string value = doc.Value(name);
    return IsHttpAddress(value) ? SjisToUtf8(value) : std::string();
}

}  // namespace

std::string DocumentReferenceUrl(const LyricsDocument& doc) { return WebAddressValue(doc, "URL"); }

std::string TagFileReference(const LyricsDocument& doc, const std::string& tagFilePath) {
    if (std::string address = WebAddressValue(doc, "Reference"); !address.empty()) return address;
    const std::string name = SjisToUtf8(doc.Value("Reference"));
    if (name.empty() || name.front() == '.' || name.find_first_of("/\\") != std::string::npos ||
        !IsHtmlFileName(name) || tagFilePath.empty())
        return {};
    const std::string path = ReplaceFileName(tagFilePath, name);
    return FileExists(path) ? path : std::string();
}

std::string LyrFileName(std::string_view value) {
    // No folders of either kind of separator: the file goes beside the tag file.
    const std::string name = SjisToUtf8(value);
    const std::size_t cut = name.find_last_of("/\\");
    const std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
    // Nothing hidden (".profile", "..") and nothing but lyrics: the lines of
    // a tag file are copied into the result as they stand.
    if (base.empty() || base.front() == '.') return {};
    const std::string ext = LowerAscii(ExtractFileExt(base));
    for (const char* lyrics : {".lyr", ".lyrics", ".words", ".zveklyr", ".zvekwrd", ".txt"})
        if (ext == lyrics) return base;
    return {};
}

namespace {

// `web`: the reference is an address to download, not a local file. A
// reference the user names is judged by IsWebAddress; a browser's page by
// its own scheme, since a local page's path may hold "http:" too.
bool MakeTagFileFrom(LyricsDocument& doc, const std::string& reference, bool web);
bool RestoreFromTagFileWith(LyricsDocument& doc, const std::string& reference, bool web);

bool ConvertWith(LyricsDocument& doc, const std::string& reference, bool web) {
    return IsTagFile(doc) ? RestoreFromTagFileWith(doc, reference, web) : MakeTagFileFrom(doc, reference, web);
}

}  // namespace

bool ConvertWithReference(LyricsDocument& doc, const std::string& reference) {
    return ConvertWith(doc, reference, IsWebAddress(reference));
}

namespace {

// Asks for the reference page in the open dialog. The document itself is
// never proposed, and refused when chosen: converting a tag file against
// itself would leave neither the words nor the tag file. A tag file
// proposes the page it names beside it, lyrics the page last chosen.
bool ChooseReference(LyricsDocument& doc) {
    const auto isDocument = [&](const std::string& path) {
        return !path.empty() && (path == doc.FileName() || SameFile(path, doc.FileName()));
    };
    FileDialog& dialog = doc.OpenDialog;
    dialog.title = "参照する歌詞テキスト";
    dialog.filterIndex = 4;
    dialog.defaultExt = "txt";
    if (IsTagFile(doc)) {
        const std::string named = TagFileReference(doc, doc.FileName());
        dialog.fileName = IsWebAddress(named) ? std::string() : named;
    } else if (isDocument(dialog.fileName)) {
        dialog.fileName.clear();
    }
    if (!doc.host().ExecuteDialog(dialog)) return false;
    if (!isDocument(dialog.fileName)) return true;
    doc.host().MessageBox(ExtractFileName(dialog.fileName) +
                              "は変換する文書そのものです\r\n参照する歌詞ページか歌詞テキストを選んでください",
                          MsgKind::Warning, MsgButtons::Ok);
    return false;
}

}  // namespace

void MenuTagToZVEKClick(LyricsDocument& doc) {
    // Nothing to rebuild: say so before asking for a page.
    if (!IsTagFile(doc)) {
        doc.host().MessageBox("タグファイルではありません（[TagLyr]がありません）", MsgKind::Warning, MsgButtons::Ok);
        return;
    }
    if (ChooseReference(doc)) RestoreFromTagFile(doc, doc.OpenDialog.fileName);
}

void MenuZVEKToTagClick(LyricsDocument& doc) {
    if (ChooseReference(doc)) MakeTagFile(doc, doc.OpenDialog.fileName);
}

void MenuConvertFromURLClick(LyricsDocument& doc) {
    std::string address = DocumentReferenceUrl(doc);
    if (address.empty()) return;
    address = ResolveUtaNetUrl(address);
    doc.host().OpenInBrowser(address);
    ConvertWithReference(doc, address);
    doc.host().BringToTop();
}

void MenuConvertFromIEClick(LyricsDocument& doc) {
    const std::optional<std::string> page = ShownBrowserPage(doc.host());
    if (page) ConvertWith(doc, *page, HasWebScheme(*page));
}

std::string UnfoundCharsNote(std::size_t count) {
    return std::to_string(count) + "文字は参照ページに見つからないため、そのまま書き込みました";
}

bool IsTagFile(const LyricsDocument& doc) { return doc.Contains("[TagLyr]"); }

bool MakeTagFile(LyricsDocument& doc, const std::string& reference) {
    return MakeTagFileFrom(doc, reference, IsWebAddress(reference));
}

bool RestoreFromTagFile(LyricsDocument& doc, const std::string& reference) {
    return RestoreFromTagFileWith(doc, reference, IsWebAddress(reference));
}

namespace {

bool MakeTagFileFrom(LyricsDocument& doc, const std::string& reference, bool web) {
    hlWaitCursor wait(doc.host());
    doc.ResultCode = kResultOk;
    std::optional<ReferencePage> ref = OpenReferencePage(doc, reference, web, Fetch::Quiet);
    if (!ref) return false;
    ReadReferencePage(*ref, PageReading::Text);
    const Haystack page(std::move(ref->text));

    std::vector<std::string> out = {
        "[TagLyr]",
        "TagVer=1000",
        "LyrFile=" + Utf8ToSjis(ExtractFileName(doc.FileName()), true),
        "Reference=" + Utf8ToSjis(web ? "Reference.htm" : ExtractFileName(reference), true),
    };
    if (!ref->address.empty()) out.push_back("URL=" + Utf8ToSjis(ref->address, true));
    out.emplace_back();
    out.reserve(out.size() + static_cast<std::size_t>(doc.LineCount()));

    doc.KeepQuotes = false;
    const std::vector<std::string>& lines = doc.Lines();
    const int count = doc.LineCount();
    int index = 0;
    for (; index < count; ++index) {
        out.push_back(lines[static_cast<std::size_t>(index)]);
        if (IsTextSectionLine(out.back())) break;
    }
    std::string words;
    std::size_t unfound = 0;
    Progress progress(doc);
    for (++index; index < count; ++index) {
        if (!progress.Continue(index)) return progress.Stopped();
        const std::string& line = lines[static_cast<std::size_t>(index)];
        const int time = line.empty() ? kNoTime : SplitLyricsLine(line, words, doc.KeepQuotes);
        if (line.empty() || words.empty() || HasDisplayDirective(words)) out.push_back(line);
        else out.push_back(MakeLyricsLine(time, EncodeWords(words, page, &unfound)));
    }
    doc.ClearUndo();
    doc.SetLines(std::move(out));
    doc.MoveCaretTo(0, 0);
    doc.SetFileName(ChangeFileExt(doc.FileName(), ".TagLyr"));
    // The tag file exists only in the editor until it is saved.
    doc.Modified = true;
    doc.host().SetStatusText("");
    // Whoever shares the tag file shares these words with it.
    if (unfound > 0) doc.host().Warn(UnfoundCharsNote(unfound));
    return true;
}

bool RestoreFromTagFileWith(LyricsDocument& doc, const std::string& reference, bool web) {
    hlWaitCursor wait(doc.host());
    Host& host = doc.host();
    doc.ResultCode = kResultOk;
    std::optional<ReferencePage> ref =
        OpenReferencePage(doc, web ? ResolveUtaNetUrl(reference) : reference, web, Fetch::Shown);
    if (!ref) return false;
    doc.UnresolvedLines.clear();
    host.SetStatusText((doc.FileName().empty() ? doc.UntitledName : doc.FileName()) + "を変換中...");

    ReadReferencePage(*ref, PageReading::TextAndSource);
    if (ref->web && ContainsText(ref->text, kSiteBusyText)) {
        host.SetStatusText("");
        host.MessageBox("サイトが混雑しています\r\n再実行してください", MsgKind::Warning, MsgButtons::Ok);
        return false;
    }
#if defined(__GLIBC__)
    // Reading a large page leaves its many pieces (source lines)
    // freed but still held; hand them back before its folded copies are made.
    const bool large = ref->text.size() + ref->source.size() >= (std::size_t{1} << 20);
#endif
    ReferenceTexts texts(std::move(ref->text), std::move(ref->source));
#if defined(__GLIBC__)
    if (large) malloc_trim(0);
#endif

    std::string name = ChangeFileExt(doc.FileName(), ".lyr");
    const std::vector<std::string>& lines = doc.Lines();
    const int count = doc.LineCount();
    // The tag file's header is left out of the result.
    int index = 0;
    if (LowerAscii(doc.GetLine(0)) == "[taglyr]") {
        if (std::string lyrFile = LyrFileName(doc.Value("LyrFile")); !lyrFile.empty()) name = std::move(lyrFile);
        while (index < count && !IsSpecSectionLine(lines[static_cast<std::size_t>(index)])) ++index;
    }

    std::string output;
    for (; index < count; ++index) {
        const std::string& line = lines[static_cast<std::size_t>(index)];
        output += line;
        output += "\r\n";
        if (IsTextSectionLine(line)) break;
    }
    std::string words;
    std::vector<int> unresolved;
    Progress progress(doc);
    for (++index; index < count; ++index) {
        if (!progress.Continue(index)) return progress.Stopped();
        const std::string& line = lines[static_cast<std::size_t>(index)];
        // Lines the writer carries unchanged are read back unchanged.
        const bool literal =
            line.empty() || (SplitLyricsLine(line, words, false), words.empty()) || HasDisplayDirective(words);
        if (literal) {
            output += line;
        } else if (!DecodeTagLine(line, texts, output)) {
            unresolved.push_back(index + 1);
        }
        output += "\r\n";
    }
    doc.UnresolvedLines = std::move(unresolved);
    if (!doc.UnresolvedLines.empty()) doc.ResultCode = kResultPartial;

    doc.ClearUndo();
    doc.SetText(output);
    doc.MoveCaretTo(0, 0);
    doc.SetFileName(name);
    // The rebuilt lyrics exist only in the editor until they are saved.
    doc.Modified = true;
    host.SetStatusText("");
    if (doc.ResultCode != kResultOk) {
        host.MessageBox(
            "変換できない所がありました\r\n参照ファイルを変えてみてください\r\nサイトが混雑している為ページを取得できな"
            "かった"
            "可能性もあります",
            MsgKind::Warning, MsgButtons::Ok);
        return false;
    }
    return true;
}

}  // namespace

}  // namespace zvek
