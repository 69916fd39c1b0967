#include "platform/ProgramFolder.h"

#include "platform/SystemFiles.h"

#include <QDir>
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
    return !InSystemProgramTree(folder);
}

} // namespace korsa
