// When the association is written, the same on every system: the menu
// replaces another program's claim, the start-up check leaves it alone.
#include "platform/Association.h"

#include "platform/Files.h"

namespace zvek {

namespace {

AssociationState WriteAssociation(const std::string& programPath, bool replaceForeign) {
    if (!detail::AssociationCanName(programPath)) return AssociationState::Failed;
    // Checked before anything is written: a refusal leaves no half-made association.
    if (!replaceForeign && !ForeignTagLyrAssociationFile().empty()) return AssociationState::Elsewhere;
    return detail::WriteAssociationPieces(programPath) ? AssociationState::Repaired : AssociationState::Failed;
}

}  // namespace

bool WriteTagLyrAssociation(const std::string& programPath) {
    return WriteAssociation(programPath, true) == AssociationState::Repaired;
}

bool IsDevelopmentBuild(const std::string& programPath) {
    // A path without a folder would look in the current directory instead.
    const std::string folder = ExtractFileDir(programPath);
    return !folder.empty() && NameTaken(JoinPath(folder, kBuildTreeMarker));
}

AssociationState RunTagLyrAssociationCheck(const std::string& programPath) {
    if (const auto found = detail::FoundAssociation(programPath)) return *found;
    // A build folder is no place for tag files to open from: the build is
    // removed or moved, and an installed copy would find the association
    // complete and leave it pointing there.
    if (IsDevelopmentBuild(programPath)) return AssociationState::DevelopmentBuild;
    return WriteAssociation(programPath, false);
}

bool CheckTagLyrAssociation(const std::string& programPath) {
    const AssociationState state = RunTagLyrAssociationCheck(programPath);
    return state == AssociationState::Complete || state == AssociationState::Repaired;
}

}  // namespace zvek
