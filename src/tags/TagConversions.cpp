#include "tags/TagConversions.h"

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

constexpr int kProgressEvery = 16;

// The caret follows the loop from line to line, so that showing progress
// never recounts the lines already passed.
void ShowProgress(LyricsDocument& doc, LyricsDocument::CaretWalk& caret, int index) {
    if (index % kProgressEvery != 0) return;
    caret.MoveTo(index);
    doc.host().ProcessMessages();
}

void PrepareReferenceDialog(FileDialog& dialog) {
    dialog.title = "歌詞テキスト";
    dialog.filterIndex = 4;
    dialog.defaultExt = "txt";
}

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

void MenuTagToZVEKClick(LyricsDocument& doc) {
    PrepareReferenceDialog(doc.OpenDialog);
    if (doc.host().ExecuteDialog(doc.OpenDialog)) RestoreFromTagFile(doc, doc.OpenDialog.fileName);
}

void MenuZVEKToTagClick(LyricsDocument& doc) {
    PrepareReferenceDialog(doc.OpenDialog);
    if (doc.host().ExecuteDialog(doc.OpenDialog)) MakeTagFile(doc, doc.OpenDialog.fileName);
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
    doc.ClearUndo();
    ReadReferencePage(*ref, PageReading::Text);
    const Haystack page(std::move(ref->text));

    std::vector<std::string> header = {
        "[TagLyr]",
        "TagVer=1000",
        "LyrFile=" + Utf8ToSjis(ExtractFileName(doc.FileName()), true),
        "Reference=" + Utf8ToSjis(web ? "Reference.htm" : ExtractFileName(reference), true),
    };
    if (!ref->address.empty()) header.push_back("URL=" + Utf8ToSjis(ref->address, true));
    header.emplace_back();
    doc.InsertLines(0, std::move(header));

    doc.KeepQuotes = false;
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(doc.LineCount()));
    int index = 0;
    for (; index < doc.LineCount(); ++index) {
        out.push_back(doc.GetLine(index));
        if (IsTextSectionLine(out.back())) break;
    }
    std::string words;
    std::size_t unfound = 0;
    LyricsDocument::CaretWalk caret(doc);
    for (++index; index < doc.LineCount(); ++index) {
        ShowProgress(doc, caret, index);
        const std::string& line = doc.Lines()[static_cast<std::size_t>(index)];
        const int time = line.empty() ? kNoTime : SplitLyricsLine(line, words, doc.KeepQuotes);
        if (line.empty() || words.empty() || HasDisplayDirective(words)) out.push_back(line);
        else out.push_back(MakeLyricsLine(time, EncodeWords(words, page, &unfound)));
    }
    doc.SetLines(std::move(out));
    doc.MoveCaretTo(0, 0);
    doc.SetFileName(ChangeFileExt(doc.FileName(), ".TagLyr"));
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
    doc.ClearUndo();
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
    int header = 0;
    if (LowerAscii(doc.GetLine(0)) == "[taglyr]") {
        if (std::string lyrFile = LyrFileName(doc.Value("LyrFile")); !lyrFile.empty()) name = std::move(lyrFile);
        while (header < doc.LineCount() && !IsSpecSectionLine(doc.Lines()[static_cast<std::size_t>(header)])) ++header;
        doc.DeleteLines(0, header);
    }

    std::string output;
    int index = 0;
    for (; index < doc.LineCount(); ++index) {
        const std::string& line = doc.Lines()[static_cast<std::size_t>(index)];
        output += line;
        output += "\r\n";
        if (IsTextSectionLine(line)) break;
    }
    std::string words;
    LyricsDocument::CaretWalk caret(doc);
    for (++index; index < doc.LineCount(); ++index) {
        ShowProgress(doc, caret, index);
        const std::string& line = doc.Lines()[static_cast<std::size_t>(index)];
        // Lines the writer carries unchanged are read back unchanged.
        const bool literal =
            line.empty() || (SplitLyricsLine(line, words, false), words.empty()) || HasDisplayDirective(words);
        if (literal) {
            output += line;
        } else if (!DecodeTagLine(line, texts, output)) {
            doc.UnresolvedLines.push_back(header + index + 1);
        }
        output += "\r\n";
    }
    if (!doc.UnresolvedLines.empty()) doc.ResultCode = kResultPartial;

    doc.SetText(output);
    doc.MoveCaretTo(0, 0);
    doc.SetFileName(name);
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
