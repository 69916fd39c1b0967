#pragma once

#include <QString>
#include <QStringList>

namespace korsa::finder {

// Folder paths in the finder are absolute, cleaned and in native separators, without a trailing
// separator except for a root folder ("/" or "C:\"). An empty path stays empty.
QString CleanFolder(const QString &path);

// True for a root folder in the form CleanFolder gives.
bool IsRootFolder(const QString &folder);

// The folders from the root down to the folder itself, each in CleanFolder form.
QStringList FolderChain(const QString &folder);

// The name shown for a folder: the root as it is written, otherwise the last name.
QString FolderDisplayName(const QString &folder);

// The folder and a name in it, in CleanFolder form.
QString ChildFolder(const QString &folder, const QString &name);

// True when path is folder itself or lies somewhere below it (whole names only).
bool IsSameOrBelow(const QString &path, const QString &folder);
// True when the list holds the folder, as the system compares names (on Windows in any case).
bool ContainsFolder(const QStringList &folders, const QString &folder);

// True when the folder exists and its entries can be read by this process.
bool CanListFolder(const QString &folder);

// The absolute, cleaned path a user typed or pasted: blanks around it and the quotes a file manager
// puts round a copied path are dropped, a file:// address is taken as its path, "~" is the home
// folder, and a relative path lies in the folder shown. Empty when nothing was typed.
QString TypedPath(const QString &typed, const QString &shownFolder, const QString &home);

} // namespace korsa::finder
