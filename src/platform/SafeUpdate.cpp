#include "platform/SafeUpdate.h"

#include "platform/FileCause.h"
#include "platform/OpenedFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace korsa {

namespace {

using Kind = UpdateResult::Kind;

// The file is read again and the change made again at most this often before the save gives up.
constexpr int MaxAttempts = 5;
// A leftover younger than this may belong to a save still running.
constexpr time_t LeftoverSeconds = 10 * 60;
// A journal whose file has gone, or is another file now, is kept this long for whoever needs its bytes.
constexpr time_t JournalSeconds = 30 * 24 * 60 * 60;

// The program's own files beside the one it saves, each `.NAME.korsa-KIND`: `save-XXXXXX` is new
// content on its way to the name; `journal-XXXXXX` the old content while the file is written in
// place; `kept-XXXXXX` another program's version that could not be put back (never removed by the
// program: a message names it); `lock` the name two saves take turns by (it holds no data);
// `copy-XXXXXX` the old content as earlier versions of the program kept it.
const QByteArray SaveKind = ".korsa-save-";
const QByteArray JournalKind = ".korsa-journal-";
const QByteArray KeptKind = ".korsa-kept-";
const QByteArray CopyKind = ".korsa-copy-";
const QByteArray LockKind = ".korsa-lock";
constexpr int RandomLetters = 6;

const QString ReadBackFailed = QStringLiteral("What was written could not be read back unchanged.");

UpdateResult Failed(QString cause) { return {Kind::Failed, std::move(cause), false}; }

// Errors by which a file system or a folder refuses a new file, rather than fails to write one.
bool IsRefusal(int error)
{
    return error == EPERM || error == EACCES || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS ||
           error == EINVAL || error == ENAMETOOLONG;
}

// Why a write of `needed` more bytes through fd failed: a disk with less room than that is full,
// whatever the file system answered (fusefat says EPERM).
QString CauseOfWriteError(int error, int fd, qint64 needed)
{
    struct statvfs disk {
    };
    if (needed > 0 && ::fstatvfs(fd, &disk) == 0 && qint64(disk.f_bavail) * qint64(disk.f_frsize) < needed)
        return CauseOfError(ENOSPC);
    return CauseOfError(error);
}

// Writes the bytes at the start of the file; `done` tells how many reached it.
bool WriteAllAt(int fd, const QByteArray &bytes, qsizetype &done)
{
    for (done = 0; done < bytes.size();) {
        const ssize_t written = ::pwrite(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done), done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        done += written;
    }
    return true;
}

// Gives an open file that holds `old` exactly these bytes, synced: the cause of a failure, or nothing.
// `expected` is then what the file holds if nobody else wrote to it.
std::optional<QString> Rewrite(int fd, const QByteArray &bytes, const QByteArray &old, QByteArray *expected = nullptr)
{
    qsizetype done = 0;
    std::optional<QString> cause;
    QByteArray holds = bytes;
    // Shorter content cuts the file; it never grows by a cut (some file systems refuse that).
    if (!WriteAllAt(fd, bytes, done)) {
        cause = CauseOfWriteError(errno, fd, bytes.size() - done);
        holds = bytes.left(done) + old.mid(done);
    } else if (bytes.size() < old.size() && ::ftruncate(fd, bytes.size()) != 0) {
        cause = CauseOfError(errno);
        holds = bytes + old.mid(bytes.size());
    } else if (::fsync(fd) != 0) {
        cause = CauseOfWriteError(errno, fd, bytes.size());
    }
    if (expected)
        *expected = std::move(holds);
    return cause;
}

// Opens a name another program may have replaced by a named pipe or a device: never waits on one.
Descriptor OpenName(int folder, const QByteArray &name, int flags)
{
    return Descriptor(::openat(folder, name.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
}

// Opens the file afresh to compare what it holds: some file systems read a new file back through the
// descriptor that wrote it as zeros.
bool ReadsBack(int folder, const QByteArray &name, const struct stat &written, const QByteArray &expected)
{
    const Descriptor fd = OpenName(folder, name, O_RDONLY);
    struct stat info {
    };
    return fd.valid() && ::fstat(fd.get(), &info) == 0 && info.st_ino == written.st_ino &&
           info.st_dev == written.st_dev && HoldsExactly(fd.get(), expected);
}

// Makes the names changed in the folder survive a power cut.
bool SyncFolder(int folder)
{
    const Descriptor fd(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some file systems cannot sync a folder, and a folder that cannot be listed cannot be opened to
    // sync it: their renames are as safe as they get.
    if (!fd.valid())
        return errno == EACCES;
    return ::fsync(fd.get()) == 0 || errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP || errno == ENOSYS;
}

// Removes one of the program's own names; a removal that fails (NTFS answers ENOSPC on a full disk)
// is tried again, and what stays is emptied, so that the next save can take it away at once.
void RemoveOwn(int folder, const QByteArray &name, int fd = -1)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (::unlinkat(folder, name.constData(), 0) == 0 || errno == ENOENT)
            return;
        if (attempt == 0 && fd >= 0 && ::ftruncate(fd, 0) != 0)
            fd = -1;
    }
}

struct NewFile {
    QByteArray name;
    Descriptor fd;
};

QByteArray RandomName(const QByteArray &name, const QByteArray &kind)
{
    static constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray made = '.' + name + kind;
    for (int i = 0; i < RandomLetters; ++i)
        made += Letters[QRandomGenerator::global()->bounded(static_cast<int>(sizeof Letters - 1))];
    return made;
}

// A new empty file `.NAME KIND XXXXXX` in the folder; nothing (errno tells why) where none can be made.
std::optional<NewFile> CreateBeside(int folder, const QByteArray &name, const QByteArray &kind, mode_t mode)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray made = RandomName(name, kind);
        Descriptor fd(
            ::openat(folder, made.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode));
        if (fd.valid())
            return NewFile{made, std::move(fd)};
        if (errno != EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}

// Writes the bytes into the new file, syncs it and reads it back: the cause of a failure, or nothing.
std::optional<QString> Fill(int folder, const NewFile &file, const QByteArray &bytes)
{
    struct stat info {
    };
    if (auto cause = Rewrite(file.fd.get(), bytes, QByteArray()))
        return cause;
    if (::fstat(file.fd.get(), &info) != 0)
        return CauseOfError(errno);
    return ReadsBack(folder, file.name, info, bytes) ? std::nullopt : std::optional(ReadBackFailed);
}

// Gives the new file the name where nothing has it, never over a file that appeared there meanwhile
// (EEXIST). Where the file system has neither such a rename nor hard links (FAT over FUSE), it looks
// first: only a program outside the save's turn-taking can come between.
int PlaceWithoutOverwriting(int folder, const QByteArray &temp, const QByteArray &name)
{
    if (::renameat2(folder, temp.constData(), folder, name.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (!IsRefusal(errno))
        return -1;
    if (::linkat(folder, temp.constData(), folder, name.constData(), 0) == 0) {
        RemoveOwn(folder, temp);
        return 0;
    }
    if (!IsRefusal(errno))
        return -1;
    struct stat there {
    };
    if (::fstatat(folder, name.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(folder, temp.constData(), folder, name.constData());
}

// Gives the new file the owner, group and mode of `like`, asking the system only for what differs;
// false where it is not all so (a user who may not give a file away, a file system without owners).
bool TakeOwnerAndMode(int fd, const struct stat &like)
{
    struct stat now {
    };
    if (::fstat(fd, &now) != 0)
        return false;
    // Owner before mode: a change of owner may clear the set-id bits.
    // A user who may not give the file away may still give it the group, being one of its members;
    // whether that was all it needed shows below.
    if ((now.st_uid != like.st_uid || now.st_gid != like.st_gid) && ::fchown(fd, like.st_uid, like.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), like.st_gid) != 0)
        return false;
    if (::fstat(fd, &now) == 0 && (now.st_mode & 07777) != (like.st_mode & 07777))
        ::fchmod(fd, like.st_mode & 07777);
    return ::fstat(fd, &now) == 0 && now.st_uid == like.st_uid && now.st_gid == like.st_gid &&
           (now.st_mode & 07777) == (like.st_mode & 07777);
}

// Gives the new file every extended attribute of the old one, its ACLs among them; false where one
// cannot be given (a file system without them, an attribute only the system may set). An access ACL
// carries the group's bits as its mask: the mode is checked again afterwards.
bool TakeAttributes(int from, int to)
{
    ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size < 0)
        return errno == ENOTSUP || errno == EOPNOTSUPP; // none to keep
    QByteArray names(size, '\0');
    size = ::flistxattr(from, names.data(), names.size());
    if (size < 0)
        return false;
    names.truncate(size);
    for (const QByteArray &name : names.split('\0')) {
        if (name.isEmpty())
            continue;
        const ssize_t length = ::fgetxattr(from, name.constData(), nullptr, 0);
        QByteArray value(qMax<ssize_t>(length, 0), '\0');
        if (length < 0 || ::fgetxattr(from, name.constData(), value.data(), value.size()) != length ||
            ::fsetxattr(to, name.constData(), value.constData(), value.size(), 0) != 0)
            return false;
    }
    return true;
}

// Lists the folder's entries whose names start with the prefix.
QByteArrayList NamesStarting(int folder, const QByteArray &prefix)
{
    QByteArrayList names;
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *listing = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!listing) {
        if (fd >= 0)
            ::close(fd);
        return names;
    }
    while (const dirent *entry = ::readdir(listing))
        if (std::strncmp(entry->d_name, prefix.constData(), static_cast<size_t>(prefix.size())) == 0)
            names.append(QByteArray(entry->d_name));
    ::closedir(listing);
    return names;
}

// True for `PREFIX` + the random letters of a name the program made.
bool MadeName(const QByteArray &name, const QByteArray &prefix)
{
    return name.size() == prefix.size() + RandomLetters && name.startsWith(prefix);
}

QByteArray PerUserFolderPath() { return QFile::encodeName(PerUserCopyFolder()); }

// A save's turn: an open-file-description lock on `.NAME.korsa-lock` beside the journal. The name
// is removed while the lock is held, and a save that locked a name that has gone since starts over:
// the name holds no data and outlives no save, and a save ended by force lets go with its process.
class SaveTurn
{
public:
    SaveTurn() = default;
    SaveTurn(SaveTurn &&) = default;
    SaveTurn &operator=(SaveTurn &&other) noexcept
    {
        Release();
        folder_ = std::move(other.folder_);
        name_ = std::move(other.name_);
        fd_ = std::move(other.fd_);
        return *this;
    }
    ~SaveTurn() { Release(); }

    // Where the folder can be written the lock goes beside the file; else into the per-user folder,
    // named by the file's folder. Nothing held where no lock can be made, or (not waiting) while
    // another save holds it.
    static SaveTurn Take(const OpenedFile &file, bool beside, bool wait)
    {
        SaveTurn turn;
        QByteArray name = '.' + file.Name() + LockKind;
        if (beside) {
            turn.folder_ = Descriptor(::fcntl(file.Folder(), F_DUPFD_CLOEXEC, 0));
        } else {
            struct stat folder {
            };
            if (::fstat(file.Folder(), &folder) != 0 || !QDir().mkpath(PerUserCopyFolder()))
                return turn;
            name += '-' + QByteArray::number(quint64(folder.st_dev), 16) + '-' +
                    QByteArray::number(quint64(folder.st_ino), 16);
            turn.folder_ = Descriptor(::open(PerUserFolderPath().constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        }
        for (int attempt = 0; turn.folder_.valid() && attempt < 100; ++attempt) {
            Descriptor fd(::openat(turn.folder_.get(), name.constData(),
                                   O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
            struct flock whole {
            };
            whole.l_type = F_WRLCK;
            whole.l_whence = SEEK_SET;
            if (!fd.valid())
                break;
            int locked = 0;
            while ((locked = ::fcntl(fd.get(), wait ? F_OFD_SETLKW : F_OFD_SETLK, &whole)) != 0 && errno == EINTR) {
            }
            // Busy, or a file system without such locks: no turn (and there, no name either).
            if (locked != 0) {
                if (errno != EAGAIN && errno != EACCES)
                    RemoveOwn(turn.folder_.get(), name);
                break;
            }
            struct stat held {
            }, named{};
            if (::fstat(fd.get(), &held) == 0 &&
                (::fstatat(turn.folder_.get(), name.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
                 held.st_ino != named.st_ino || held.st_dev != named.st_dev))
                continue; // the save before let go of it and removed the name: a fresh one
            turn.name_ = name;
            turn.fd_ = std::move(fd);
            return turn;
        }
        turn.folder_ = Descriptor();
        return turn;
    }

    bool Held() const { return fd_.valid(); }

private:
    void Release()
    {
        if (fd_.valid())
            RemoveOwn(folder_.get(), name_);
        fd_ = Descriptor();
    }

    Descriptor folder_;
    QByteArray name_;
    Descriptor fd_;
};

// The head of a journal, followed by the file's path and its old bytes. Written once, synced, before
// the first byte of the file is written in place; only `handsOff` is ever written again.
struct JournalHead {
    char magic[8];
    quint64 device;
    quint64 inode;
    qint64 oldSize;
    qint64 modifiedSeconds;
    qint64 modifiedNanoseconds;
    qint64 newSize;
    char oldSum[32];
    char newSum[32];
    quint32 pathSize;
    // Another program wrote the file after this save: its bytes are never to be put back by themselves.
    quint8 handsOff;
    char unused[3];
};
const char JournalMagic[8] = {'K', 'O', 'R', 'S', 'A', 'J', 'N', '1'};

QByteArray Sum(const QByteArray &bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256); }

// A journal as it was read back.
struct JournalRead {
    // Cut: shorter than its head says, written by a save ended before it touched the file. Damaged:
    // whole, but its old bytes are not what was summed.
    enum class State { Cut, Damaged, Whole } state = State::Cut;
    JournalHead head{};
    QByteArray path;
    QByteArray old;

    bool Of(const struct stat &info) const
    {
        return state != State::Cut && head.device == quint64(info.st_dev) && head.inode == quint64(info.st_ino);
    }
};

JournalRead ReadJournal(int folder, const QByteArray &name, qint64 maxBytes)
{
    JournalRead journal;
    const Descriptor fd = OpenName(folder, name, O_RDONLY);
    struct stat info {
    };
    const qint64 headSize = sizeof(JournalHead);
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || info.st_size < headSize ||
        ::pread(fd.get(), &journal.head, sizeof journal.head, 0) != ssize_t(sizeof journal.head) ||
        std::memcmp(journal.head.magic, JournalMagic, sizeof JournalMagic) != 0 || journal.head.pathSize > 8192 ||
        journal.head.oldSize < 0 || journal.head.oldSize > maxBytes ||
        info.st_size != headSize + journal.head.pathSize + journal.head.oldSize)
        return journal;
    QByteArray rest(info.st_size - headSize, '\0');
    for (qint64 at = 0; at < rest.size();) {
        const ssize_t got = ::pread(fd.get(), rest.data() + at, size_t(rest.size() - at), off_t(headSize + at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return journal;
        at += got;
    }
    journal.path = rest.left(journal.head.pathSize);
    journal.old = rest.mid(journal.head.pathSize);
    journal.state = Sum(journal.old) == QByteArray(journal.head.oldSum, sizeof journal.head.oldSum)
                        ? JournalRead::State::Whole
                        : JournalRead::State::Damaged;
    return journal;
}

// The journal of one write in place, removed once the file holds its new bytes or its old ones again.
class Journal
{
public:
    // Writes and syncs the journal, and syncs its folder: the cause of a failure, or nothing.
    std::optional<QString> Write(const OpenedFile &file, const QByteArray &old, const QByteArray &content, bool beside)
    {
        const QByteArray folderPath = beside ? file.FolderPath() : PerUserFolderPath();
        if (!beside)
            QDir().mkpath(PerUserCopyFolder());
        folder_ = Descriptor(::open(folderPath.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!folder_.valid())
            return CauseOfError(errno);
        auto made = CreateBeside(folder_.get(), file.Name(), JournalKind, 0600);
        if (!made)
            return FolderCannotBeWritten(QFile::decodeName(folderPath), errno);
        name_ = made->name;
        shownPath_ = QFile::decodeName(folderPath + '/' + name_);
        const struct stat &info = file.Info();
        JournalHead head{};
        std::memcpy(head.magic, JournalMagic, sizeof JournalMagic);
        head.device = info.st_dev;
        head.inode = info.st_ino;
        head.oldSize = old.size();
        head.modifiedSeconds = info.st_mtim.tv_sec;
        head.modifiedNanoseconds = info.st_mtim.tv_nsec;
        head.newSize = content.size();
        std::memcpy(head.oldSum, Sum(old).constData(), sizeof head.oldSum);
        std::memcpy(head.newSum, Sum(content).constData(), sizeof head.newSum);
        const QByteArray path = file.FolderPath() + '/' + file.Name();
        head.pathSize = quint32(path.size());
        const QByteArray bytes = QByteArray(reinterpret_cast<const char *>(&head), sizeof head) + path + old;
        // Read back like any new file: the old bytes must be there before the file is touched.
        std::optional<QString> cause = Fill(folder_.get(), *made, bytes);
        fd_ = std::move(made->fd);
        if (!cause && !SyncFolder(folder_.get()))
            cause = CauseOfError(errno);
        if (cause)
            Remove();
        return cause;
    }

    void Remove()
    {
        if (fd_.valid())
            RemoveOwn(folder_.get(), name_, fd_.get());
        fd_ = Descriptor();
    }

    // Marks the old bytes as no longer to be put back: the file holds another program's write.
    void KeepHandsOff()
    {
        const quint8 yes = 1;
        if (::pwrite(fd_.get(), &yes, 1, offsetof(JournalHead, handsOff)) == 1)
            ::fsync(fd_.get());
        fd_ = Descriptor();
    }

    void Keep() { fd_ = Descriptor(); }
    const QString &ShownPath() const { return shownPath_; }

private:
    Descriptor folder_;
    QByteArray name_;
    Descriptor fd_;
    QString shownPath_;
};

// What settling the journals of a file did.
struct Settled {
    bool undone = false;
};

// Settles the journals of the file in one folder, the save's turn held: one whose file holds its old
// or its new bytes is done with and goes; one whose file holds neither (a save ended by force while
// it wrote in place) puts the old bytes back, checked by their sum, and goes. A journal of another
// file, or of one gone, stays 30 days. One marked hands-off stays as long: another program's write
// came after it.
void SettleIn(int journals, const QByteArray &prefix, const OpenedFile &file, qint64 maxBytes, Settled &settled)
{
    const time_t before = std::time(nullptr) - JournalSeconds;
    for (const QByteArray &name : NamesStarting(journals, prefix)) {
        struct stat info {
        };
        if (!MadeName(name, prefix) || ::fstatat(journals, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode))
            continue;
        const JournalRead journal = ReadJournal(journals, name, maxBytes);
        // The save's turn is held: one cut short belongs to a save that ended before it wrote the file.
        if (journal.state == JournalRead::State::Cut) {
            RemoveOwn(journals, name);
            continue;
        }
        if (!journal.Of(file.Info())) {
            struct stat now {
            };
            const bool elsewhere = ::stat(journal.path.constData(), &now) != 0 ||
                                   quint64(now.st_ino) != journal.head.inode ||
                                   quint64(now.st_dev) != journal.head.device;
            if (elsewhere && info.st_mtime < before)
                RemoveOwn(journals, name);
            continue;
        }
        const QByteArray newSum(journal.head.newSum, sizeof journal.head.newSum);
        const auto current = file.ReadAll(maxBytes);
        const QByteArray *bytes = std::get_if<QByteArray>(&current);
        if (!bytes)
            continue;
        if (*bytes == journal.old || Sum(*bytes) == newSum) {
            RemoveOwn(journals, name);
            continue;
        }
        if (journal.head.handsOff || journal.state != JournalRead::State::Whole) {
            if (info.st_mtime < before)
                RemoveOwn(journals, name);
            continue;
        }
        const Descriptor out = OpenName(file.Folder(), file.Name(), O_WRONLY);
        struct stat target {
        };
        if (!out.valid() || ::fstat(out.get(), &target) != 0 || target.st_ino != file.Info().st_ino ||
            target.st_dev != file.Info().st_dev || Rewrite(out.get(), journal.old, *bytes) ||
            !ReadsBack(file.Folder(), file.Name(), target, journal.old))
            continue;
        RemoveOwn(journals, name);
        settled.undone = true;
    }
}

// Removes the program's own files that a save ended by force left beside the file, once they are
// old enough to belong to no save still running (its turn is held: an empty one belongs to none).
// A copy of the old bytes by an earlier version goes only where the file still holds those bytes:
// otherwise the save may have stopped half way and it is the good one. What another program's
// version was kept as stays: a message named it.
void RemoveLeftovers(const OpenedFile &file, const QByteArray &current, const QByteArray &backupSuffix)
{
    const QByteArray own = '.' + file.Name();
    const time_t before = std::time(nullptr) - LeftoverSeconds;
    for (const QByteArray &name : NamesStarting(file.Folder(), own)) {
        const bool save = MadeName(name, own + SaveKind) ||
                          (!backupSuffix.isEmpty() && MadeName(name, own + backupSuffix + SaveKind));
        const bool copy = MadeName(name, own + CopyKind);
        struct stat info {
        };
        if ((!save && !copy) || ::fstatat(file.Folder(), name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || (info.st_mtime >= before && (copy || info.st_size > 0)))
            continue;
        if (copy) {
            const Descriptor fd = OpenName(file.Folder(), name, O_RDONLY);
            if (!fd.valid() || !HoldsExactly(fd.get(), current))
                continue;
        }
        RemoveOwn(file.Folder(), name);
    }
}

// Settles the file's journals, beside it and per user, and removes old leftovers; the save's turn
// is held. Only where the program left anything does it take more than two listings.
Settled SettleAndTidy(const OpenedFile &file, qint64 maxBytes, const QByteArray &backupSuffix)
{
    Settled settled;
    const QByteArray prefix = '.' + file.Name() + JournalKind;
    SettleIn(file.Folder(), prefix, file, maxBytes, settled);
    const Descriptor perUser(::open(PerUserFolderPath().constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (perUser.valid()) {
        SettleIn(perUser.get(), prefix, file, maxBytes, settled);
        // The journals of other files there go once they are 30 days old and their file has gone;
        // the copies of old bytes earlier versions kept there, of any file, once they are as old.
        const time_t before = std::time(nullptr) - JournalSeconds;
        for (const QByteArray &name : NamesStarting(perUser.get(), ".")) {
            struct stat info {
            }, now{};
            const bool copy =
                MadeName(name.mid(qMax<qsizetype>(1, name.size() - RandomLetters - CopyKind.size())), CopyKind);
            if ((!copy && !name.contains(JournalKind)) || name.startsWith(prefix) ||
                ::fstatat(perUser.get(), name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 || info.st_mtime >= before)
                continue;
            if (copy) {
                if (S_ISREG(info.st_mode))
                    RemoveOwn(perUser.get(), name);
                continue;
            }
            const JournalRead journal = ReadJournal(perUser.get(), name, maxBytes);
            if (journal.state == JournalRead::State::Cut || ::stat(journal.path.constData(), &now) != 0 ||
                quint64(now.st_ino) != journal.head.inode || quint64(now.st_dev) != journal.head.device)
                RemoveOwn(perUser.get(), name);
        }
    }
    // The file's bytes after what was put back, for the copies of earlier versions.
    const auto current = file.ReadAll(maxBytes);
    if (const QByteArray *bytes = std::get_if<QByteArray>(&current))
        RemoveLeftovers(file, *bytes, backupSuffix);
    return settled;
}

// The one-time backup: made once, complete or not at all, and never over anything of its name. The
// cause of a failure, or nothing. Where the folder refuses new files there is none; the journal kept
// for writing in place then stands in for it.
std::optional<QString> MakeBackup(const OpenedFile &file, const QByteArray &bytes, const QByteArray &backup)
{
    const int folder = file.Folder();
    struct stat there {
    };
    if (::fstatat(folder, backup.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0)
        return std::nullopt;
    auto temp = CreateBeside(folder, backup, SaveKind, 0600);
    if (!temp)
        return IsRefusal(errno) ? std::nullopt : std::optional(CauseOfError(errno));
    TakeOwnerAndMode(temp->fd.get(), file.Info()); // as near as it gets: it is a new file
    auto cause = Fill(folder, *temp, bytes);
    // One made meanwhile by someone else is as good.
    const bool placed = !cause && PlaceWithoutOverwriting(folder, temp->name, backup) == 0;
    if (!cause && !placed && errno != EEXIST)
        cause = CauseOfError(errno);
    else if (placed && !SyncFolder(folder))
        cause = CauseOfError(errno);
    // Once placed, the new file is the backup: only its temporary name may go.
    RemoveOwn(folder, temp->name, placed ? -1 : temp->fd.get());
    return cause;
}

// Writes the file where it stands, after a journal of its old bytes is on disk. Nothing when it
// changed since it was read.
std::optional<UpdateResult> WriteInPlace(const OpenedFile &file, const QByteArray &current, const QByteArray &content,
                                         bool folderWritable)
{
    const int folder = file.Folder();
    const Descriptor out = OpenName(folder, file.Name(), O_WRONLY);
    struct stat info {
    };
    if (!out.valid() && errno != ELOOP && errno != ENOENT)
        return Failed(CauseOfError(errno));
    if (!out.valid() || ::fstat(out.get(), &info) != 0 ||
        !FileIdentity::Of(info).SameFile(FileIdentity::Of(file.Info())))
        return std::nullopt;

    Journal journal;
    // Beside the file where its folder can be written, else per user.
    std::optional<QString> cause = journal.Write(file, current, content, folderWritable);
    if (cause)
        return Failed(*cause);
    if (!file.Unchanged(current, true)) {
        journal.Remove();
        return std::nullopt;
    }
    QByteArray written;
    cause = Rewrite(out.get(), content, current, &written);
    if (!cause && !ReadsBack(folder, file.Name(), info, content))
        cause = ReadBackFailed;
    if (!cause) {
        journal.Remove();
        return UpdateResult{};
    }
    // The old bytes go back only over what this save wrote: anything else is another program's.
    if (!file.Holds(written)) {
        journal.KeepHandsOff();
        return Failed(*cause + QStringLiteral(" Another program wrote the file meanwhile; it keeps what that program "
                                              "wrote, and its bytes before the save are kept in %1.")
                                   .arg(journal.ShownPath()));
    }
    if (!Rewrite(out.get(), current, written) && ReadsBack(folder, file.Name(), info, current)) {
        journal.Remove();
        return Failed(*cause);
    }
    journal.Keep();
    return Failed(*cause + QStringLiteral(" The file as it was is kept in %1, and is put back when the file is next "
                                          "opened.")
                               .arg(journal.ShownPath()));
}

// Keeps another program's version, left under a temporary name, where no leftover cleanup takes it:
// under a kept name, or else in a copy of its bytes under a kept name beside the file or per user,
// and only then does the temporary name go. The path where it is kept.
QByteArray KeepOtherVersion(const OpenedFile &file, const QByteArray &temp)
{
    const int folder = file.Folder();
    for (int attempt = 0; attempt < 10; ++attempt) {
        const QByteArray kept = RandomName(file.Name(), KeptKind);
        if (::renameat2(folder, temp.constData(), folder, kept.constData(), RENAME_NOREPLACE) == 0)
            return file.FolderPath() + '/' + kept;
        if (errno != EEXIST)
            break;
    }
    const Descriptor other = OpenName(folder, temp, O_RDONLY);
    struct stat info {
    };
    QFile in;
    if (!other.valid() || ::fstat(other.get(), &info) != 0 ||
        !in.open(other.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return file.FolderPath() + '/' + temp;
    const QByteArray bytes = in.readAll();
    for (const QByteArray &into : {file.FolderPath(), PerUserFolderPath()}) {
        if (into != file.FolderPath())
            QDir().mkpath(PerUserCopyFolder());
        const Descriptor to(::open(into.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        auto copy = to.valid() ? CreateBeside(to.get(), file.Name(), KeptKind, 0600) : std::nullopt;
        if (copy)
            TakeOwnerAndMode(copy->fd.get(), info); // as near as it gets: it is a new file
        if (copy && !Fill(to.get(), *copy, bytes) && SyncFolder(to.get())) {
            RemoveOwn(folder, temp);
            return into + '/' + copy->name;
        }
        if (copy)
            RemoveOwn(to.get(), copy->name, copy->fd.get());
    }
    return file.FolderPath() + '/' + temp;
}

// Puts the new file in the old one's place. Nothing when the old one changed since it was read.
std::optional<UpdateResult> Replace(const OpenedFile &file, const QByteArray &current, const QByteArray &content,
                                    const NewFile &temp)
{
    const int folder = file.Folder();
    const auto drop = [&] { RemoveOwn(folder, temp.name, temp.fd.get()); };
    if (const auto cause = Fill(folder, temp, content)) {
        drop();
        return Failed(*cause);
    }
    struct stat ours {
    };
    ::fstat(temp.fd.get(), &ours);
    if (!file.Unchanged(current, false)) {
        drop();
        return std::nullopt;
    }
    if (::renameat2(folder, temp.name.constData(), folder, file.Name().constData(), RENAME_EXCHANGE) == 0) {
        // What came out must be the file as it was read. Anything else was put there since: it goes
        // back, and the save starts again from it.
        struct stat out {
        };
        if (::fstatat(folder, temp.name.constData(), &out, AT_SYMLINK_NOFOLLOW) == 0 &&
            FileIdentity::Of(out).SameContentTime(FileIdentity::Of(file.Info())) && file.Holds(current)) {
            RemoveOwn(folder, temp.name);
            return SyncFolder(folder) ? UpdateResult{} : Failed(CauseOfError(errno));
        }
        if (::renameat2(folder, temp.name.constData(), folder, file.Name().constData(), RENAME_EXCHANGE) != 0) {
            // The other program's version stands under the temporary name: it is kept where no
            // leftover cleanup takes it, and the save fails.
            const QString cause = CauseOfError(errno);
            return Failed(QStringLiteral("Another program replaced the file while it was saved, and its version "
                                         "could not be put back (%1): it is kept in %2.")
                              .arg(cause.chopped(1), QFile::decodeName(KeepOtherVersion(file, temp.name))));
        }
        // Only our own file is removed; whatever else stands there now is left to the leftover cleanup.
        struct stat back {
        };
        if (::fstatat(folder, temp.name.constData(), &back, AT_SYMLINK_NOFOLLOW) == 0 && back.st_ino == ours.st_ino &&
            back.st_dev == ours.st_dev)
            drop();
        return std::nullopt;
    }
    if (!IsRefusal(errno)) {
        const int error = errno;
        drop();
        return Failed(CauseOfError(error));
    }
    // No exchange on this file system: what remains is the moment between this comparison and the
    // rename, in which a rename by another program would be undone.
    if (!file.Unchanged(current, true)) {
        drop();
        return std::nullopt;
    }
    if (::renameat(folder, temp.name.constData(), folder, file.Name().constData()) != 0) {
        const int error = errno;
        drop();
        return Failed(CauseOfError(error));
    }
    return SyncFolder(folder) ? UpdateResult{} : Failed(CauseOfError(errno));
}

// One attempt at writing the content over the file read. Nothing when it changed since.
std::optional<UpdateResult> WriteOnce(const OpenedFile &file, const QByteArray &current, const QByteArray &content,
                                      const FileUpdate &update, bool folderWritable)
{
    const struct stat &info = file.Info();
    const int folder = file.Folder();
    if (!update.backupSuffix.isEmpty())
        if (auto cause = MakeBackup(file, current, file.Name() + update.backupSuffix))
            return Failed(*cause);
    // A file nobody may write counts as read-only even for a user whom the system would let write it.
    if ((info.st_mode & 0222) == 0)
        return Failed(QStringLiteral("The file is marked read-only."));
    if (::faccessat(folder, file.Name().constData(), W_OK, AT_EACCESS) != 0)
        return Failed(CauseOfError(errno));

    std::optional<NewFile> temp;
    if (info.st_nlink == 1 && folderWritable) {
        temp = CreateBeside(folder, file.Name(), SaveKind, 0600);
        if (!temp && !IsRefusal(errno))
            return Failed(CauseOfError(errno));
        // The mode last: an access ACL sets the group's bits, which must end as they were.
        if (temp && !(TakeOwnerAndMode(temp->fd.get(), info) && TakeAttributes(file.Fd(), temp->fd.get()) &&
                      TakeOwnerAndMode(temp->fd.get(), info))) {
            RemoveOwn(folder, temp->name);
            temp.reset();
        }
    }
    if (temp)
        return Replace(file, current, content, *temp);
    return WriteInPlace(file, current, content, folderWritable);
}

// A file of that name where there was none. Nothing when one appeared meanwhile.
std::optional<UpdateResult> Create(const QByteArray &path, const QByteArray &content)
{
    const auto [folderPath, name] = SplitPath(path);
    const Descriptor folder(::open(folderPath.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid())
        return Failed(CauseOfError(errno));
    // Made as the system makes new files: readable by others as the user's mask allows.
    auto temp = CreateBeside(folder.get(), name, SaveKind, 0666);
    if (!temp)
        return Failed(FolderCannotBeWritten(QFile::decodeName(folderPath), errno));
    const auto drop = [&] { RemoveOwn(folder.get(), temp->name, temp->fd.get()); };
    if (const auto cause = Fill(folder.get(), *temp, content)) {
        drop();
        return Failed(*cause);
    }
    if (PlaceWithoutOverwriting(folder.get(), temp->name, name) != 0) {
        const int error = errno;
        drop();
        return error == EEXIST ? std::nullopt : std::optional(Failed(CauseOfError(error)));
    }
    return SyncFolder(folder.get()) ? UpdateResult{} : Failed(CauseOfError(errno));
}

bool FolderWritable(const OpenedFile &file) { return ::faccessat(file.Folder(), ".", W_OK, AT_EACCESS) == 0; }

// True where the program left anything of the file's, beside it or per user.
bool AnythingLeft(const OpenedFile &file)
{
    const QByteArray own = '.' + file.Name() + ".korsa-";
    // Another program's version kept stays until the user takes it: it is nothing to settle.
    const auto settles = [&](int folder) {
        for (const QByteArray &name : NamesStarting(folder, own))
            if (!name.startsWith('.' + file.Name() + KeptKind))
                return true;
        return false;
    };
    const Descriptor perUser(::open(PerUserFolderPath().constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return settles(file.Folder()) || (perUser.valid() && settles(perUser.get()));
}

} // namespace

UpdateResult UpdateFile(const FileUpdate &update)
{
    const auto links = update.followLink ? OpenedFile::Links::Follow : OpenedFile::Links::Refuse;
    SaveTurn turn;
    bool settled = false, undone = false;
    for (int attempt = 0; attempt < MaxAttempts; ++attempt) {
        auto opened = OpenedFile::Open(update.path, links);
        std::optional<UpdateResult> result;
        if (const FileFault *fault = std::get_if<FileFault>(&opened)) {
            // A link where the file was read: whatever it leads to is not the file read.
            if (fault->link)
                return Failed(QStringLiteral("Its name has been turned into a symbolic link since it was read."));
            if (!fault->missing || !update.create)
                return {fault->missing ? Kind::Missing : Kind::Unreadable, fault->cause, undone};
            const auto content = update.contentFor(QByteArray());
            if (!content)
                return {Kind::Declined, QString(), undone};
            result = Create(update.path, *content);
        } else {
            const OpenedFile &file = std::get<OpenedFile>(opened);
            const bool folderWritable = FolderWritable(file);
            if (!settled) {
                // Two saves of the file take turns; the first thing in a turn is what a save ended
                // by force left. Where the old bytes went back, the file is opened again.
                turn = SaveTurn::Take(file, folderWritable, true);
                settled = true;
                if (SettleAndTidy(file, update.maxBytes, update.backupSuffix).undone) {
                    undone = true;
                    --attempt;
                    continue;
                }
            }
            auto read = file.ReadAll(update.maxBytes);
            if (const FileFault *unread = std::get_if<FileFault>(&read))
                return {Kind::Unreadable, unread->cause, undone};
            const QByteArray &current = std::get<QByteArray>(read);
            const auto content = update.contentFor(current);
            if (!content)
                return {Kind::Declined, QString(), undone};
            result = WriteOnce(file, current, *content, update, folderWritable);
        }
        if (result) {
            result->undidInterrupted = undone;
            return *result;
        }
    }
    return {Kind::Failed, QStringLiteral("Another program changed the file again and again while it was saved."),
            undone};
}

bool UndoInterruptedSave(const QByteArray &path, bool followLink)
{
    auto opened = OpenedFile::Open(path, followLink ? OpenedFile::Links::Follow : OpenedFile::Links::Refuse);
    const OpenedFile *file = std::get_if<OpenedFile>(&opened);
    if (!file || !AnythingLeft(*file))
        return false;
    const SaveTurn turn = SaveTurn::Take(*file, FolderWritable(*file), false);
    if (!turn.Held())
        return false;
    // The largest file the program reads, and room for its journal.
    return SettleAndTidy(*file, 64 << 20, ".bak").undone;
}

QString PerUserCopyFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Penhallow/Korsa Sorvena Trainer/Copies");
}

} // namespace korsa
