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

// The player's executable as a Linux path, with the letter case the files
// really have; empty when the player is not installed in a way we can see.
// The default value of HKEY_LOCAL_MACHINE
// "Software\Microsoft\Windows\CurrentVersion\App Paths\ZVEK.EXE" (also under
// Wow6432Node, where 32-bit installers in a 64-bit prefix put it) is read
// first; only when it names no existing file is HKEY_CURRENT_USER
// "Software\HALDE\ZVEK" tried. A value with a %VARIABLE% left in it names no
// file we can find.
std::string FindPlayerPath();

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
