// Qt's own texts in Japanese: the file dialogs, their overwrite question,
// the message boxes' buttons and the editor's context menu speak the
// program's language, whatever the user's locale.
#pragma once

namespace zvek {

// Installs Qt's Japanese translation (Debian's qt6-translations-l10n) into
// the running application, once: the window does so before its first file
// dialog, so that its start does not wait for it. False when it is not
// installed: Qt's texts then stay English.
bool LoadQtJapanese();

}  // namespace zvek
