#include "window/WindowHost.h"

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

MsgResult WindowHost::MessageBox(std::string_view text, MsgKind kind, MsgButtons buttons) {
    return script_ ? script_->Answer(text, kind, buttons) : ShowMessageBox(text, kind, buttons);
}

bool WindowHost::ExecuteDialog(FileDialog& dialog) {
    return script_ ? script_->Choose(dialog) : ShowFileDialog(dialog);
}

bool WindowHost::OpenInBrowser(const std::string& address) {
    if (!script_) return zvek::OpenInBrowser(address);
    script_->browsed.push_back(address);
    return true;
}

bool WindowHost::OpenLocalPage(const std::string& path) {
    if (!script_) return OpenLocalPageInBrowser(path);
    const auto address = LocalPageAddress(path);
    if (address) script_->browsed.push_back(*address);
    return address.has_value();
}

void WindowHost::ProcessMessages() {
    if (onProcessMessages) onProcessMessages();
    HandleEvents();
}

}  // namespace zvek
