#include "track_file/TrackFileWriter.h"

#include "track_file/FileExists.h"
#include "track_file/RegularFile.h"
#include "track_file/TrackIniFileReader.h"
#include "track_file/TrackLines.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <cstring>

#ifdef Q_OS_WIN
#include <QSaveFile>
#else
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korsa {

namespace {

const QByteArray LineEnd = QByteArrayLiteral("\r\n");

#ifdef Q_OS_WIN

bool SaveTrackFile(const SessionState &state, const QByteArray &bytes)
{
    const QString path = state.TrackFilePath();
    const QFileInfo info(path);
    if (!info.isFile() || (info.isSymLink() && !state.TrackFileIsLink))
        return false;
    const QString backup = path + QStringLiteral(".bak");
    if (!EntryExists(backup) && !QFile::copy(path, backup))
        return false;
    if (!info.isWritable())
        return false;
    QSaveFile out(info.canonicalFilePath());
    out.setDirectWriteFallback(false);
    // A failed flush of the write buffer must stop the replace before commit() renames.
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.flush() && out.commit();
}

#else

bool WriteAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

// A new file beside `target` that holds all the bytes, on disk, with the mode and owner of `like`.
// Its name, or nothing (and no file left behind) after any failure.
std::optional<QByteArray> WriteTemporary(const QByteArray &target, const QByteArray &bytes, const struct stat &like)
{
    QByteArray name = target + ".XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    // Owner before mode: a change of owner may clear mode bits. Only root may give the file away.
    bool ok = WriteAll(fd, bytes) && (::geteuid() != 0 || ::fchown(fd, like.st_uid, like.st_gid) == 0) &&
              ::fchmod(fd, like.st_mode & 07777) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(name.constData());
        return std::nullopt;
    }
    return name;
}

// Makes a rename in the folder survive a power cut.
bool SyncFolderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Some file systems cannot sync a folder; their renames are as safe as they get.
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
    ::close(fd);
    return ok;
}

// The one-time backup: complete or not there at all, and never over a backup that exists.
bool CreateBackup(const QByteArray &backup, const QByteArray &bytes, const struct stat &like)
{
    const auto temporary = WriteTemporary(backup, bytes, like);
    if (!temporary)
        return false;
    bool ok = ::link(temporary->constData(), backup.constData()) == 0 || errno == EEXIST;
    if (!ok && (errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP))
        ok = ::rename(temporary->constData(), backup.constData()) == 0; // no hard links here
    ::unlink(temporary->constData());
    return ok && SyncFolderOf(backup);
}

bool SaveTrackFile(const SessionState &state, const QByteArray &bytes)
{
    const QString path = state.TrackFilePath();
    const QByteArray name = QFile::encodeName(path);
    struct stat entry {};
    if (name.isEmpty() || ::lstat(name.constData(), &entry) != 0)
        return false;
    // Write through a link to its target, so the link stays a link; but a name that has been turned
    // into a link since the file was read could lead anywhere.
    QByteArray target = name;
    if (S_ISLNK(entry.st_mode)) {
        if (!state.TrackFileIsLink)
            return false;
        char resolved[PATH_MAX];
        if (!::realpath(name.constData(), resolved))
            return false;
        target = resolved;
    }
    struct stat file {};
    if (::stat(target.constData(), &file) != 0 || !S_ISREG(file.st_mode))
        return false;

    const QString backup = path + QStringLiteral(".bak");
    // The backup's own name, taken literally: another file matching it as a pattern is no backup.
    if (!EntryExists(backup)) {
        const auto old = ReadRegularFile(QFile::decodeName(target), MaxTrackFileBytes);
        if (!old || !CreateBackup(QFile::encodeName(backup), *old, file))
            return false;
    }

    // A file nobody may write counts as read-only even for a user whom the system would let write it.
    if ((file.st_mode & 0222) == 0 || ::access(target.constData(), W_OK) != 0)
        return false;
    // The new content replaces the file only once all of it is on disk, so a full disk or any
    // other failure leaves the old bytes in place.
    const auto temporary = WriteTemporary(target, bytes, file);
    if (!temporary)
        return false;
    if (::rename(temporary->constData(), target.constData()) != 0) {
        ::unlink(temporary->constData());
        return false;
    }
    return SyncFolderOf(target);
}

#endif

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

TrackFileOutcome WriteTrackFile(const SessionState &state)
{
    // A save must leave a file the trainer can read again: the marker section may not push it
    // past the most lines a track file can have.
    const qsizetype lineCount = state.TrackLines.size() + (state.NoMarkerSection ? 3 : 0);
    if (lineCount > MaxTrackLines || !SaveTrackFile(state, TrackFileBytes(state)))
        return TrackFileOutcome::SaveFailed;
    return TrackFileOutcome::Ok;
}

} // namespace korsa
