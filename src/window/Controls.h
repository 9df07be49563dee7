// The window's controls as data: every menu, menu item and tool-bar button
// with its name, caption, hint, shortcut, image and the command it runs, in
// the order the window shows them. Each window builds its menus, tool bar
// and context menu from this table, so the Qt window and the native one
// cannot drift apart, and a test reads the table without any window.
//
// Captions are UTF-8 and carry their access key after "&"; shortcuts are
// text ("Ctrl+Z"), which every toolkit can parse.
#pragma once

#include <span>
#include <string_view>

namespace zvek {

enum class Command {
    None,
    Open,
    Reopen,
    OpenIE,
    SaveAs,
    SaveLrc,
    AssocTagLyr,
    SetZVEKTool,
    Exit,
    Undo,
    Cut,
    Copy,
    Paste,
    AllSelect,
    ConvertAuto,
    TextToZVEK,
    ZVEKToText,
    TagToZVEK,
    ZVEKToTag,
    ConvertFromIE,
    ConvertFromURL,
    WinAmpToZVEK,
    LrcToZVEK,
    FindLyricsFromTitle,
    FindLyricsFromArtist,
    OpenURL,
    HelpHelp,
    HALDESOFT,
    UtaMap,
    UtaNet,
    Stop,
    // What runs when a menu is about to open.
    CheckMenu,
    MenuFind,
    FindMenuPopup,
};

// Pictures of the tool-bar buttons and context-menu items.
enum class Image { None, Open, SaveAs, Undo, Cut, Copy, Paste, Convert, ConvertFromIE, FindLyrics, HomePage, Help };

// An entry of a menu; one without a name is a separator.
struct MenuItem {
    const char* name = nullptr;
    const char* caption = "";
    const char* hint = "";  // shown on the status line
    Command command = Command::None;
    const char* shortcut = "";
    Image image = Image::None;
    bool checkable = false;
};

enum class MenuPlace {
    MenuBar,   // a menu of the menu bar, under its caption
    DropDown,  // dropped down by a tool-bar button
    Context,   // the editor's context menu
};

struct Menu {
    const char* name;
    const char* caption;
    MenuPlace place;
    Command onOpen;
    std::span<const MenuItem> items;
};

// How a tool-bar button with a menu offers it.
enum class ButtonMenu {
    None,
    Split,    // a click runs the command, the arrow beside it drops the menu
    Instant,  // a click drops the menu
};

// A tool-bar button; one without a name is a separator. A button with a
// hint shows it as its tooltip too, and the hand cursor.
struct ToolButton {
    const char* name = nullptr;
    Image image = Image::None;
    const char* hint = "";
    Command command = Command::None;
    const char* menu = nullptr;
    ButtonMenu mode = ButtonMenu::None;
};

inline constexpr const char* kToolBarName = "ToolBar1";

// The menus in order: the menu bar's, then the drop-downs and the context menu.
std::span<const Menu> Menus();
std::span<const ToolButton> ToolBar();
// Stops a running download: Esc anywhere in the window, or a button that
// the status line shows while a command runs. Its hint is its tooltip.
const MenuItem& StopControl();

// The menu of that name; nullptr when there is none.
const Menu* FindMenuNamed(std::string_view name);
// The command of the menu item, tool-bar button or stop control of that name.
Command CommandOf(std::string_view name);

}  // namespace zvek
