// The Win32 window under Wine: its controls against the command table,
// commands through WM_COMMAND on the real window, the close query with the
// settings, a real WM_DROPFILES and the program run unattended to its end.
// The rules themselves are tested in tests/window.
#include "platform/windows/Win32.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <chrono>
#include <cstring>
#include <map>
#include <memory>

#include "platform/Files.h"
#include "platform/FsPath.h"
#include "platform/Launch.h"
#include "platform/Player.h"
#include "platform/windows/WideText.h"
#include "winapp/MainW.h"
#include "window/WindowSupport.h"

using namespace zvek;

namespace {

class WinWindowTest : public ::testing::Test {
protected:
    test::TempDir dir_;
    test::UserHome home_{dir_.path() / "home"};
    HostScript script_;
    std::unique_ptr<FormMainW> form_;

    std::string Path(const char* name) const { return PathText(dir_.path() / FsPath(name)); }
    std::string SettingsPath() const { return Path("cfg/zveklc.ini"); }
    FormMainW& Make() {
        form_.reset();
        form_ = std::make_unique<FormMainW>(std::vector<std::string>{}, SettingsPath(), Path("bin/zveklc.exe"));
        script_ = HostScript();
        form_->Host().SetScript(&script_);
        return *form_;
    }
    void SetUp() override { Make(); }
    LRESULT Send(std::string_view name) { return SendMessageW(form_->Handle(), WM_COMMAND, form_->IdOf(name), 0); }
    static void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    std::string Status() const {
        wchar_t text[512] = {};
        SendMessageW(form_->StatusBar(), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
        return Narrow(text);
    }
    // Every name of the table with the id the window gave it.
    std::map<UINT, std::string> Names() const {
        std::map<UINT, std::string> names;
        for (const Menu& m : Menus())
            for (const MenuItem& i : m.items)
                if (i.name) names[form_->IdOf(i.name)] = i.name;
        for (const ToolButton& b : ToolBar())
            if (b.name) names[form_->IdOf(b.name)] = b.name;
        return names;
    }
};

std::string MenuText(HMENU menu, UINT item, UINT flag) {
    wchar_t text[256] = {};
    GetMenuStringW(menu, item, text, 256, flag);
    return Narrow(text);
}

std::string Clipboard() {
    std::string text;
    if (!OpenClipboard(nullptr)) return text;
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        text = Narrow(static_cast<const wchar_t*>(GlobalLock(data)));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

void SetClipboard(const std::wstring& text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    std::memcpy(GlobalLock(data), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(data);
    SetClipboardData(CF_UNICODETEXT, data);
    CloseClipboard();
}

}  // namespace

// Menus, items with their captions, shortcuts and status-line hints, and
// tool-bar buttons with their tool tips and drop-downs, read back from the
// real controls, are the command table's.
TEST_F(WinWindowTest, ControlsMatchTheCommandTable) {
    const std::map<UINT, std::string> names = Names();
    std::string lines;
    const auto row = [&](std::vector<std::string> fields) {
        while (fields.back().empty()) fields.pop_back();
        for (const auto& field : fields) lines += (&field == &fields.front() ? "  " : " | ") + field;
        lines += "\n";
    };
    const HMENU bar = GetMenu(form_->Handle());
    for (int i = 0; i < GetMenuItemCount(bar); ++i)
        for (const Menu& m : Menus())
            if (form_->MenuNamed(m.name) == GetSubMenu(bar, i))
                lines += std::string(m.name) + " " + MenuText(bar, static_cast<UINT>(i), MF_BYPOSITION) + "\n";
    for (const Menu& m : Menus()) {
        lines += std::string(m.name) + "\n";
        const HMENU menu = form_->MenuNamed(m.name);
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            const UINT id = GetMenuItemID(menu, i);
            if (id == 0) {
                lines += "  -\n";
                continue;
            }
            SendMessageW(form_->Handle(), WM_MENUSELECT, MAKEWPARAM(id, MF_STRING), reinterpret_cast<LPARAM>(menu));
            const std::string text = MenuText(menu, id, MF_BYCOMMAND);
            const std::size_t tab = text.find('\t');
            row({names.at(id), text.substr(0, tab), Status(), tab == std::string::npos ? "" : text.substr(tab + 1)});
        }
    }
    lines += std::string(kToolBarName) + "\n";
    const HWND tools = form_->ToolBarHandle();
    for (int i = 0; i < SendMessageW(tools, TB_BUTTONCOUNT, 0, 0); ++i) {
        TBBUTTON b{};
        SendMessageW(tools, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&b));
        if (b.fsStyle & BTNS_SEP) {
            lines += "  -\n";
            continue;
        }
        NMTTDISPINFOW tip{};
        tip.hdr = {tools, static_cast<UINT_PTR>(b.idCommand), TTN_GETDISPINFOW};
        SendMessageW(form_->Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&tip));
        const std::string hint = Narrow(tip.lpszText);
        const ToolButton& table = ToolBar()[static_cast<std::size_t>(i)];
        const char* mode = b.fsStyle & BTNS_WHOLEDROPDOWN ? " instant"
                           : b.fsStyle & BTNS_DROPDOWN    ? " menu button"
                                                          : "";
        row({names.at(static_cast<UINT>(b.idCommand)), hint, hint.empty() ? "arrow" : "hand",
             *mode ? table.menu + std::string(mode) : ""});
    }
    EXPECT_EQ(lines, test::TableListing());
    EXPECT_EQ(form_->Caption(), L"ZVEK Lyrics Converter Ver.6.310");
}

