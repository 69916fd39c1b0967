#include "session/SettingsFile.h"

#include "platform/Platform.h"
#include "platform/RegularFile.h"
#include "platform/SafeUpdate.h"
#include "platform/SystemFiles.h"

#include <QDir>
#include <QFileInfo>

#include <optional>
#include <utility>

namespace korsa {

namespace {

const QString SettingsName = QStringLiteral("Korsa Gridwell.ini");
// A few paths; anything larger is no settings file of ours.
constexpr qint64 MaxSettingsBytes = 1024 * 1024;

const QByteArray FileKey = QByteArrayLiteral("file=");
const QByteArray AnnouncerOn = QByteArrayLiteral("announcer=on");
const QByteArray WindowKey = QByteArrayLiteral("window=");
const QByteArray FitToScreen = QByteArrayLiteral("fit");
// The factors a kept window size may have; anything else is passed over.
constexpr double SmallestFactor = 0.25, LargestFactor = 8.0;

// "fit", or a factor written with digits and "." only, whatever the language.
std::optional<WindowSizeChoice> ParseWindowSize(const QByteArray &text)
{
    if (text == FitToScreen)
        return WindowSizeChoice{true, 1.0};
    bool ok = !text.isEmpty();
    for (const char c : text)
        ok = ok && ((c >= '0' && c <= '9') || c == '.');
    const double factor = ok ? text.toDouble(&ok) : 0.0;
    if (!ok || factor < SmallestFactor || factor > LargestFactor)
        return std::nullopt;
    return WindowSizeChoice{false, factor};
}

std::optional<QByteArray> ReadContent(const QString &path) { return ReadRegularFile(path, MaxSettingsBytes); }

// Lines end with CR LF or a CR alone; a line feed alone belongs to the line.
QList<QByteArray> Lines(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\r');
    for (qsizetype k = 1; k < lines.size(); ++k) {
        if (lines[k].startsWith('\n'))
            lines[k].remove(0, 1);
    }
    return lines;
}

RememberedSettings Parse(const QByteArray &bytes)
{
    const QList<QByteArray> lines = Lines(bytes);
    RememberedSettings settings;
    settings.trackFolder = PathText(lines.first());
    for (const QByteArray &line : lines.mid(1)) {
        if (line.startsWith(FileKey))
            settings.trackFileName = PathText(line.mid(FileKey.size()));
        else if (line == AnnouncerOn)
            settings.trackAnnouncer = true;
        else if (line.startsWith(WindowKey))
            settings.windowSize = ParseWindowSize(line.mid(WindowKey.size())).value_or(WindowSizeChoice{});
    }
    return settings;
}

QByteArray Compose(const RememberedSettings &settings)
{
    QByteArray bytes = SystemPath(settings.trackFolder) + "\r\n";
    if (!settings.trackFileName.isEmpty())
        bytes += FileKey + SystemPath(settings.trackFileName) + "\r\n";
    if (settings.trackAnnouncer)
        bytes += AnnouncerOn + "\r\n";
    if (settings.windowSize.fitToScreen)
        bytes += WindowKey + FitToScreen + "\r\n";
    else if (!settings.windowSize.IsLayoutSize())
        bytes += WindowKey + QByteArray::number(settings.windowSize.factor, 'g', 6) + "\r\n";
    return bytes;
}

// Written as the track file is, and only ever a regular file: a link or a device at the name is
// left alone. A file that holds these bytes already is not written again.
bool WriteContent(const QString &path, const QByteArray &bytes)
{
    if (!CanWriteFolder(QFileInfo(path).absolutePath()))
        return false;
    FileUpdate update;
    update.path = SystemPath(path);
    update.create = true;
    update.maxBytes = MaxSettingsBytes;
    update.contentFor = [&bytes](const QByteArray &current) {
        return current == bytes ? std::nullopt : std::optional<QByteArray>(bytes);
    };
    const UpdateResult::Kind kind = UpdateFile(update).kind;
    return kind == UpdateResult::Kind::Written || kind == UpdateResult::Kind::Declined;
}

} // namespace

SettingsFile::SettingsFile(QString programFolder, QString installFolder)
    : programFolder_(std::move(programFolder)), installFolder_(std::move(installFolder))
{}

QString SettingsFile::BesideProgramPath() const { return JoinPath(programFolder_, SettingsName); }

QString SettingsFile::PerUserPath() const { return QDir(PerUserSettingsFolder()).filePath(SettingsName); }

RememberedSettings SettingsFile::Read() const
{
    for (const QString &path : {PerUserPath(), BesideProgramPath()}) {
        if (const auto bytes = ReadContent(path))
            return Parse(*bytes);
    }
    return RememberedSettings{programFolder_, QString(), false, {}};
}

void SettingsFile::RememberTrack(const QString &trackFolder, const QString &trackFileName) const
{
    RememberedSettings settings = Read();
    settings.trackFolder = trackFolder;
    settings.trackFileName = trackFileName;
    Write(Compose(settings));
}

void SettingsFile::RememberTrackAnnouncer(bool on) const
{
    RememberedSettings settings = Read();
    settings.trackAnnouncer = on;
    Write(Compose(settings));
}

void SettingsFile::RememberWindowSize(const WindowSizeChoice &choice) const
{
    RememberedSettings settings = Read();
    settings.windowSize = choice;
    Write(Compose(settings));
}

void SettingsFile::Write(const QByteArray &content) const
{
    // Once there is a per-user file it is the one read, so it is the one kept up to date.
    if (!QFileInfo::exists(PerUserPath()) && KeepsFilesBesideItself(programFolder_, installFolder_) &&
        WriteContent(BesideProgramPath(), content))
        return;
    QDir().mkpath(QFileInfo(PerUserPath()).path());
    WriteContent(PerUserPath(), content);
}

} // namespace korsa
