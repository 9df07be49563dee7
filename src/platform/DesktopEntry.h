// Desktop entry files (.desktop) and the data folders a desktop looks in.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zvek {

// $XDG_DATA_HOME, else ~/.local/share; empty when neither is an absolute path.
std::string UserDataFolder();
// The user's data folder first, then each absolute folder of $XDG_DATA_DIRS
// (by default /usr/local/share and /usr/share), as the desktop looks.
std::vector<std::string> DataFolders();

// What a desktop entry file says: the keys of its first [Desktop Entry]
// group in file order, their values with the escapes every string value
// has (\s \n \t \r \\) undone, and the names of all its groups.
struct DesktopEntryFile {
    std::vector<std::pair<std::string, std::string>> keys;
    std::vector<std::string> groups;
    // The first value of `key`, or nullptr.
    const std::string* Find(std::string_view key) const;
};
DesktopEntryFile ParseDesktopEntry(std::string_view text);

// Splits an Exec value into arguments: blanks separate them, double quotes
// hold blanks, and inside quotes a backslash makes the next quote,
// backtick, dollar sign or backslash literal ("%%" stays for the field
// codes' turn). Nothing when a quote is left open or a field code stands
// inside quotes.
std::optional<std::vector<std::string>> SplitExec(std::string_view exec);

}  // namespace zvek