// Every item and button reaches a command, the same one wherever the table
// places it: from the same start, items of one command leave the same
// traces (what was asked, opened and shown, text, selection, clipboard).
TEST_F(WinWindowTest, EveryItemReachesItsCommand) {
    std::map<std::string, Command> commands;
    for (const Menu& m : Menus())
        for (const MenuItem& i : m.items)
            if (i.name) commands[i.name] = i.command;
    for (const ToolButton& b : ToolBar())
        if (b.name && b.command != Command::None) commands[b.name] = b.command;
    commands[StopControl().name] = StopControl().command;

    const auto traces = [&](const std::string& name) {
        FormMainW& form = Make();
        test::WriteBytes(FsPath(Path("s.TagLyr")),
                         test::WithUrl(test::SampleTagFile("s.lyr"), "http://127.0.0.1:9/page"));
        script_.dialogFiles = {Path("s.TagLyr")};
        Send("MenuOpen");
        script_ = HostScript();
        form.Editor().Select(3, 9);
        SetClipboard(L"clip");
        if (!name.empty()) Send(name);
        Pump();
        const auto [anchor, caret] = form.Editor().Selection();
        return test::Asked(script_) + Status() + "|" + Clipboard() + "|" + std::to_string(anchor) + "," +
               std::to_string(caret) + "|" + std::to_string(TextHash(form.Editor().Text())) + "|" +
               std::to_string(IsWindow(form.Handle())) + std::to_string(form.Checked("MenuAssocTagLyr"));
    };
    const std::string untouched = traces("");
    std::map<Command, std::string> seen;
    for (const auto& [name, command] : commands) {
        SCOPED_TRACE(name);
        const std::string trace = traces(name);
        EXPECT_TRUE(command == Command::Stop || trace != untouched);
        EXPECT_EQ(trace, seen.try_emplace(command, trace).first->second);
    }
}

// A conversion through the menu gives the core's result for the document
// and is the one step Undo takes back; a shortcut key runs its item.
TEST_F(WinWindowTest, CommandsGiveTheCoresResults) {
    const std::string text = test::SampleText();
    test::WriteBytes(FsPath(Path("s.txt")), text);
    script_.dialogFiles = {Path("s.txt")};
    Send("BtnOpen");
    const std::u16string before = form_->Editor().Text();
    Send("MenuTextToZVEK");
    const test::CoreResult core = test::RunCore(text, Path("s.txt"), ConvertTextToZVEK);
    EXPECT_EQ(form_->Document().Text(), core.text);
    EXPECT_EQ(form_->Editor().Text(), EditorText(form_->Document().Lines()));
    EXPECT_EQ(form_->Caption(), Wide(ExtractFileName(core.fileName)) + (core.modified ? L"*" : L""));

    // Ctrl+Z as the key the user presses, through the window's loop.
    SetFocus(form_->Editor().Handle());
    MSG key{form_->Editor().Handle(), WM_KEYDOWN, 'Z', 0, 0, {}};
    const SHORT ctrl = GetKeyState(VK_CONTROL);
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    form_->Dispatch(key);
    keys[VK_CONTROL] = static_cast<BYTE>(ctrl & 0x80);
    SetKeyboardState(keys);
    EXPECT_EQ(form_->Editor().Text(), before);
    EXPECT_FALSE(form_->Editor().Modified());
}

