// Finding, fetching and reading the page a command reads beside its document.
#include "lyrics/ReferencePage.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "lyrics/LyricsDocument.h"
#include "platform/Files.h"
#include "platform/TempFiles.h"
#include "text/Codec.h"
#include "text/Sjis.h"
#include "web/Html.h"
#include "web/Inet.h"
#include "web/LyricsSites.h"
#include "web/WebAddress.h"

namespace zvek {

namespace {

// A local reference is read whole, like a download, and no larger than one.
constexpr std::size_t kMaxReferenceBytes = 16u << 20;

// A file of the private temporary folder for one download; it goes with the object.
class TempPage {
public:
    TempPage() : path_(UniqueTempFile(".htm")) {}
    ~TempPage() { std::remove(path_.c_str()); }
    TempPage(const TempPage&) = delete;
    TempPage& operator=(const TempPage&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The tag maker's download: the window keeps painting meanwhile and the user
// may stop it. `pageAddress` becomes the address that gave the page.
bool DownloadQuietly(LyricsDocument& doc, const std::string& address, const std::string& file,
                     std::string& pageAddress) {
    TDownloadThread download(doc.host());
    pageAddress = address;
    bool fetched = download.Start(address, file, true);
    if (!fetched && !download.Cancelled()) {
        if (const std::string members = UtaNetMembersAddress(address); !members.empty()) {
            fetched = download.Start(members, file, true);
            if (fetched) pageAddress = members;
        }
    }
    if (fetched) return true;
    doc.ResultCode = kResultPageNotFetched;
    if (!download.Cancelled())
        doc.host().MessageBox(address + "：ページを取得できませんでした" + FailureNote(download), MsgKind::Error,
                              MsgButtons::Ok);
    return false;
}

// The address a page saved by a browser records in its first
// "<!-- saved from url=" comment, or nothing.
std::string SavedFromAddress(const TokenList& tokens) {
    constexpr std::string_view kSavedFrom = "<!-- saved from url=";
    for (const auto& token : tokens) {
        const std::size_t at = FindText(token, kSavedFrom);
        if (at == std::string::npos) continue;
        // "(0026)", the length, then the address itself: its own scheme
        // decides, in the lower case the browser writes, not an "http:"
        // further on ("about:blank#http://...").
        std::string_view address = std::string_view(token).substr(at + kSavedFrom.size());
        if (address.starts_with("(")) {
            const std::size_t close = FindChar(address, ')');
            address.remove_prefix(close == std::string_view::npos ? address.size() : close + 1);
        }
        if (!address.starts_with("http:") && !address.starts_with("https:")) return {};
        if (address.ends_with("-->")) address.remove_suffix(3);
        while (!address.empty() && static_cast<unsigned char>(address.back()) <= 0x20) address.remove_suffix(1);
        return SjisToUtf8(NormalizeBrowserUrl(address));
    }
    return {};
}

// Hands the bytes back as soon as they are read: a large page is held in
// several forms while it is read.
void Release(std::string& s) { std::string().swap(s); }

}  // namespace

std::optional<ReferencePage> OpenReferencePage(LyricsDocument& doc, const std::string& reference, bool web,
                                               Fetch fetch) {
    ReferencePage page;
    if (web) {
        const TempPage file;
        page.web = page.page = true;
        page.address = reference;
        if (fetch == Fetch::Quiet ? !DownloadQuietly(doc, reference, file.path(), page.address)
                                  : !FetchPage(doc.host(), reference, file.path())) {
            doc.ResultCode = kResultPageNotFetched;
            return std::nullopt;
        }
        page.bytes = ReadFileBytes(file.path(), kMaxReferenceBytes);
        return page;
    }
    if (!FileExists(reference)) {
        if (fetch == Fetch::Shown) doc.host().SetStatusText("");
        doc.ResultCode = kResultFileNotFound;
        doc.host().MessageBox(reference + "：ファイルが見つかりません", MsgKind::Error, MsgButtons::Ok);
        return std::nullopt;
    }
    page.page = IsHtmlFileName(reference);
    page.path = reference;
    return page;
}

void ReadReferencePage(ReferencePage& page, PageReading what) {
    // Even a file the user names may be a device or something like
    // /proc/kcore: nothing past the cap is read.
    if (!page.web) page.bytes = ReadFileBytes(page.path, kMaxReferenceBytes);
    if (what == PageReading::Bytes) return;
    if (!page.page) {
        std::string converted;
        std::size_t replaced = 0;
        page.text = JoinLines(SplitLines(TextFromFileBytes(page.bytes, converted, replaced)));
    } else if (what == PageReading::Text) {
        hlvHtml html;
        TokenList tokens;
        html.LoadTokensFromBytes(page.bytes, tokens);
        Release(page.bytes);
        if (page.address.empty()) page.address = SavedFromAddress(tokens);
        page.text = JoinLines(hlvHtml::PageText(tokens));
    } else {
        // Straight from the bytes: a token list takes many times the page.
        HtmlPageLines lines = ReadHtmlPage(page.bytes, HtmlSourceFor::NotShiftJis);
        page.text = JoinLines(lines.text);
        std::vector<std::string>().swap(lines.text);
        if (lines.charset == csShiftJis) {
            page.source = JoinLines(SplitLines(page.bytes));
        } else {
            Release(page.bytes);
            page.source = JoinLines(lines.source);
        }
    }
    Release(page.bytes);
}

}  // namespace zvek
