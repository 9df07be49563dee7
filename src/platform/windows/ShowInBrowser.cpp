// Showing an address in the user's default browser, through the shell.
#include "platform/ShowInBrowser.h"

#include "platform/windows/Win32.h"

#include <shellapi.h>

#include "platform/windows/WideText.h"

namespace zvek {

namespace {

// The shell starts whatever the user chose for the address's scheme or the
// file's type, and hands it the address as one argument of its own; an
// address it cannot place fails here without a dialog.
bool ShellOpen(const std::string& target) {
    const std::wstring file = Wide(target);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

}  // namespace

bool LaunchHtmlHandler(const std::string& url) {
    const auto address = BrowserAddress(url);
    return address && ShellOpen(*address);
}

bool OpenInBrowser(const std::string& url) { return LaunchHtmlHandler(url); }

// The page goes to the shell by its path, which the gate has checked: an
// existing .htm or .html file. The shell opens it with the program that
// shows such pages, as it would a file: address.
bool OpenLocalPageInBrowser(const std::string& path) { return LocalPageAddress(path) && ShellOpen(path); }

}  // namespace zvek
