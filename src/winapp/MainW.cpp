#include "winapp/MainW.h"

#include <commctrl.h>
#include <shellapi.h>

#include <windowsx.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <stdexcept>

#include "platform/Files.h"
#include "platform/windows/WideText.h"
#include "text/Ini.h"
#include "text/Sjis.h"
#include "winapp/ImagesW.h"

namespace zvek {

namespace {

constexpr wchar_t kClassName[] = L"TFormMainZVEKLC";
constexpr int kEditId = 100;
constexpr int kToolBarId = 101;
constexpr int kStatusBarId = 102;
constexpr UINT kFirstId = 1000;
// A call handed to Post, and the start once the window has been painted.
constexpr UINT kCallMessage = WM_APP + 1;
constexpr UINT kStartMessage = WM_APP + 2;
constexpr UINT_PTR kStartTimer = 1;
constexpr int kToolImageSize = 20;
constexpr std::size_t kMaxSettingsBytes = 1024 * 1024;

LRESULT Send(HWND w, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(w, message, wParam, lParam);
}

// "Ctrl+O", "Esc", "F1": the table's shortcut text as an accelerator.
bool ParseShortcut(std::string_view text, WORD id, ACCEL& accel) {
    accel = {FVIRTKEY, 0, id};
    while (!text.empty()) {
        const std::size_t plus = text.find('+', 1);
        const std::string_view part = text.substr(0, plus);
        text = plus == std::string_view::npos ? std::string_view() : text.substr(plus + 1);
        if (EqualsIgnoreCase(part, "Ctrl")) accel.fVirt |= FCONTROL;
        else if (EqualsIgnoreCase(part, "Shift")) accel.fVirt |= FSHIFT;
        else if (EqualsIgnoreCase(part, "Alt")) accel.fVirt |= FALT;
        else if (EqualsIgnoreCase(part, "Esc")) accel.key = VK_ESCAPE;
        else if (EqualsIgnoreCase(part, "Del")) accel.key = VK_DELETE;
        else if (part.size() == 1 && std::isalnum(static_cast<unsigned char>(part[0])))
            accel.key = static_cast<WORD>(std::toupper(static_cast<unsigned char>(part[0])));
        else if (part.size() > 1 && (part[0] == 'F' || part[0] == 'f')) {
            int n = 0;
            if (std::from_chars(part.data() + 1, part.data() + part.size(), n).ec != std::errc() || n < 1 || n > 24)
                return false;
            accel.key = static_cast<WORD>(VK_F1 + n - 1);
        } else return false;
    }
    return accel.key != 0;
}

// The window's dots per inch: its monitor's where the system says
// (Windows 10 and later), else the screen's.
UINT DpiOf(HWND window) {
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (const UINT dpi = dpiForWindow ? dpiForWindow(window) : 0) return dpi;
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

std::string ReadSettingsText(const std::string& path) {
    return NameTaken(path) ? ReadRegularFile(path, kMaxSettingsBytes) : std::string();
}

}  // namespace

FormMainW::FormMainW(std::vector<std::string> arguments, std::string settingsPath, std::string programPath)
    : host_([this] { return hwnd_; }, [this] { return statusBar_; }, [this](MSG& msg) { Dispatch(msg); }),
      settingsPath_(std::move(settingsPath)) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    static const ATOM registered = [instance] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Proc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconW(instance, L"MAINICON");
        wc.hIconSm = wc.hIcon;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc);
    }();
    if (!registered) throw std::runtime_error("The window class could not be registered");
    hwnd_ = CreateWindowExW(0, kClassName, L"", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                            480, 350, nullptr, nullptr, instance, this);
    if (!hwnd_) throw std::runtime_error("The window could not be made");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        uiFont_ = CreateFontIndirectW(&metrics.lfStatusFont);

    dpi_ = DpiOf(hwnd_);
    edit_ = std::make_unique<LyricsEditW>(hwnd_, kEditId, dpi_);
    logic_ = std::make_unique<WindowController>(*this, host_, std::move(arguments), std::move(programPath));
    BuildMenus();
    BuildToolBar();
    statusBar_ = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SBARS_SIZEGRIP,
                                 0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(kStatusBarId), instance, nullptr);
    const MenuItem& stop = StopControl();
    stop_ = CreateWindowExW(0, L"BUTTON", Wide(stop.caption).c_str(), WS_CHILD | BS_PUSHBUTTON, 0, 0, 0, 0, hwnd_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(AddItem(stop.name, stop.command, stop.hint))),
                            instance, nullptr);
    if (uiFont_) Send(stop_, WM_SETFONT, reinterpret_cast<WPARAM>(uiFont_), FALSE);
    BuildAccelerators();
    DragAcceptFiles(hwnd_, TRUE);

    WindowSettings settings;
    try {
        if (!settingsPath_.empty()) settings = SettingsFromIni(ReadSettingsText(settingsPath_));
    } catch (const std::exception&) {
        // A settings file that cannot be read gives the defaults.
    }
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    logic_->ApplySettings(settings, work.right - work.left, work.bottom - work.top);
    SetWindowPos(hwnd_, nullptr, settings.left, settings.top, settings.width, settings.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
    SetFocus(edit_->Handle());
}

