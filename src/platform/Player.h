// The ZVEK player, a Windows program that runs under Wine beside us.
//
// We need three things from it: where its executable is (its settings file
// lies beside it), and an entry in its tool menu so that it can start us.
// The player records its location in the Wine prefix's registry, which Wine
// keeps as text files ($WINEPREFIX, else ~/.wine: system.reg for
// HKEY_LOCAL_MACHINE, user.reg for HKEY_CURRENT_USER); Windows paths become
// Linux paths through the prefix's dosdevices drive links.
//
// The player used to be told about a new tool entry by a message posted to
// its main window. A Wine window cannot be reached from here, so there is no
// such notification: it is dropped, exactly as when the player is not
// running, and the player reads the entry at its next start.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WineRegistry.h"

namespace zvek {

// The name of our entry in the player's "Tool" section.
inline constexpr const char* kPlayerToolName = "ZVEK Lyrics Converter";

// The player's settings file: its executable's path with the extension
// ".ini" (an existing file whose name differs only in letter case is taken,
// since the player sees names without case). Empty for an empty path.
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

// Our tool entry's value: `programPath` as the player under Wine sees it
// (through the dosdevices drive whose target holds it most closely, usually
// Z: for "/"), in double quotes, followed by " /ZVEK". Without such a drive
// the Linux path is used as it is.
std::string PlayerToolCommand(const std::string& programPath);

}  // namespace zvek
