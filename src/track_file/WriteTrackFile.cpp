#include "track_file/TrackFileWriter.h"

#include "track_file/FileExists.h"
#include "track_file/RegularFile.h"
#include "track_file/TrackIniFileReader.h"
#include "track_file/TrackLines.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <array>
#include <cstdint>
#include <cstring>

#ifdef Q_OS_WIN
#include <QSaveFile>
#else
#include <algorithm>
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

QByteArray FolderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

// True when the open file holds exactly the bytes, read back through the same descriptor. It is
// read a piece at a time into one small buffer: a whole copy of the file would be fresh memory on
// every save.
bool ReadsBack(int fd, const QByteArray &bytes)
{
    constexpr qsizetype Piece = 64 * 1024;
    QByteArray back(Piece, Qt::Uninitialized);
    qsizetype at = 0;
    // One byte more than written is asked for at the end: a longer file shows there.
    for (;;) {
        const qsizetype want = std::min(Piece, bytes.size() + 1 - at);
        const ssize_t got = ::pread(fd, back.data(), static_cast<size_t>(want), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        if (at + got > bytes.size() ||
            std::memcmp(back.constData(), bytes.constData() + at, static_cast<std::size_t>(got)) != 0)
            return false;
        at += got;
    }
    return at == bytes.size();
}

// Writes all the bytes into the open file, gives it the mode and owner of `like`, puts it on disk
// and reads it back, all before the file may take the track file's name.
bool FillAndSync(int fd, const QByteArray &bytes, const struct stat &like)
{
    // Owner before mode: a change of owner may clear mode bits. Only root may give the file away.
    return WriteAll(fd, bytes) && (::geteuid() != 0 || ::fchown(fd, like.st_uid, like.st_gid) == 0) &&
           ::fchmod(fd, like.st_mode & 07777) == 0 && ::fsync(fd) == 0 && ReadsBack(fd, bytes);
}

#ifdef O_TMPFILE
// Gives the open nameless file a new name beside `target`: its name, or nothing.
std::optional<QByteArray> NameBeside(int fd, const QByteArray &target)
{
    static constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray name = target + '.';
        for (int i = 0; i < 6; ++i)
            name += Letters[QRandomGenerator::global()->bounded(static_cast<int>(sizeof Letters - 1))];
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)
            return name;
        if (errno != EEXIST)
            break;
    }
    return std::nullopt;
}
#endif

// A new file beside `target` that holds all the bytes, on disk, with the mode and owner of `like`.
// Its name, or nothing (and no file left behind) after any failure.
std::optional<QByteArray> WriteTemporary(const QByteArray &target, const QByteArray &bytes, const struct stat &like)
{
#ifdef O_TMPFILE
    // Where the system can, the file is written and synced before it has a name: a failure leaves
    // nothing behind, and the sync need not write the folder for a name that is about to change.
    static const bool named = ::access("/proc/self/fd", F_OK) == 0;
    if (named) {
        const int fd = ::open(FolderOf(target).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) {
            std::optional<QByteArray> name;
            if (FillAndSync(fd, bytes, like))
                name = NameBeside(fd, target);
            if (::close(fd) != 0 && name) {
                ::unlink(name->constData());
                name.reset();
            }
            return name;
        }
    }
#endif
    QByteArray name = target + ".XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    bool ok = FillAndSync(fd, bytes, like);
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
    const int fd = ::open(FolderOf(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

// A descriptor closed when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

private:
    int fd_;
};

bool SaveTrackFile(const SessionState &state, const QByteArray &bytes)
{
    const QString path = state.TrackFilePath();
    const QByteArray name = QFile::encodeName(path);
    struct stat entry {
    };
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
    struct stat file {
    };
    if (::stat(target.constData(), &file) != 0 || !S_ISREG(file.st_mode))
        return false;
    // Held open until the new name is on disk, so the replaced file's blocks are freed only then:
    // a file system that discards freed blocks at once would otherwise drop the old content while
    // a power cut could still bring back the old name. Where the file cannot be opened for reading
    // the save goes on without it.
    const Descriptor replaced(::open(target.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));

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
    const std::array<const QList<QByteArray> *, 2> parts = {&state.TrackLines, &tail};
    qsizetype size = 0;
    for (const QList<QByteArray> *part : parts)
        for (const QByteArray &line : *part)
            size += line.size() + LineEnd.size();

    // One buffer of the final size, filled in one pass. A line still in the file's buffer and
    // ended there by CR LF is already in its written form; runs of such lines are copied as one
    // span, so only a replaced line and lines that ended otherwise are copied on their own.
    QByteArray bytes(size, Qt::Uninitialized);
    char *out = bytes.data();
    const auto buffer = reinterpret_cast<std::uintptr_t>(state.TrackLinesBuffer.constData());
    const auto bufferEnd = buffer + static_cast<std::uintptr_t>(state.TrackLinesBuffer.size());
    const char *spanFrom = nullptr;
    const char *spanTo = nullptr;
    const auto flushSpan = [&] {
        std::memcpy(out, spanFrom, static_cast<std::size_t>(spanTo - spanFrom));
        out += spanTo - spanFrom;
        spanFrom = spanTo = nullptr;
    };
    for (const QList<QByteArray> *part : parts)
        for (const QByteArray &line : *part) {
            const char *text = line.constData();
            const auto at = reinterpret_cast<std::uintptr_t>(text);
            const auto written = static_cast<std::uintptr_t>(line.size() + LineEnd.size());
            if (at >= buffer && at < bufferEnd && written <= bufferEnd - at && text[line.size()] == '\r' &&
                text[line.size() + 1] == '\n') {
                if (text != spanTo) {
                    if (spanFrom)
                        flushSpan();
                    spanFrom = text;
                }
                spanTo = text + written;
                continue;
            }
            if (spanFrom)
                flushSpan();
            std::memcpy(out, text, static_cast<std::size_t>(line.size()));
            out += line.size();
            *out++ = '\r';
            *out++ = '\n';
        }
    if (spanFrom)
        flushSpan();
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