FormMainW::~FormMainW() {
    logic_.reset();  // its thread may still post
    MSG msg;
    while (PeekMessageW(&msg, hwnd_, kCallMessage, kCallMessage, PM_REMOVE))
        delete reinterpret_cast<std::function<void()>*>(msg.lParam);
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    for (HMENU menu : popups_) DestroyMenu(menu);
    if (menuImages_) ImageList_Destroy(menuImages_);
    if (accelerators_) DestroyAcceleratorTable(accelerators_);
    if (images_) ImageList_Destroy(images_);
    if (uiFont_) DeleteObject(uiFont_);
}

UINT FormMainW::AddItem(const char* name, Command command, const char* hint) {
    const UINT id = kFirstId + static_cast<UINT>(items_.size());
    items_.push_back({name, command, hint});
    ids_.emplace(name, id);
    return id;
}

UINT FormMainW::IdOf(std::string_view name) const {
    const auto found = ids_.find(name);
    return found == ids_.end() ? 0 : found->second;
}

bool FormMainW::Enabled(std::string_view name) const { return items_.at(IdOf(name) - kFirstId).enabled; }
bool FormMainW::Checked(std::string_view name) const { return items_.at(IdOf(name) - kFirstId).checked; }

HMENU FormMainW::MenuNamed(std::string_view name) const {
    for (const auto& [menu, m] : menus_)
        if (name == m->name) return menu;
    return nullptr;
}

void FormMainW::BuildMenus() {
    menuBar_ = CreateMenu();
    for (const Menu& m : Menus()) {
        const HMENU menu = CreatePopupMenu();
        menus_[menu] = &m;
        for (const MenuItem& item : m.items) {
            if (!item.name) {
                AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
                continue;
            }
            std::wstring text = Wide(item.caption);
            if (*item.shortcut) text += L"\t" + Wide(item.shortcut);
            const UINT id = AddItem(item.name, item.command, item.hint);
            AppendMenuW(menu, MF_STRING, id, text.c_str());
            if (item.image == Image::None) continue;
            // Drawn by the window (WM_DRAWITEM) from the tool bar's pictures:
            // an alpha bitmap loses its transparency under Wine.
            items_.back().image = item.image;
            MENUITEMINFOW info{};
            info.cbSize = sizeof info;
            info.fMask = MIIM_BITMAP;
            info.hbmpItem = HBMMENU_CALLBACK;
            SetMenuItemInfoW(menu, id, FALSE, &info);
        }
        if (m.place == MenuPlace::MenuBar)
            AppendMenuW(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), Wide(m.caption).c_str());
        else popups_.push_back(menu);
    }
    SetMenu(hwnd_, menuBar_);
}

