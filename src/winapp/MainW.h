// The main window in Win32: the lyrics editor with its menus, tool bar,
// context menu, accelerators and status bar, all built from the command
// table. The rules live in the window logic; this class draws the window
// and hands it every command and event, as the Qt window does.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/windows/Win32.h"

#include <commctrl.h>

#include "winapp/HostW.h"
#include "winapp/LyricsEditW.h"
#include "window/WindowController.h"

namespace zvek {

class FormMainW : public WindowView {
public:
    // `arguments`: the command line without the program's own path.
    // `settingsPath`: the INI file of the geometry and folders (none: empty).
    FormMainW(std::vector<std::string> arguments, std::string settingsPath, std::string programPath);
    ~FormMainW() override;
    FormMainW(const FormMainW&) = delete;
    FormMainW& operator=(const FormMainW&) = delete;

    HWND Handle() const { return hwnd_; }
    HostW& Host() { return host_; }
    LyricsEditW& Editor() override { return *edit_; }
    LyricsDocument& Document() { return logic_->Document(); }
    int ExitStatus() const { return logic_->ExitStatus(); }
    // The end of the window ends the program's message loop.
    void QuitOnDestroy() { quitOnDestroy_ = true; }
    // Runs the message loop until the window is gone.
    int RunLoop();
    // One message through the accelerators (while the window lives) and on.
    void Dispatch(MSG& msg);

    // Items by their names in the command table: the id WM_COMMAND carries
    // (0 for none), and their state as last set.
    UINT IdOf(std::string_view name) const;
    bool Enabled(std::string_view name) const;
    bool Checked(std::string_view name) const;
    // The menu of that name in the command table.
    HMENU MenuNamed(std::string_view name) const;
    HWND ToolBarHandle() const { return toolBar_; }
    HWND StatusBar() const { return statusBar_; }
    HWND StopButton() const { return stop_; }
    std::wstring Caption() const;

    void EnableItem(std::string_view name, bool enabled) override;
    void CheckItem(std::string_view name, bool checked) override;
    void ShowStopControl(bool shown) override;
    void SetCaption(const std::string& caption) override;
    void Post(std::function<void()> call) override;
    void Close() override;
    void SaveSettings(WindowSettings settings) override;

private:
    struct Item {
        std::string name;
        Command command;
        const char* hint;
        bool enabled = true;
        bool checked = false;
        Image image = Image::None;  // of a menu item
    };
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    UINT AddItem(const char* name, Command command, const char* hint);
    void BuildMenus();
    void BuildToolBar();
    void BuildAccelerators();
    void Layout();
    // Sizes the editor's font and the tool bar's pictures for the monitor.
    void SetDpi(UINT dpi);
    int MenuImageSize() const;
    void OnCommand(UINT id, bool fromAccelerator);
    void DropDown(UINT id);
    void ShowHint(UINT id);
    void UpdateCaption();
    void StartOnce();

    HostW host_;
    std::string settingsPath_;
    HWND hwnd_ = nullptr;
    HWND toolBar_ = nullptr;
    HWND statusBar_ = nullptr;
    HWND stop_ = nullptr;
    HACCEL accelerators_ = nullptr;
    HIMAGELIST images_ = nullptr;
    HFONT uiFont_ = nullptr;
    UINT dpi_ = 96;
    std::unique_ptr<LyricsEditW> edit_;
    std::vector<Item> items_;  // by id - kFirstId
    std::map<std::string, UINT, std::less<>> ids_;
    std::map<HMENU, const Menu*> menus_;
    HMENU menuBar_ = nullptr;
    std::vector<HMENU> popups_;  // not in the menu bar: destroyed with the window
    HIMAGELIST menuImages_ = nullptr;
    std::wstring caption_;
    enum class Start { Hidden, Showing, Started } start_ = Start::Hidden;
    bool quitOnDestroy_ = false;
    std::unique_ptr<WindowController> logic_;
};

}  // namespace zvek
