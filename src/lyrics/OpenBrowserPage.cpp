#include "lyrics/OpenBrowserPage.h"

#include <cstdio>
#include <optional>
#include <string>

#include "lyrics/LyricsDocument.h"
#include "platform/TempFiles.h"
#include "platform/Waitcur.h"
#include "web/BrowserCurrentPage.h"
#include "web/WebAddress.h"
#include "web/Inet.h"

namespace zvek {

void MenuOpenIEClick(LyricsDocument& doc) {
    Host& host = doc.host();
    const std::optional<std::string> shown = WaitForBrowserPage(host);
    if (!shown) return;  // the user stopped it
    const std::string address = NormalizeBrowserUrl(*shown);
    if (address.empty()) {
        host.MessageBox(kNoBrowserPageText, MsgKind::Error, MsgButtons::Ok);
        return;
    }
    if (!doc.MayDiscardEditsFor(address)) return;
    hlWaitCursor wait(host);
    if (!HasWebScheme(address)) {
        doc.OpenFile(address);
        return;
    }
    const std::string page = UniqueTempFile(".htm");
    if (!FetchPage(host, address, page)) {
        doc.ResultCode = kResultPageNotFetched;
        return;
    }
    doc.OpenFile(page);
    std::remove(page.c_str());
    doc.SetFileName("");
}

}  // namespace zvek