void FormMainW::BuildToolBar() {
    toolBar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP, 0, 0, 0, 0, hwnd_,
                               reinterpret_cast<HMENU>(kToolBarId), GetModuleHandleW(nullptr), nullptr);
    Send(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    Send(toolBar_, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
    SetDpi(dpi_);
    std::vector<TBBUTTON> buttons;
    for (const ToolButton& b : zvek::ToolBar()) {
        TBBUTTON button{};
        button.fsStyle = BTNS_SEP;
        if (b.name) {
            button.iBitmap = static_cast<int>(b.image) - 1;
            button.idCommand = static_cast<int>(AddItem(b.name, b.command, b.hint));
            button.fsState = TBSTATE_ENABLED;
            button.fsStyle = BTNS_BUTTON | (b.mode == ButtonMenu::Split     ? BTNS_DROPDOWN
                                            : b.mode == ButtonMenu::Instant ? BTNS_WHOLEDROPDOWN
                                                                            : 0);
        }
        buttons.push_back(button);
    }
    Send(toolBar_, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    Send(toolBar_, TB_AUTOSIZE);
}

void FormMainW::BuildAccelerators() {
    std::vector<ACCEL> keys;
    const auto add = [&](const MenuItem& item) {
        ACCEL accel;
        if (item.name && *item.shortcut && ParseShortcut(item.shortcut, static_cast<WORD>(IdOf(item.name)), accel))
            keys.push_back(accel);
    };
    for (const Menu& m : Menus())
        for (const MenuItem& item : m.items) add(item);
    add(StopControl());
    accelerators_ = CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

void FormMainW::SetDpi(UINT dpi) {
    dpi_ = dpi;
    edit_->SetDpi(dpi);
    const HIMAGELIST old = images_;
    images_ = ToolImages(MulDiv(kToolImageSize, static_cast<int>(dpi), 96));
    Send(toolBar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_));
    if (old) ImageList_Destroy(old);
    if (menuImages_) ImageList_Destroy(menuImages_);
    menuImages_ = ToolImages(MenuImageSize());
}

int FormMainW::MenuImageSize() const { return MulDiv(16, static_cast<int>(dpi_), 96); }

void FormMainW::Layout() {
    if (!statusBar_) return;
    RECT client, bar, status;
    GetClientRect(hwnd_, &client);
    Send(toolBar_, TB_AUTOSIZE);
    Send(statusBar_, WM_SIZE);
    GetWindowRect(toolBar_, &bar);
    GetWindowRect(statusBar_, &status);
    const int top = bar.bottom - bar.top;
    const int statusHeight = status.bottom - status.top;
    MoveWindow(edit_->Handle(), 0, top, client.right, std::max(0L, client.bottom - top - statusHeight), TRUE);
    // The stop button sits at the status bar's right end, before the grip.
    const int width = MulDiv(64, static_cast<int>(dpi_), 96), grip = GetSystemMetrics(SM_CXVSCROLL);
    SetWindowPos(stop_, HWND_TOP, client.right - width - grip, client.bottom - statusHeight + 1, width,
                 statusHeight - 2, SWP_NOACTIVATE);
}

// --- The view ---------------------------------------------------------------

void FormMainW::EnableItem(std::string_view name, bool enabled) {
    const UINT id = IdOf(name);
    items_.at(id - kFirstId).enabled = enabled;
    for (const auto& [menu, m] : menus_) EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    Send(toolBar_, TB_ENABLEBUTTON, id, enabled);
}

void FormMainW::CheckItem(std::string_view name, bool checked) {
    const UINT id = IdOf(name);
    items_.at(id - kFirstId).checked = checked;
    for (const auto& [menu, m] : menus_) CheckMenuItem(menu, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void FormMainW::ShowStopControl(bool shown) { ShowWindow(stop_, shown ? SW_SHOWNA : SW_HIDE); }

void FormMainW::SetCaption(const std::string& caption) {
    caption_ = Wide(caption);
    UpdateCaption();
}

std::wstring FormMainW::Caption() const {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd_, text.data(), static_cast<int>(text.size()))));
    return text;
}

void FormMainW::UpdateCaption() {
    // A "*" marks unsaved changes.
    if (!hwnd_ || !edit_) return;
    const std::wstring caption = caption_ + (edit_->Modified() ? L"*" : L"");
    if (Caption() != caption) SetWindowTextW(hwnd_, caption.c_str());
}

void FormMainW::Post(std::function<void()> call) {
    auto* heap = new std::function<void()>(std::move(call));
    if (!hwnd_ || !PostMessageW(hwnd_, kCallMessage, 0, reinterpret_cast<LPARAM>(heap))) delete heap;
}

void FormMainW::Close() {
    if (hwnd_) Send(hwnd_, WM_CLOSE);
}

void FormMainW::SaveSettings(WindowSettings settings) {
    WINDOWPLACEMENT place{};
    place.length = sizeof place;
    if (GetWindowPlacement(hwnd_, &place)) {
        const RECT& r = place.rcNormalPosition;
        settings.left = r.left;
        settings.top = r.top;
        settings.width = r.right - r.left;
        settings.height = r.bottom - r.top;
    }
    if (settingsPath_.empty()) return;
    try {
        // What else the file holds is kept; a file that cannot be read is
        // not written over either.
        const std::string text = IniWithSettings(ReadSettingsText(settingsPath_), settings);
        CreateDirectoryW(Wide(ExtractFileDir(settingsPath_)).c_str(), nullptr);
        WriteOwnFile(settingsPath_, text);
    } catch (const std::exception&) {
        // The settings are a convenience: the window closes all the same.
    }
}

// --- Messages ----------------------------------------------------------------

int FormMainW::RunLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) Dispatch(msg);
    return ExitStatus();
}

