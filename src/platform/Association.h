// The .TagLyr association as a Linux desktop knows it: a shared-mime-info
// package that gives tag files the type text/x-zvek-taglyr (a kind of plain
// text), and a desktop entry that opens that type with this program, with a
// second action "Convert" that converts a tag file unattended. Both live in
// the user's data folder ($XDG_DATA_HOME, else ~/.local/share):
//   mime/packages/zveklc-taglyr.xml
//   applications/zveklc.desktop
// A desktop entry or package that a system installation put into one of
// $XDG_DATA_DIRS counts as well, as it does for the desktop.
#pragma once

#include <string>

namespace zvek {

inline constexpr const char* kTagLyrMimeType = "text/x-zvek-taglyr";

enum class AssociationState {
    Complete,   // all there, and it opens tag files with this copy of the program
    Repaired,   // a piece was missing and the association was written for this copy
    Elsewhere,  // complete, but another program opens tag files: left alone
    Failed,     // a piece was missing and could not be written
};

// Writes both files for the program at `programPath` (each replaced
// atomically, through a link to a regular file; never over a pipe, a device
// or a dangling link), then lets the desktop know through
// update-mime-database, update-desktop-database and "xdg-mime default", each
// only when it is in PATH. True when both files were written; the tools'
// results do not count. The menu command: it replaces files of the user's
// too, so ask first (ForeignTagLyrAssociationFile).
bool WriteTagLyrAssociation(const std::string& programPath);

// The first of the user's two association files that exists but was not
// written by this program (something else under our name, or a link to
// such a thing); empty when there is none.
std::string ForeignTagLyrAssociationFile();

// The start-up check. Missing pieces (the MIME package, the desktop entry,
// the entry's converter key or its convert action) are written silently,
// but only where the name is free or holds a file of ours: anything else
// under our names is left alone (Elsewhere), as is a complete association
// whose open command names another program.
AssociationState RunTagLyrAssociationCheck(const std::string& programPath);

// The same check; true (the menu's check mark) when the association now
// opens tag files with this copy.
bool CheckTagLyrAssociation(const std::string& programPath);

}  // namespace zvek
