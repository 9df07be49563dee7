// The Windows build has no browser start, file association or player yet:
// each of these fails at once, as when nothing is installed, and writes
// nothing. The Windows implementations (ShellExecuteW, the registry, the
// player's settings file) take this file's place.
#include "platform/Association.h"
#include "platform/Player.h"
#include "platform/ShowInBrowser.h"

namespace zvek {

bool OpenInBrowser(const std::string&) { return false; }
bool OpenLocalPageInBrowser(const std::string&) { return false; }
bool LaunchHtmlHandler(const std::string&) { return false; }

bool WriteTagLyrAssociation(const std::string&) { return false; }
std::string ForeignTagLyrAssociationFile() { return {}; }
AssociationState RunTagLyrAssociationCheck(const std::string&) { return AssociationState::Failed; }
bool CheckTagLyrAssociation(const std::string&) { return false; }

std::string FindPlayerPath() { return {}; }
std::string PlayerSettingsPath(const std::string&) { return {}; }
std::string ReadPlayerTool(const std::string&, const std::string&) { return {}; }
bool RegisterPlayerTool(const std::string&, const std::string&, const std::string&) { return false; }
std::string PlayerToolCommand(const std::string& programPath) { return "\"" + programPath + "\" /ZVEK"; }

}  // namespace zvek
