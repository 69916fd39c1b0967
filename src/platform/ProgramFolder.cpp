#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>

namespace korsa {

namespace {

// The folder with links resolved where it exists, else its clean absolute path.
QString RealFolder(const QString &folder)
{
    const QFileInfo info(folder);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

} // namespace

bool CanWriteFolder(const QString &folder)
{
    constexpr auto writeBits = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable() && (info.permissions() & writeBits);
}

QString InstalledProgramFolder() { return QStringLiteral(KORSA_INSTALL_BINDIR); }

bool KeepsFilesBesideItself(const QString &programFolder, const QString &installFolder)
{
    // A build made to be unpacked anywhere is installed for its user wherever that is.
    constexpr bool settingsPerUser = KORSA_SETTINGS_PER_USER;
    if (settingsPerUser || programFolder.isEmpty() || !CanWriteFolder(programFolder))
        return false;
    const QString folder = RealFolder(programFolder);
    if (!installFolder.isEmpty() && folder == RealFolder(installFolder))
        return false;
#ifndef Q_OS_WIN
    for (const char *systemTree : {"/usr", "/bin", "/sbin", "/opt"}) {
        const QString tree = QString::fromLatin1(systemTree);
        if (folder == tree || folder.startsWith(tree + QLatin1Char('/')))
            return false;
    }
#endif
    return true;
}

} // namespace korsa
