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

// True when the folder exists and its entries can be read by this process.
bool CanListFolder(const QString &folder);

} // namespace korsa::finder
