#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace korsa::finder {

// A place the drive list offers: what a person calls it, its folder, and the folder it opens at
// when that is another (a Steam library opens at its steamapps/common).
struct Place {
    QString label;
    QString path;
    QString opensAt = {};
    bool operator==(const Place &) const = default;
};

// The library folders a Steam libraryfolders.vdf names, in its order, as written there. Only the
// first MaxLibraryFileBytes are read; what cannot be understood is skipped, so a damaged file
// yields what could be read of it, or nothing.
inline constexpr qint64 MaxLibraryFileBytes = 1 << 20;
QStringList LibraryFoldersIn(const QString &vdfPath);

// Where Steam may be installed for the user whose home folder this is, existing or not: below the
// home folder on Linux (the usual place, the older link to it, the Flatpak build's); on Windows the
// folder the registry names (HKCU\Software\Valve\Steam, SteamPath), else Program Files (x86)\Steam.
QStringList SteamInstallations(const QString &home);

// Every Steam library of the user whose home folder this is: each Steam installation that exists
// (its own library first, then those its libraryfolders.vdf names), as folders with links
// resolved, each once; libraries whose folder is missing are left out.
QStringList SteamLibraries(const QString &home);

// The folders of the mount table's file systems that hold user files and are ready, sorted, each
// once (not on Windows, which has drives instead).
QStringList MountedFolders(const QString &mountTable = QStringLiteral("/proc/self/mounts"));

// The folder below a Steam library that holds its games.
QString GamesFolder(const QString &library);

// The drive list's places: "/", the home folder, the Steam libraries, the mounted file systems;
// a folder already offered is not offered again. On Windows: every drive, ready or not (a drive
// without its medium is refused when picked), then the Steam libraries; the mount table is unused.
QList<Place> DrivePlaces(const QString &home, const QString &mountTable = QStringLiteral("/proc/self/mounts"));

// Where the finder opens when no folder is remembered and no track file was found: a copy of the
// program in a writable folder of its own starts there; an installed one (KeepsFilesBesideItself is
// false) in the first Steam library's steamapps/common that exists, else in the home folder.
QString FirstRunFolder(const QString &programFolder, const QString &home);

// Whether the finder has a folder to go back to: an existing one other than the program's own (an
// installed program's folder never holds a track file, so naming it is remembering nothing).
bool RemembersFolder(const QString &trackFolder, const QString &programFolder);

} // namespace korsa::finder
