// The system's files and command line on Linux and other POSIX systems.

#include "platform/Console.h"
#include "platform/OpenedFile.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemFiles.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdlib>
#include <unistd.h>

namespace korsa {

QByteArray SystemPath(const QString &path) { return QFile::encodeName(path); }

QString PathText(const QByteArray &path) { return QFile::decodeName(path); }

std::variant<FileContent, ReadFault> ReadFileContent(const QByteArray &path, qint64 maxBytes)
{
    auto opened = OpenedFile::Open(path, OpenedFile::Links::Follow);
    if (const FileFault *fault = std::get_if<FileFault>(&opened))
        return ReadFault{fault->missing, fault->cause};
    const OpenedFile &file = std::get<OpenedFile>(opened);
    auto bytes = file.ReadAll(maxBytes);
    if (const FileFault *fault = std::get_if<FileFault>(&bytes))
        return ReadFault{fault->missing, fault->cause};
    return FileContent{std::get<QByteArray>(std::move(bytes)), file.FollowedLink()};
}

bool InSystemProgramTree(const QString &folder)
{
    for (const char *systemTree : {"/usr", "/bin", "/sbin", "/opt"}) {
        const QString tree = QString::fromLatin1(systemTree);
        if (folder == tree || folder.startsWith(tree + QLatin1Char('/')))
            return true;
    }
    return false;
}

QString PerUserSettingsFolder() { return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation); }

bool CanWriteFolder(const QString &folder)
{
    constexpr auto writeBits = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable() && (info.permissions() & writeBits);
}

QStringList ArgumentTexts(int argc, char *argv[])
{
    QStringList texts;
    for (int i = 1; i < argc; ++i)
        texts.append(QString::fromLocal8Bit(argv[i]));
    return texts;
}

QList<QByteArray> ArgumentPaths(int argc, char *argv[])
{
    QList<QByteArray> paths;
    for (int i = 1; i < argc; ++i)
        paths.append(QByteArray(argv[i]));
    return paths;
}

QByteArray AbsoluteSystemPath(const QByteArray &path)
{
    if (path.startsWith('/'))
        return path;
    char *name = ::getcwd(nullptr, 0);
    const QByteArray folder(name);
    std::free(name);
    if (folder.isEmpty())
        return path;
    return (folder == "/" ? folder : folder + '/') + path;
}

int WriteText(std::FILE *stream, const QString &text) { return std::fputs(text.toLocal8Bit().constData(), stream); }

} // namespace korsa