// Unsaved edits hold the close while the user says Cancel; the close that
// goes ahead writes the geometry into the settings, beside what else the
// file held, and the next window starts with it.
TEST_F(WinWindowTest, CloseQueryAndSettings) {
    test::WriteBytes(FsPath(SettingsPath()), "[Other]\r\nKeep=1\r\n[ZVEKLC]\r\nOpenDir=C:\\歌\r\nWidth=wide\r\n");
    FormMainW& form = Make();
    EXPECT_EQ(form.Document().OpenDialog.initialDir, "C:\\歌");
    form.Editor().SetText(u"mine", false);
    form.Editor().SetModified(true);
    SetWindowPos(form.Handle(), nullptr, 30, 40, 410, 300, SWP_NOZORDER);
    script_.answers = {MsgResult::Cancel, MsgResult::No};
    SendMessageW(form.Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(form.Handle()));
    SendMessageW(form.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(script_.messages.size(), 2u);
    EXPECT_FALSE(form.Handle());
    EXPECT_EQ(test::ReadBytes(FsPath(SettingsPath())),
              "[Other]\r\nKeep=1\r\n[ZVEKLC]\r\nLeft=30\r\nTop=40\r\nWidth=410\r\nHeight=300\r\nOpenDir=C:\\歌\r\n"
              "SaveDir=" +
                  form.Document().SaveDialog.initialDir + "\r\n");
    RECT r;
    GetWindowRect(Make().Handle(), &r);
    EXPECT_TRUE(r.left == 30 && r.top == 40 && r.right == 440 && r.bottom == 340);
}

// A drop as the shell makes it: the first of the files counts, with its
// whole path however long.
TEST_F(WinWindowTest, DropThroughWmDropFiles) {
    const std::string folder = Path(std::string(150, 'd').c_str()) + "\\" + std::string(120, 'e');
    const std::string first = folder + "\\歌詞.lyr";
    test::WriteBytes(FsPath(first), "dropped\r\n");
    const std::wstring files = Wide(first) + L'\0' + Wide(Path("second.lyr")) + L'\0' + L'\0';
    const HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + files.size() * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(drop));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(header + 1, files.data(), files.size() * sizeof(wchar_t));
    GlobalUnlock(drop);
    SendMessageW(form_->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    Pump();
    EXPECT_EQ(form_->Document().FileName(), first);
    EXPECT_EQ(form_->Editor().Text(), u"dropped");
}

// Our entry written into the player's tool menu, the running player is told.
TEST_F(WinWindowTest, PlayerIsToldOfItsToolEntry) {
    const std::wstring exe = Wide(Path("ZVEK\\ZVEK.EXE"));
    test::WriteBytes(std::filesystem::path(exe), "MZ");
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\HALDE\\ZVEK", nullptr, REG_SZ, exe.c_str(),
                              static_cast<DWORD>((exe.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    WNDCLASSW player{};
    player.lpfnWndProc = DefWindowProcW;
    player.lpszClassName = L"TFormZVEK";
    RegisterClassW(&player);
    const HWND window =
        CreateWindowExW(0, L"TFormZVEK", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    Make();
    Send("MenuSetZVEKTool");
    MSG msg{};
    const UINT message = RegisterWindowMessageW(L"WM_ZVEK");
    EXPECT_TRUE(PeekMessageW(&msg, window, message, message, PM_REMOVE) && msg.wParam == kPlayerToolChanged);
    EXPECT_TRUE(form_->Checked("MenuSetZVEKTool") && script_.messages.empty());
    DestroyWindow(window);
}

// The program itself: --version through a pipe, and a conversion from the
// command line that saves the core's result and ends by itself with 0; the
// reference and the output name are found from the document's folder,
// whatever its name.
TEST_F(WinWindowTest, ProgramRunsUnattended) {
    EXPECT_EQ(RunProgramOutput({ZVEKLC_WINDOW_PATH, "--version"}, std::chrono::seconds(60), 100),
              std::string("zveklc " ZVEKLC_VERSION "\n"));
    const std::string lyrics = Path("歌\\s.lyr"), page = Path("歌\\page.htm");
    test::WriteBytes(FsPath(lyrics), test::SampleLyrics());
    test::WriteBytes(FsPath(page), test::ReadBytes(test::kSamplePage));
    EXPECT_EQ(RunProgram({ZVEKLC_WINDOW_PATH, lyrics, "page.htm", "out.TagLyr"}), 0);
    EXPECT_EQ(test::ReadBytes(FsPath(Path("歌\\out.TagLyr"))),
              test::RunCore(test::SampleLyrics(), lyrics, [&](LyricsDocument& d) { MakeTagFile(d, page); }).text);
}
