#include "window/WindowHost.h"

#include <cstdio>

#include "platform/ShowInBrowser.h"

namespace zvek {

MsgResult HostScript::Answer(std::string_view text, MsgKind kind, MsgButtons buttons) {
    messages.push_back({std::string(text), kind, buttons});
    if (buttons == MsgButtons::Ok) return MsgResult::Ok;
    if (answers.empty()) return MsgResult::Cancel;
    const MsgResult answer = answers.front();
    answers.pop_front();
    return answer;
}

bool HostScript::Choose(FileDialog& dialog) {
    dialogs.push_back(dialog);
    if (dialogFiles.empty()) return false;
    dialog.fileName = dialogFiles.front();
    dialogFiles.pop_front();
    return true;
}

std::string MessageLines(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

MsgResult WindowHost::MessageBox(std::string_view text, MsgKind kind, MsgButtons buttons) {
    if (unattended_) {
        const std::string line = MessageLines(text) + '\n';
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
        return buttons == MsgButtons::Ok ? MsgResult::Ok : MsgResult::Cancel;
    }
    return script_ ? script_->Answer(text, kind, buttons) : ShowMessageBox(text, kind, buttons);
}

bool WindowHost::ExecuteDialog(FileDialog& dialog) {
    if (unattended_) return false;
    return script_ ? script_->Choose(dialog) : ShowFileDialog(dialog);
}

void WindowHost::SetStatusText(std::string_view text) {
    status_ = text;
    ShowStatusText(text);
}

bool WindowHost::Browse(const std::string& address, bool opened) {
    if (script_) {
        script_->browsed.push_back(address);
        opened = !script_->noBrowser;
    }
    if (!opened)
        MessageBox("ブラウザを起動できませんでした\r\n次のアドレスをブラウザで開いてください：\r\n" + address,
                   MsgKind::Warning, MsgButtons::Ok);
    return opened;
}

bool WindowHost::OpenInBrowser(const std::string& address) {
    return Browse(address, !script_ && zvek::OpenInBrowser(address));
}

bool WindowHost::OpenLocalPage(const std::string& path) {
    const auto address = LocalPageAddress(path);
    if (!address) return false;
    return Browse(*address, !script_ && OpenLocalPageInBrowser(path));
}

void WindowHost::ProcessMessages() {
    if (onProcessMessages) onProcessMessages();
    HandleEvents();
}

}  // namespace zvek
