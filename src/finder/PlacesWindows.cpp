// The places of Windows: the drives, and Steam where the registry says it is.

#include "finder/FinderPaths.h"
#include "finder/Places.h"

#include <QDir>
#include <QFileInfo>

#include <cwchar>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace korsa::finder {

namespace {

// A fixed drive's name ("Windows (C:\)"); nothing is asked of a removable or network drive, whose
// answer may take long or need a medium.
QString DriveLabel(const QString &root)
{
    const std::wstring wide = root.toStdWString();
    if (::GetDriveTypeW(wide.c_str()) != DRIVE_FIXED)
        return QString();
    wchar_t name[MAX_PATH + 1] = {};
    if (!::GetVolumeInformationW(wide.c_str(), name, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0))
        return QString();
    return QString::fromWCharArray(name);
}

// Every drive letter in use, ready or not, as its root folder ("C:\").
QStringList DriveRoots()
{
    QStringList roots;
    wchar_t buffer[4 * 26 + 2] = {};
    const DWORD length = ::GetLogicalDriveStringsW(sizeof buffer / sizeof buffer[0], buffer);
    if (length == 0 || length > sizeof buffer / sizeof buffer[0])
        return roots;
    for (const wchar_t *root = buffer; *root; root += std::wcslen(root) + 1)
        roots.append(QString::fromWCharArray(root));
    return roots;
}

} // namespace

QStringList SteamInstallations(const QString &)
{
    QStringList installations;
    // Read with the system's own call: the track search asks from a thread of its own, where no
    // QObject (as QSettings is) belongs.
    wchar_t registered[32768] = {};
    DWORD size = sizeof registered;
    if (::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Valve\\Steam", L"SteamPath", RRF_RT_REG_SZ, nullptr, registered,
                       &size) == ERROR_SUCCESS &&
        registered[0] != L'\0')
        installations.append(QDir::toNativeSeparators(QString::fromWCharArray(registered)));
    const QString programFiles = qEnvironmentVariable("ProgramFiles(x86)", QStringLiteral("C:\\Program Files (x86)"));
    installations.append(QDir::toNativeSeparators(programFiles) + QStringLiteral("\\Steam"));
    return installations;
}

QStringList MountedFolders(const QString &) { return {}; }

QList<Place> DrivePlaces(const QString &home, const QString &)
{
    QList<Place> places;
    QStringList offered;
    for (const QString &root : DriveRoots()) {
        places.append({DriveLabel(root), CleanFolder(root)});
        offered.append(places.last().path);
    }
    for (const QString &library : SteamLibraries(home)) {
        const QString path = CleanFolder(library);
        if (ContainsFolder(offered, path))
            continue;
        offered.append(path);
        places.append({QStringLiteral("Steam library"), path});
        if (QFileInfo(GamesFolder(library)).isDir())
            places.last().opensAt = CleanFolder(GamesFolder(library));
    }
    return places;
}

} // namespace korsa::finder
