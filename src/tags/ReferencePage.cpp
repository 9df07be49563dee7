// Reading the reference page of a tag conversion, from a file or the web.
#include "tags/ReferencePage.h"

#include "lyrics/LyricsDocument.h"
#include "text/Sjis.h"
#include "text/Codec.h"
#include "platform/Files.h"
#include "platform/TempFiles.h"
#include "web/WebAddress.h"
#include "web/Inet.h"
#include "web/LyricsSites.h"

namespace zvek {

namespace {

// A local reference is read whole, like a download, and no larger than one.
constexpr std::size_t kMaxReferenceBytes = 16u << 20;

}  // namespace

std::string ReadReference(const std::string& path) { return ReadFileBytes(path, kMaxReferenceBytes); }

std::vector<std::string> TextReferenceLines(const std::string& path) {
    std::size_t replaced = 0;
    return SplitLines(TextFromFileBytes(ReadReference(path), replaced));
}

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

std::unique_ptr<DownloadedPage> DownloadReferenceForTag(LyricsDocument& doc, const std::string& address,
                                                        std::string& pageAddress) {
    auto page = std::make_unique<DownloadedPage>(UniqueTempFile(".htm"));
    TDownloadThread download(doc.host());
    pageAddress = address;
    bool fetched = download.Start(address, page->path(), true);
    if (!fetched && !download.Cancelled()) {
        if (const std::string members = UtaNetMembersAddress(address); !members.empty()) {
            fetched = download.Start(members, page->path(), true);
            if (fetched) pageAddress = members;
        }
    }
    if (fetched) return page;
    doc.ResultCode = kResultPageNotFetched;
    if (!download.Cancelled())
        doc.host().MessageBox(address + "：ページを取得できませんでした" + FailureNote(download), MsgKind::Error,
                              MsgButtons::Ok);
    return nullptr;
}

std::unique_ptr<DownloadedPage> DownloadReferenceForRestore(LyricsDocument& doc, const std::string& address) {
    auto page = std::make_unique<DownloadedPage>(UniqueTempFile(".htm"));
    if (!FetchPage(doc.host(), ResolveUtaNetUrl(address), page->path())) {
        doc.ResultCode = kResultPageNotFetched;
        return nullptr;
    }
    return page;
}

}  // namespace zvek
