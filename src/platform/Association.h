// The .TagLyr association: tag files open with this program, and a second
// verb "convert" converts one unattended.
//
// On Windows it lives under HKEY_CURRENT_USER\Software\Classes (per user, no
// administrator needed): ".TagLyr" names the file type "ZvekTagFile", whose
// keys hold its name, our path ("Converter"), its icon (the player's when
// the player is found) and the verbs open and convert. What the shell sees
// is read, as the shell reads it, from the user's keys and else the
// machine's.
//
// On Linux it is a shared-mime-info package that gives tag files the type
// text/x-zvek-taglyr (a kind of plain text), and a desktop entry that opens
// that type with this program, with a second action "Convert". Both live in
// the user's data folder ($XDG_DATA_HOME, else ~/.local/share):
//   mime/packages/zveklc-taglyr.xml
//   applications/zveklc.desktop
// A desktop entry or package that a system installation put into one of
// $XDG_DATA_DIRS counts as well, as it does for the desktop.
#pragma once

#include <optional>
#include <string>

namespace zvek {

inline constexpr const char* kTagLyrMimeType = "text/x-zvek-taglyr";

enum class AssociationState {
    Complete,   // all there, and it opens tag files with this copy of the program
    Repaired,   // a piece was missing and the association was written for this copy
    Elsewhere,  // complete, but another program opens tag files: left alone
    Failed,     // a piece was missing and could not be written
    // Run from its build folder: nothing written, whatever is missing; the
    // association is for an installed copy (or the menu's).
    DevelopmentBuild,
};

// The build writes this file beside the programs it makes; an installation
// never has it.
inline constexpr const char* kBuildTreeMarker = "zveklc-build-tree.txt";

// Whether the program at `programPath` runs from the folder it was built in.
bool IsDevelopmentBuild(const std::string& programPath);

// Writes the association for the program at `programPath` and lets the
// shell know. Windows: every key and value, the icon only where it is empty
// or names this program's file (an icon chosen elsewhere stays); true when
// all of it was written. Linux: both files (each replaced atomically,
// through a link to a regular file; never over a pipe, a device or a
// dangling link), then update-mime-database, update-desktop-database and
// "xdg-mime default", each only when it is in PATH; true when both files
// were written, whatever the tools say. The menu command: it replaces
// another program's claim too, so ask first (ForeignTagLyrAssociationFile).
bool WriteTagLyrAssociation(const std::string& programPath);

// What another program holds under our names, to be named in the menu's
// question; empty when there is nothing. Windows: the ".TagLyr" key whose
// file type is another program's. Linux: the first of the user's two
// association files that exists but was not written by this program
// (something else under our name, or a link to such a thing).
std::string ForeignTagLyrAssociationFile();

// The start-up check. Missing pieces (Windows: the file type of
// ".TagLyr", the "ZvekTagFile" key, its "Converter" value or its convert
// verb; Linux: the MIME package, the desktop entry, the entry's converter
// key or its convert action) are written silently, but only where nothing
// of another program's stands: that is left alone (Elsewhere), as is a
// complete association whose open command names another program that
// exists. One whose program is gone (an uninstalled copy, a removed build
// folder) is written anew. A development build writes nothing.
AssociationState RunTagLyrAssociationCheck(const std::string& programPath);

// The same check; true (the menu's check mark) when the association now
// opens tag files with this copy.
bool CheckTagLyrAssociation(const std::string& programPath);

// Each system's part of the above.
namespace detail {
// Whether an association can name the program at `programPath` at all.
bool AssociationCanName(const std::string& programPath);
// Writes every piece of it; true when all were written.
bool WriteAssociationPieces(const std::string& programPath);
// What the start-up check finds: Complete, Elsewhere or Failed where that is
// the answer; nothing where a piece is missing or the open command names a
// program, by its full path, that is not there.
std::optional<AssociationState> FoundAssociation(const std::string& programPath);
}  // namespace detail

}  // namespace zvek
