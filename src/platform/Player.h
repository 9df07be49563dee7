// The ZVEK player, a Windows program beside us.
//
// We need three things from it: where its executable is (its settings file
// lies beside it), an entry in its tool menu so that it can start us, and
// its main window, to tell it that the entry changed. Where the player is
// recorded and how our own path looks to it are the platform's: the
// registry on Windows; on Linux, where the player runs under Wine, the
// prefix's registry files and drives (WineRegistry.h). The settings file is
// edited the same way everywhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zvek {

// The name of our entry in the player's "Tool" section.
inline constexpr const char* kPlayerToolName = "ZVEK Lyrics Converter";

// The player's executable; empty when the player is not installed in a way
// we can see. The default value of HKEY_LOCAL_MACHINE
// "Software\Microsoft\Windows\CurrentVersion\App Paths\ZVEK.EXE" is read
// first (the keys opened for reading only); only when it names no existing
// file is HKEY_CURRENT_USER "Software\HALDE\ZVEK" tried.
std::string FindPlayerPath();

// The path in a registry value that records the player's executable, as
// installers write it: with or without enclosing quotes, or as a "\\?\"
// long path. Nothing for a relative or a network path: only a path on a
// drive letter counts ("C:\..." or "C:/..."), since a network path could
// hold the window for as long as the network takes to answer.
std::optional<std::string_view> PlayerDrivePath(std::string_view value);

// The player's settings file: its executable's path with the extension
// ".ini" (under Wine, an existing file whose name differs only in letter
// case is taken, since the player sees names without case). Empty for an
// empty path.
std::string PlayerSettingsPath(const std::string& playerPath);

// The value of `name` in section [Tool] of the player's settings file, read
// as the player reads it: section and key names without regard to case and
// with the blanks around them dropped, the first such section and key only,
// blanks around the value dropped, and one pair of enclosing quotes removed.
// Empty when the file, the section or the key is missing. Names and values
// are UTF-8 here and Shift-JIS in the file.
std::string ReadPlayerTool(const std::string& playerPath, const std::string& name);

// The same from the file's text (Shift-JIS).
std::string PlayerToolValue(std::string_view text, const std::string& name);

// Writes name=value into [Tool] of the player's settings file, leaving every
// other byte of it alone: the key's line is replaced in place when the
// section has it, else the line is added after the section's last entry,
// else a [Tool] section is appended; a missing file is made. The file is
// replaced atomically. False when nothing could be written (no player path,
// a name or value with no Shift-JIS form or with a line break in it, a
// file that cannot be read or written).
bool RegisterPlayerTool(const std::string& playerPath, const std::string& name, const std::string& value);
// The same edit on the file's text; nothing for a name or value the file
// cannot hold as the player would read it back.
std::optional<std::string> WithPlayerTool(std::string text, const std::string& name, const std::string& value);

// Our tool entry's value: `programPath` as the player sees it, in double
// quotes, followed by " /ZVEK". Under Wine that is the path through the
// dosdevices drive whose target holds it most closely (usually Z: for "/");
// without such a drive the Linux path is used as it is.
std::string PlayerToolCommand(const std::string& programPath);

// The wParam of WM_ZVEK that tells the player its tool entry was written.
inline constexpr std::uintptr_t kPlayerToolChanged = 1027;

// The player's main window, kept as the converter's window keeps it for the
// notification that follows RegisterPlayerTool. On Windows the message is
// the registered message "WM_ZVEK", posted (never sent: a hung player cannot
// hold us). Elsewhere the player's window cannot be reached: nothing is
// found and nothing is posted, just as when the player is not running.
class PlayerWindow {
public:
    // Registers "WM_ZVEK" and looks for the window, as the main window does
    // while it is built.
    PlayerWindow();
    // Looks for the player's top-level window of class "TFormZVEK", else
    // "TZvekForm"; true when there is one.
    bool Find();
    // Posts WM_ZVEK with `wParam` and `lParam` to the window found last,
    // looking for one first only when none was found then. A window that has
    // gone since makes the post fail; it is not looked for again.
    bool Post(std::uintptr_t wParam, std::intptr_t lParam);
    bool NotifyToolChanged() { return Post(kPlayerToolChanged, 0); }

private:
    void* window_ = nullptr;
    unsigned message_ = 0;
};

}  // namespace zvek