void FormMainW::Dispatch(MSG& msg) {
    if (hwnd_ && (msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd)) && TranslateAcceleratorW(hwnd_, accelerators_, &msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

LRESULT CALLBACK FormMainW::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<FormMainW*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<FormMainW*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || !self->logic_) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        self->hwnd_ = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->Handle(message, wParam, lParam);
}

void FormMainW::OnCommand(UINT id, bool fromAccelerator) {
    if (id < kFirstId || id - kFirstId >= items_.size()) return;
    const Item& item = items_[id - kFirstId];
    // A shortcut finds its item's state as the menu would show it.
    if (fromAccelerator && item.command != Command::Stop) {
        logic_->Run(Command::CheckMenu);
        if (!item.enabled) return;
    }
    if (item.command != Command::None) logic_->Run(item.command);
    UpdateCaption();
}

void FormMainW::DropDown(UINT id) {
    const auto b = std::find_if(zvek::ToolBar().begin(), zvek::ToolBar().end(),
                                [&](const ToolButton& button) { return button.name && IdOf(button.name) == id; });
    const HMENU menu = b == zvek::ToolBar().end() || !b->menu ? nullptr : MenuNamed(b->menu);
    RECT r;
    if (!menu || !Send(toolBar_, TB_GETRECT, id, reinterpret_cast<LPARAM>(&r))) return;
    MapWindowPoints(toolBar_, nullptr, reinterpret_cast<POINT*>(&r), 2);
    TPMPARAMS exclude{sizeof exclude, r};
    TrackPopupMenuEx(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_VERTICAL, r.left, r.bottom, hwnd_, &exclude);
}

