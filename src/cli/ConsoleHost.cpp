#include "cli/ConsoleHost.h"

#include <cstdio>

namespace zvek {

void ConsoleHost::Print(std::string_view text) const {
    // Message texts break lines with CR LF; a terminal wants LF.
    std::string out;
    out.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out.push_back(text[i]);
    }
    out.push_back('\n');
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}

MsgResult ConsoleHost::MessageBox(std::string_view text, MsgKind kind, MsgButtons buttons) {
    if (!quiet_ || kind == MsgKind::Error || kind == MsgKind::Warning) Print(text);
    return buttons == MsgButtons::Ok ? MsgResult::Ok : MsgResult::Cancel;
}

void ConsoleHost::SetStatusText(std::string_view text) {
    if (quiet_ || text.empty() || text == lastStatus_) return;
    lastStatus_ = text;
    Print(text);
}

}  // namespace zvek
