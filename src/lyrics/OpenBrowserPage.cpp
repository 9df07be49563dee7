#include "lyrics/OpenBrowserPage.h"

#include "lyrics/LyricsDocument.h"
#include "lyrics/ReferencePage.h"
#include "platform/Waitcur.h"
#include "web/BrowserCurrentPage.h"
#include "web/WebAddress.h"

namespace zvek {

std::optional<std::string> ShownBrowserPage(Host& host) {
    const std::optional<std::string> shown = WaitForBrowserPage(host);
    if (!shown) return std::nullopt;  // the user stopped it
    std::string page = NormalizeBrowserUrl(*shown);
    if (page.empty()) {
        host.MessageBox(kNoBrowserPageText, MsgKind::Error, MsgButtons::Ok);
        return std::nullopt;
    }
    return page;
}

void MenuOpenIEClick(LyricsDocument& doc) {
    const std::optional<std::string> address = ShownBrowserPage(doc.host());
    if (!address || !doc.MayDiscardEditsFor(*address)) return;
    hlWaitCursor wait(doc.host());
    // A local page is one by its own scheme, whatever its path holds.
    if (!HasWebScheme(*address)) {
        doc.OpenFile(*address);
        return;
    }
    if (std::optional<ReferencePage> page = OpenReferencePage(doc, *address, true, Fetch::Shown)) {
        ReadReferencePage(*page, PageReading::Bytes);
        doc.OpenPage(page->bytes);
    }
}

}  // namespace zvek
