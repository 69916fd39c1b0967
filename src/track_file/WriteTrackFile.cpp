#include "track_file/TrackIniFileReader.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <array>
#include <cstring>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korsa {

namespace {

const QByteArray LineEnd = QByteArrayLiteral("\r\n");

// A file nobody may write counts as read-only even for a user whom the system would let write it.
bool IsReadOnly(const QFileInfo &info)
{
    constexpr auto writeBits = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !info.isWritable() || !(info.permissions() & writeBits);
}

bool ReplaceTrackFile(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    if (!info.exists() || IsReadOnly(info))
        return false;
    // Write through a link to its target, so the link stays a link.
    const QString target = info.canonicalFilePath();
    if (target.isEmpty() || !QFileInfo(target).isFile())
        return false;
#ifndef Q_OS_WIN
    struct stat before {};
    if (::stat(QFile::encodeName(target).constData(), &before) != 0)
        return false;
#else
    const QFileDevice::Permissions permissions = QFileInfo(target).permissions();
#endif

    // The new content goes to a temporary file beside the track file and replaces it only once all
    // of it is written, so a full disk or any other failure leaves the old bytes in place.
    QSaveFile out(target);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        return false;

    // The replacement is a new file: give it the old one's mode bits and, where we may, its owner.
#ifndef Q_OS_WIN
    const QByteArray native = QFile::encodeName(target);
    if (::chmod(native.constData(), before.st_mode & 07777) != 0)
        return false;
    if (::geteuid() == 0 && ::chown(native.constData(), before.st_uid, before.st_gid) != 0)
        return false;
#else
    QFile::setPermissions(target, permissions);
#endif

    QFile check(target);
    return check.open(QIODevice::ReadOnly) && check.readAll() == bytes;
}

} // namespace

QByteArray TrackFileBytes(const SessionState &state)
{
    QList<QByteArray> tail;
    if (state.NoMarkerSection)
        tail = {QByteArray(), MarkerLine, state.OriginalStallLine};
    qsizetype size = 0;
    const std::array<const QList<QByteArray> *, 2> parts = {&state.TrackLines, &tail};
    for (const QList<QByteArray> *part : parts)
        for (const QByteArray &line : *part)
            size += line.size() + LineEnd.size();

    // One buffer of the final size, filled in place: the largest files have tens of thousands of lines.
    QByteArray bytes(size, Qt::Uninitialized);
    char *out = bytes.data();
    for (const QList<QByteArray> *part : parts)
        for (const QByteArray &line : *part) {
            std::memcpy(out, line.constData(), static_cast<std::size_t>(line.size()));
            out += line.size();
            *out++ = '\r';
            *out++ = '\n';
        }
    return bytes;
}

void WriteTrackFile(const SessionState &state, Platform &platform)
{
    const QString path = state.TrackFilePath();
    const QString backup = path + QStringLiteral(".bak");
    // A save must leave a file the trainer can read again: the marker section may not push it
    // past the most lines a track file can have.
    const qsizetype lineCount = state.TrackLines.size() + (state.NoMarkerSection ? 3 : 0);
    bool written = lineCount <= MaxTrackLines;
    // The backup's own name, taken literally: another file matching it as a pattern is no backup.
    if (written && !EntryExists(backup))
        written = QFile::copy(path, backup);
    written = written && ReplaceTrackFile(path, TrackFileBytes(state));
    if (!written) {
        platform.ShowMessage(messages::FileSaveText, messages::FileSaveCaption);
        platform.Terminate(exit_status::SaveFailed);
    }
}

} // namespace korsa
