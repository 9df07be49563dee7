#include "winapp/HostW.h"

#include <commctrl.h>
#include <commdlg.h>

#include "platform/windows/WideText.h"

namespace zvek {

namespace {

// Large enough for any path the system takes ("\\?\" paths included).
constexpr std::size_t kPathChars = 32768;

PCWSTR IconOf(MsgKind kind) {
    switch (kind) {
    case MsgKind::Error:
        return TD_ERROR_ICON;
    case MsgKind::Warning:
        return TD_WARNING_ICON;
    case MsgKind::Confirmation:  // shown with the system's question mark
    case MsgKind::Information:
        break;
    }
    return TD_INFORMATION_ICON;
}

using TaskDialogFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

// Only common controls 6 (the program's manifest asks for them) have task
// dialogs; elsewhere the system's message box stands in.
TaskDialogFn TaskDialogFunction() {
    const HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
    return comctl
               ? reinterpret_cast<TaskDialogFn>(reinterpret_cast<void*>(GetProcAddress(comctl, "TaskDialogIndirect")))
               : nullptr;
}

}  // namespace

std::wstring DialogFilter(const FileDialog& dialog) {
    std::wstring filter;
    for (const FileFilter& f : dialog.filters) {
        filter += Wide(f.caption);
        filter += L'\0';
        filter += Wide(f.patterns);
        filter += L'\0';
    }
    filter += L'\0';
    return filter;
}

MsgResult HostW::ShowMessageBox(std::string_view text, MsgKind kind, MsgButtons buttons) {
    const std::wstring body = Wide(MessageLines(text));
    const wchar_t* title = L"ZVEK Lyrics Converter";
    if (const TaskDialogFn taskDialog = TaskDialogFunction()) {
        std::vector<TASKDIALOG_BUTTON> shown;
        if (buttons == MsgButtons::Ok) {
            shown.push_back({IDOK, L"OK"});
        } else {
            shown.push_back({IDYES, L"はい(&Y)"});
            if (buttons == MsgButtons::YesNoCancel) shown.push_back({IDNO, L"いいえ(&N)"});
            shown.push_back({IDCANCEL, L"キャンセル"});
        }
        TASKDIALOGCONFIG config{};
        config.cbSize = sizeof config;
        config.hwndParent = window_();
        config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
        config.pszWindowTitle = title;
        if (kind == MsgKind::Confirmation) {
            // Task dialogs have no question mark of their own: the system's.
            config.dwFlags |= TDF_USE_HICON_MAIN;
            config.hMainIcon = LoadIconW(nullptr, IDI_QUESTION);
        } else {
            config.pszMainIcon = IconOf(kind);
        }
        config.pszContent = body.c_str();
        config.cButtons = static_cast<UINT>(shown.size());
        config.pButtons = shown.data();
        config.nDefaultButton = shown.front().nButtonID;
        int clicked = IDCANCEL;
        if (SUCCEEDED(taskDialog(&config, &clicked, nullptr, nullptr))) {
            if (buttons == MsgButtons::Ok) return MsgResult::Ok;
            return clicked == IDYES ? MsgResult::Yes : clicked == IDNO ? MsgResult::No : MsgResult::Cancel;
        }
    }
    const UINT icons[] = {MB_ICONERROR, MB_ICONWARNING, MB_ICONQUESTION, MB_ICONINFORMATION};
    const UINT types[] = {MB_OK, MB_OKCANCEL, MB_YESNOCANCEL};
    const int clicked =
        MessageBoxW(window_(), body.c_str(), title, icons[static_cast<int>(kind)] | types[static_cast<int>(buttons)]);
    if (buttons == MsgButtons::Ok) return MsgResult::Ok;
    return clicked == IDYES || clicked == IDOK ? MsgResult::Yes : clicked == IDNO ? MsgResult::No : MsgResult::Cancel;
}

bool HostW::ShowFileDialog(FileDialog& dialog) {
    const std::wstring filter = DialogFilter(dialog);
    const std::wstring title = Wide(dialog.title);
    std::wstring ext = Wide(dialog.defaultExt);
    if (!ext.empty() && ext.front() == L'.') ext.erase(0, 1);
    const std::wstring folder = Wide(dialog.initialDir);
    std::wstring file = Wide(dialog.fileName);
    if (file.size() >= kPathChars) file.clear();
    file.resize(kPathChars, L'\0');

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = window_();
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(dialog.filterIndex);
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLESIZING;
    if (dialog.fileMustExist) ofn.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    if (dialog.overwritePrompt) ofn.Flags |= OFN_OVERWRITEPROMPT;
    const bool save = dialog.kind == FileDialog::Kind::Save;
    if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return false;
    dialog.fileName = Narrow(file.c_str());
    dialog.filterIndex = static_cast<int>(ofn.nFilterIndex);
    return true;
}

void HostW::ShowStatusText(std::string_view text) {
    const std::wstring wide = Wide(text);
    SendMessageW(statusBar_(), SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void HostW::HandleEvents() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        // The program's end is for its own loop to see.
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        pump_(msg);
    }
}

void HostW::SetScreenCursor(std::int16_t cursor) {
    cursor_ = cursor;
    POINT p;
    // The cursor changes at once, not only when the pointer next moves.
    if (GetCursorPos(&p) && WindowFromPoint(p) && GetAncestor(WindowFromPoint(p), GA_ROOT) == window_())
        SetCursor(LoadCursorW(nullptr, cursor == crHourGlass ? IDC_WAIT : IDC_ARROW));
}

void HostW::BringToTop() {
    const HWND w = window_();
    if (IsIconic(w)) ShowWindow(w, SW_RESTORE);
    SetForegroundWindow(w);
    BringWindowToTop(w);
}

}  // namespace zvek
