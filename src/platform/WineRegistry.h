// The Wine prefix beside us: the registry Wine keeps as text files
// (system.reg for HKEY_LOCAL_MACHINE, user.reg for HKEY_CURRENT_USER) and
// the dosdevices drive links through which Windows paths become Linux paths.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zvek {

// The Wine prefix: $WINEPREFIX, else ~/.wine; empty when neither is known.
std::string WinePrefix();

// FindPlayerPath (Player.h) reads the player's keys from here and gives a
// Linux path with the letter case the files really have. The 32-bit view of
// HKEY_LOCAL_MACHINE's key (under Wow6432Node, where 32-bit installers in a
// 64-bit prefix put it) counts as well. A value with a %VARIABLE% left in
// it names no file we can find.

// A Windows path ("C:\Program Files\ZVEK\ZVEK.EXE") as a Linux path through
// the prefix's dosdevices links. Every folder and the file are matched
// without regard to the case of A-Z when the exact name does not exist, as
// Windows would. Empty when the drive or any part of the path is missing.
std::string WindowsToLinuxPath(const std::string& prefix, const std::string& windowsPath);

// The default values of the registry keys `keys` (names in lower case,
// single backslashes) in the text of one of Wine's registry files, read in
// one pass; a key that is missing, or whose default value is no string, gets
// an empty value. The pass ends as soon as the first key has its value,
// since that one wins anyway.
std::vector<std::string> RegistryDefaultValues(std::string_view text, const std::vector<std::string>& keys);

}  // namespace zvek
