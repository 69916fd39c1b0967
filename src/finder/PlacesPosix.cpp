// The places of a POSIX system: Steam below the home folder, and the mount table's file systems.

#include "finder/FinderPaths.h"
#include "finder/Places.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace korsa::finder {

namespace {

// Where Steam keeps itself below the home folder: the usual place, the link older installations
// use (usually to the usual place), and the Flatpak build's own.
const QStringList SteamLocations = {QStringLiteral(".local/share/Steam"), QStringLiteral(".steam/steam"),
                                    QStringLiteral(".var/app/com.valvesoftware.Steam/.local/share/Steam")};

// A mount table lists a few hundred lines; anything beyond this is not a mount table.
constexpr qint64 MaxMountTableBytes = 4 << 20;

// Mount tables write a blank, tab, newline and backslash in a path as \040, \011, \012 and \134.
QString MountPath(const QByteArray &field)
{
    QByteArray path;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QByteArray digits = field.mid(i + 1, 3);
        if (field[i] == '\\' && digits.size() == 3 &&
            std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
            path += char(digits.toInt(nullptr, 8));
            i += 3;
        } else {
            path += field[i];
        }
    }
    return QFile::decodeName(path);
}

// File systems that hold no user files.
bool IsPseudoFileSystem(const QByteArray &type, const QString &folder)
{
    static const QSet<QByteArray> pseudoTypes{"proc",          "sysfs",
                                              "devtmpfs",      "devpts",
                                              "tmpfs",         "cgroup",
                                              "cgroup2",       "securityfs",
                                              "pstore",        "debugfs",
                                              "tracefs",       "bpf",
                                              "mqueue",        "hugetlbfs",
                                              "configfs",      "fusectl",
                                              "autofs",        "binfmt_misc",
                                              "efivarfs",      "nsfs",
                                              "rpc_pipefs",    "selinuxfs",
                                              "ramfs",         "squashfs",
                                              "overlay",       "fuse.gvfsd-fuse",
                                              "fuse.portal",   "fuse.lxcfs",
                                              "fuse.snapfuse", "nfsd"};
    if (pseudoTypes.contains(type))
        return true;
    for (const char *system : {"/proc", "/sys", "/dev"}) {
        if (IsSameOrBelow(folder, QString::fromLatin1(system)))
            return true;
    }
    return false;
}

QString LastName(const QString &folder) { return QDir::fromNativeSeparators(folder).section(QLatin1Char('/'), -1); }

} // namespace

QStringList SteamInstallations(const QString &home)
{
    QStringList installations;
    for (const QString &location : SteamLocations)
        installations.append(QDir(home).filePath(location));
    return installations;
}

QStringList MountedFolders(const QString &mountTable)
{
    QFile file(mountTable);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList folders;
    for (const QByteArray &line : file.read(MaxMountTableBytes).split('\n')) {
        // device, folder, type, options, ...
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 3)
            continue;
        const QString written = MountPath(fields[1]);
        const QString folder = CleanFolder(written);
        // A file system not ready, or a single file mounted (as containers do with /etc/hosts), is
        // no drive.
        if (!QDir::isAbsolutePath(written) || IsPseudoFileSystem(fields[2], folder) || !QFileInfo(folder).isDir())
            continue;
        folders.append(folder);
    }
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    return folders;
}

QList<Place> DrivePlaces(const QString &home, const QString &mountTable)
{
    QList<Place> places;
    const auto add = [&places](const QString &label, const QString &folder) {
        const QString path = CleanFolder(folder);
        if (path.isEmpty() || std::any_of(places.begin(), places.end(), [&](const Place &p) { return p.path == path; }))
            return;
        places.append({label, path});
    };
    add(QStringLiteral("/"), QStringLiteral("/"));
    if (QFileInfo(home).isDir())
        add(QStringLiteral("Home"), home);
    for (const QString &library : SteamLibraries(home)) {
        add(QStringLiteral("Steam library"), library);
        if (places.last().path == CleanFolder(library) && QFileInfo(GamesFolder(library)).isDir())
            places.last().opensAt = CleanFolder(GamesFolder(library));
    }
    for (const QString &folder : MountedFolders(mountTable))
        add(LastName(folder), folder);
    return places;
}

} // namespace korsa::finder
