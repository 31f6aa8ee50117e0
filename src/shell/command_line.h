#pragma once

#include <QStringList>

#include <optional>

class QCoreApplication;

namespace zumen {

class RecentFolders;

// Qt's own Japanese texts, for its print and file dialogs: the program is Japanese whatever
// the user's locale. Before any window is made.
void loadQtTranslations(QCoreApplication &app);

// Reads the program's command line (--help, --version, --choose, FOLDER) and moves into the
// working folder it names: FOLDER, or the one chosen in the folder chooser. Without either
// the current folder stays, whatever it holds, and start-up says what is wrong with it.
// Gives the exit status when the program ends here (help, version, a folder refused with a
// message box, a usage error, the chooser cancelled); nullopt to start the desk.
std::optional<int> enterWorkingFolder(const QStringList &arguments, const RecentFolders &recent);

} // namespace zumen
