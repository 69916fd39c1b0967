#pragma once

#include <QString>

namespace korsa {

// True when this process may create files in the folder and its permission bits let someone
// write there: to root every folder is writable, but one that nobody may write to is not. On
// Windows, where the folder's access list decides, a file made there and removed again tells.
bool CanWriteFolder(const QString &folder);

// The folder `cmake --install` puts the programs in, as configured when the program was built.
QString InstalledProgramFolder();

// True when a program in this folder keeps its files (its settings) beside itself: a copy in a
// writable folder of its own. An installed program never does, even where this process could
// write there (root in /usr/bin): its folder is the one it was built to be installed in, or lies
// in the system's own trees (InSystemProgramTree). A build configured with KORSA_SETTINGS_PER_USER
// (the Linux bundle) never does.
bool KeepsFilesBesideItself(const QString &programFolder, const QString &installFolder = InstalledProgramFolder());

} // namespace korsa
