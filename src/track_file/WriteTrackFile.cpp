#include "track_file/TrackFileWriter.h"

#include "platform/RegularFile.h"
#include "track_file/FileExists.h"
#include "track_file/TrackIniFileReader.h"
#include "track_file/TrackLines.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#ifdef Q_OS_WIN
#include <QSaveFile>
#else
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#endif

namespace korsa {

namespace {

const QByteArray LineEnd = QByteArrayLiteral("\r\n");

// The file's new content in order, as views of bytes that stand elsewhere; none is empty.
using Pieces = std::vector<QByteArrayView>;

// The marker section a save appends when the file has none.
QList<QByteArray> MarkerTail(const SessionState &state)
{
    if (!state.NoMarkerSection)
        return {};
    return {QByteArray(), MarkerLine, state.OriginalStallLine};
}

// The content of the state's lines and then `tail`, each line ended by CR LF. A line still in the
// file's buffer and ended there by CR LF is already in its written form: runs of such lines are
// one piece, so a file changed in one line is three pieces, not a copy of the file.
Pieces ContentPieces(const SessionState &state, const QList<QByteArray> &tail)
{
    Pieces pieces;
    const auto buffer = reinterpret_cast<std::uintptr_t>(state.TrackLinesBuffer.constData());
    const auto bufferEnd = buffer + static_cast<std::uintptr_t>(state.TrackLinesBuffer.size());
    const char *spanFrom = nullptr;
    const char *spanTo = nullptr;
    const auto flushSpan = [&] {
        pieces.emplace_back(spanFrom, spanTo - spanFrom);
        spanFrom = spanTo = nullptr;
    };
    for (const QList<QByteArray> *part : {&state.TrackLines, &tail})
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
            if (!line.isEmpty())
                pieces.emplace_back(line);
            pieces.emplace_back(LineEnd);
        }
    if (spanFrom)
        flushSpan();
    return pieces;
}

qsizetype TotalSize(const Pieces &pieces)
{
    qsizetype size = 0;
    for (const QByteArrayView piece : pieces)
        size += piece.size();
    return size;
}

QByteArray Joined(const Pieces &pieces)
{
    QByteArray bytes(TotalSize(pieces), Qt::Uninitialized);
    char *out = bytes.data();
    for (const QByteArrayView piece : pieces) {
        std::memcpy(out, piece.data(), static_cast<std::size_t>(piece.size()));
        out += piece.size();
    }
    return bytes;
}

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

// Writes the pieces one after another, as many at a time as the system takes.
bool WriteAll(int fd, const Pieces &pieces)
{
    std::size_t next = 0; // the first piece not yet wholly written
    qsizetype done = 0;   // how much of it is
    while (next < pieces.size()) {
        std::array<iovec, 64> parts{};
        int count = 0;
        for (std::size_t k = next; k < pieces.size() && count < static_cast<int>(parts.size()); ++k) {
            const qsizetype skip = k == next ? done : 0;
            parts[static_cast<std::size_t>(count++)] = {const_cast<char *>(pieces[k].data() + skip),
                                                        static_cast<std::size_t>(pieces[k].size() - skip)};
        }
        ssize_t written = ::writev(fd, parts.data(), count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        while (written > 0) {
            const qsizetype rest = pieces[next].size() - done;
            if (written < rest) {
                done += written;
                break;
            }
            written -= rest;
            ++next;
            done = 0;
        }
    }
    return true;
}

QByteArray FolderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

// True when the open file holds exactly the pieces, read back through the same descriptor. It is
// read a part at a time into one small buffer: a whole copy of the file would be fresh memory on
// every save.
bool ReadsBack(int fd, const Pieces &pieces)
{
    constexpr qsizetype Part = 64 * 1024;
    const qsizetype total = TotalSize(pieces);
    QByteArray back(Part, Qt::Uninitialized);
    std::size_t next = 0; // the piece the file is compared with
    qsizetype done = 0;   // how much of it compared equal
    qsizetype at = 0;
    // One byte more than written is asked for at the end: a longer file shows there.
    for (;;) {
        const qsizetype want = std::min(Part, total + 1 - at);
        const ssize_t got = ::pread(fd, back.data(), static_cast<size_t>(want), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        if (at + got > total)
            return false;
        for (qsizetype compared = 0; compared < got;) {
            const qsizetype n = std::min<qsizetype>(got - compared, pieces[next].size() - done);
            if (std::memcmp(back.constData() + compared, pieces[next].data() + done, static_cast<std::size_t>(n)) != 0)
                return false;
            compared += n;
            done += n;
            if (done == pieces[next].size()) {
                ++next;
                done = 0;
            }
        }
        at += got;
    }
    return at == total;
}

// Writes all the bytes into the open file, gives it the mode and owner of `like`, puts it on disk
// and reads it back, all before the file may take the track file's name.
bool FillAndSync(int fd, const Pieces &bytes, const struct stat &like)
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
std::optional<QByteArray> WriteTemporary(const QByteArray &target, const Pieces &bytes, const struct stat &like)
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
    Pieces pieces;
    if (!bytes.isEmpty())
        pieces.emplace_back(bytes);
    const auto temporary = WriteTemporary(backup, pieces, like);
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

bool SaveTrackFile(const SessionState &state, const Pieces &bytes)
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
    const QList<QByteArray> tail = MarkerTail(state);
    return Joined(ContentPieces(state, tail));
}

TrackFileOutcome WriteTrackFile(const SessionState &state)
{
    // A save must leave a file the trainer can read again: the marker section may not push it
    // past the most lines a track file can have.
    const qsizetype lineCount = state.TrackLines.size() + (state.NoMarkerSection ? 3 : 0);
    if (lineCount > MaxTrackLines)
        return TrackFileOutcome::SaveFailed;
    const QList<QByteArray> tail = MarkerTail(state);
    const Pieces pieces = ContentPieces(state, tail);
#ifdef Q_OS_WIN
    const bool saved = SaveTrackFile(state, Joined(pieces));
#else
    // Written straight from where the lines stand: no copy of the file is made.
    const bool saved = SaveTrackFile(state, pieces);
#endif
    if (!saved)
        return TrackFileOutcome::SaveFailed;
    return TrackFileOutcome::Ok;
}

} // namespace korsa
