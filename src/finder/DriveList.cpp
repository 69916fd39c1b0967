#include "finder/DriveList.h"

#include "finder/FinderPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

#include <algorithm>

namespace korsa {

namespace {

// File systems that hold no user files.
bool IsPseudoFileSystem(const QStorageInfo &volume)
{
    static const QSet<QByteArray> pseudoTypes{
        "proc",     "sysfs",  "devtmpfs", "devpts",   "cgroup",  "cgroup2",    "securityfs", "pstore",
        "debugfs",  "tracefs", "bpf",     "mqueue",   "hugetlbfs", "configfs", "fusectl",    "autofs",
        "binfmt_misc", "efivarfs", "nsfs", "rpc_pipefs", "selinuxfs", "ramfs", "squashfs"};
    if (pseudoTypes.contains(volume.fileSystemType()))
        return true;
    const QString root = volume.rootPath();
    for (const char *system : {"/proc", "/sys", "/dev", "/run", "/snap"}) {
        if (finder::IsSameOrBelow(root, QString::fromLatin1(system)))
            return true;
    }
    return false;
}

} // namespace

DriveList::DriveList(QWidget *parent) : QComboBox(parent)
{
    setObjectName(QStringLiteral("drvList"));
    setEditable(false);
    for (const QString &drive : MountedDrives())
        AddDrive(drive);
    connect(this, &QComboBox::currentIndexChanged, this, [this] { emit DriveChanged(); });
}

QStringList DriveList::MountedDrives()
{
    QStringList drives;
#ifdef Q_OS_WIN
    for (const QFileInfo &drive : QDir::drives())
        drives.append(finder::CleanFolder(drive.absoluteFilePath()));
#else
    drives.append(QStringLiteral("/"));
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady() || IsPseudoFileSystem(volume))
            continue;
        // Containers mount single files (such as /etc/hosts); only folders are drives.
        if (!QFileInfo(volume.rootPath()).isDir())
            continue;
        drives.append(finder::CleanFolder(volume.rootPath()));
    }
#endif
    std::sort(drives.begin(), drives.end());
    drives.erase(std::unique(drives.begin(), drives.end()), drives.end());
    return drives;
}

QString DriveList::Drive() const
{
    return currentIndex() < 0 ? QString() : itemData(currentIndex()).toString();
}

QString DriveList::DriveOf(const QString &path) const
{
    const QString folder = finder::CleanFolder(path);
    QString best;
    for (int i = 0; i < count(); ++i) {
        const QString root = itemData(i).toString();
        if (finder::IsSameOrBelow(folder, root) && root.size() > best.size())
            best = root;
    }
    if (best.isEmpty()) {
        const QStringList chain = finder::FolderChain(folder);
        if (!chain.isEmpty())
            best = chain.first();
    }
    return best;
}

void DriveList::SetDriveFromPath(const QString &path)
{
    const QString drive = DriveOf(path);
    if (drive.isEmpty())
        return;
    AddDrive(drive);
    setCurrentIndex(findData(drive));
}

void DriveList::AddDrive(const QString &root)
{
    const QString drive = finder::CleanFolder(root);
    if (drive.isEmpty() || findData(drive) >= 0)
        return;
    // Adding an entry is no change of drive: the current one stays current, and none is made
    // current when there was none.
    const QSignalBlocker blocker(this);
    const QString current = Drive();
    int at = 0;
    while (at < count() && itemData(at).toString() < drive)
        ++at;
    insertItem(at, drive, drive);
    setCurrentIndex(current.isEmpty() ? -1 : findData(current));
}

} // namespace korsa
