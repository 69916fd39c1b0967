#include "session/SettingsFile.h"

#include "platform/Platform.h"
#include "platform/RegularFile.h"
#include "platform/SafeUpdate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <optional>
#include <utility>

namespace korsa {

namespace {

const QString SettingsName = QStringLiteral("Korsa Gridwell.ini");
// One folder name; anything larger is no settings file of ours.
constexpr qint64 MaxSettingsBytes = 1024 * 1024;

std::optional<QString> ReadFirstLine(const QString &path)
{
    std::optional<QByteArray> bytes = ReadRegularFile(path, MaxSettingsBytes);
    if (!bytes)
        return std::nullopt;
    if (const qsizetype end = bytes->indexOf('\r'); end >= 0)
        bytes->truncate(end);
    return QFile::decodeName(*bytes);
}

// Written as the track file is, and only ever a regular file: a link or a device at the name is
// left alone.
bool WriteLine(const QString &path, const QString &line)
{
    if (!CanWriteFolder(QFileInfo(path).absolutePath()))
        return false;
    FileUpdate update;
    update.path = QFile::encodeName(path);
    update.create = true;
    update.maxBytes = MaxSettingsBytes;
    update.contentFor = [bytes = QFile::encodeName(line) + "\r\n"](const QByteArray &) { return bytes; };
    return UpdateFile(update).kind == UpdateResult::Kind::Written;
}

} // namespace

SettingsFile::SettingsFile(QString programFolder, QString installFolder)
    : programFolder_(std::move(programFolder)), installFolder_(std::move(installFolder))
{}

QString SettingsFile::BesideProgramPath() const { return JoinPath(programFolder_, SettingsName); }

QString SettingsFile::PerUserPath() const
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)).filePath(SettingsName);
}

QString SettingsFile::ReadTrackFolder() const
{
    if (auto line = ReadFirstLine(PerUserPath()))
        return *line;
    if (auto line = ReadFirstLine(BesideProgramPath()))
        return *line;
    return programFolder_;
}

void SettingsFile::WriteTrackFolder(const QString &trackFolder) const
{
    // Once there is a per-user file it is the one read, so it is the one kept up to date.
    if (!QFileInfo::exists(PerUserPath()) && KeepsFilesBesideItself(programFolder_, installFolder_) &&
        WriteLine(BesideProgramPath(), trackFolder))
        return;
    QDir().mkpath(QFileInfo(PerUserPath()).path());
    WriteLine(PerUserPath(), trackFolder);
}

} // namespace korsa