void FormMainW::ShowHint(UINT id) {
    // While a command runs the status line shows its progress instead.
    if (logic_->Busy()) return;
    const std::wstring text =
        id >= kFirstId && id - kFirstId < items_.size() ? Wide(items_[id - kFirstId].hint) : Wide(host_.StatusText());
    Send(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void FormMainW::StartOnce() {
    if (start_ != Start::Showing) return;
    start_ = Start::Started;
    KillTimer(hwnd_, kStartTimer);
    logic_->Start();
}

LRESULT FormMainW::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == kEditId) {
            if (HIWORD(wParam) == EN_CHANGE) UpdateCaption();
            return 0;
        }
        OnCommand(LOWORD(wParam), HIWORD(wParam) == 1 && lParam == 0);
        return 0;
    case WM_INITMENUPOPUP: {
        const auto found = menus_.find(reinterpret_cast<HMENU>(wParam));
        if (found != menus_.end() && found->second->onOpen != Command::None) logic_->Run(found->second->onOpen);
        return 0;
    }
    case WM_MENUSELECT:
        if (HIWORD(wParam) == 0xFFFF && lParam == 0) ShowHint(0);  // the menu closed
        else if (!(HIWORD(wParam) & MF_POPUP)) ShowHint(LOWORD(wParam));
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->code == TTN_GETDISPINFOW) {
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
            static std::wstring tip;  // read by the tool tip before the next one is asked for
            const UINT id = static_cast<UINT>(header->idFrom);
            tip = id >= kFirstId && id - kFirstId < items_.size() ? Wide(items_[id - kFirstId].hint) : L"";
            info->lpszText = tip.data();
        } else if (header->hwndFrom == toolBar_ && header->code == TBN_DROPDOWN) {
            DropDown(static_cast<UINT>(reinterpret_cast<const NMTOOLBARW*>(lParam)->iItem));
            return TBDDRET_DEFAULT;
        } else if (header->hwndFrom == toolBar_ && header->code == TBN_HOTITEMCHANGE) {
            const auto* hot = reinterpret_cast<const NMTBHOTITEM*>(lParam);
            ShowHint(hot->dwFlags & HICF_LEAVING ? 0 : static_cast<UINT>(hot->idNew));
        }
        return 0;
    }
    case WM_SETCURSOR: {
        if (host_.ScreenCursor() == crHourGlass) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        // A button with a hint takes the hand, as a link would.
        const LRESULT hot = reinterpret_cast<HWND>(wParam) == toolBar_ ? Send(toolBar_, TB_GETHOTITEM) : -1;
        TBBUTTON button{};
        if (hot >= 0 && Send(toolBar_, TB_GETBUTTON, static_cast<WPARAM>(hot), reinterpret_cast<LPARAM>(&button)) &&
            *items_.at(static_cast<UINT>(button.idCommand) - kFirstId).hint) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    }
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == edit_->Handle()) {
            POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (p.x == -1 && p.y == -1) {  // from the keyboard: at the caret
                GetCaretPos(&p);
                ClientToScreen(edit_->Handle(), &p);
            }
            TrackPopupMenuEx(MenuNamed("PopupMenu"), TPM_RIGHTBUTTON, p.x, p.y, hwnd_, nullptr);
            return 0;
        }
        break;
    case WM_DROPFILES: {
        const auto drop = reinterpret_cast<HDROP>(wParam);
        std::wstring path;
        if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
            path.resize(DragQueryFileW(drop, 0, nullptr, 0) + 1);
            path.resize(DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size())));
        }
        DragFinish(drop);
        if (!path.empty()) logic_->Drop(Narrow(path));
        return 0;
    }
    case kCallMessage: {
        const std::unique_ptr<std::function<void()>> call(reinterpret_cast<std::function<void()>*>(lParam));
        (*call)();
        UpdateCaption();
        return 0;
    }
    case WM_SHOWWINDOW:
        if (wParam && start_ == Start::Hidden) {
            start_ = Start::Showing;
            // A window that is not painted soon still opens its document.
            SetTimer(hwnd_, kStartTimer, 250, nullptr);
        }
        break;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(hwnd_, &paint);
        EndPaint(hwnd_, &paint);
        // Opening the document must not hold up the window's first paint.
        if (start_ == Start::Showing) PostMessageW(hwnd_, kStartMessage, 0, 0);
        return 0;
    }
    case kStartMessage:
    case WM_TIMER:
        StartOnce();
        return 0;
    case WM_MEASUREITEM: {
        auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (measure->CtlType != ODT_MENU) break;
        measure->itemWidth = measure->itemHeight = static_cast<UINT>(MenuImageSize());
        return TRUE;
    }
    case WM_DRAWITEM: {
        const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (draw->CtlType != ODT_MENU || draw->itemID < kFirstId || draw->itemID - kFirstId >= items_.size()) break;
        const Image image = items_[draw->itemID - kFirstId].image;
        ImageList_Draw(menuImages_, static_cast<int>(image) - 1, draw->hDC, draw->rcItem.left,
                       draw->rcItem.top + (draw->rcItem.bottom - draw->rcItem.top - MenuImageSize()) / 2,
                       ILD_TRANSPARENT | (draw->itemState & ODS_GRAYED ? ILD_BLEND50 : 0));
        return TRUE;
    }
    case WM_SIZE:
        Layout();
        return 0;
    case WM_DPICHANGED: {
        SetDpi(HIWORD(wParam));
        const RECT& r = *reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_SETFOCUS:
        SetFocus(edit_->Handle());
        return 0;
    case WM_CLOSE:
        if (logic_->CloseRequested()) DestroyWindow(hwnd_);
        return 0;
    case WM_DESTROY:
        if (quitOnDestroy_) PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace zvek
