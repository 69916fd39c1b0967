#include "platform/SafeUpdate.h"

#include "platform/FileCause.h"
#include "platform/OpenedFile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace korsa {

namespace {

using Kind = UpdateResult::Kind;

// The file is read again and the change made again at most this often before the save gives up.
constexpr int MaxAttempts = 5;
// A leftover younger than this may belong to a save still running.
constexpr time_t LeftoverSeconds = 10 * 60;

// The program's own files beside the one it saves: `.NAME.korsa-save-XXXXXX` is new content on its
// way to the name, `.NAME.korsa-copy-XXXXXX` the old content while the file is written in place.
const QByteArray SaveKind = ".korsa-save-";
const QByteArray CopyKind = ".korsa-copy-";
constexpr int RandomLetters = 6;

const QString ReadBackFailed = QStringLiteral("What was written could not be read back unchanged.");

UpdateResult Failed(QString cause) { return {Kind::Failed, std::move(cause)}; }

// Errors by which a file system or a folder refuses a new file, rather than fails to write one.
bool IsRefusal(int error)
{
    return error == EPERM || error == EACCES || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS ||
           error == EINVAL || error == ENAMETOOLONG;
}

bool WriteAllAt(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
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

// Opens the file afresh to compare what it holds: some file systems read a new file back through the
// descriptor that wrote it as zeros.
bool ReadsBack(int folder, const QByteArray &name, const struct stat &written, const QByteArray &expected)
{
    const Descriptor fd(::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    struct stat info {
    };
    return fd.valid() && ::fstat(fd.get(), &info) == 0 && info.st_ino == written.st_ino &&
           HoldsExactly(fd.get(), expected);
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
        Descriptor fd(::openat(folder, made.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
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
    if (!WriteAllAt(file.fd.get(), bytes) || ::fsync(file.fd.get()) != 0 || ::fstat(file.fd.get(), &info) != 0)
        return CauseOfError(errno);
    return ReadsBack(folder, file.name, info, bytes) ? std::nullopt : std::optional(ReadBackFailed);
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

// Removes the program's own files that a save ended by force left beside the file, once they are
// old enough to belong to no save still running. A copy of the old bytes goes only where the file
// still holds those bytes: otherwise the save may have stopped half way and it is the good one.
void RemoveLeftovers(const OpenedFile &file, const QByteArray &current, const QByteArray &backupSuffix)
{
    DIR *listing = ::fdopendir(::openat(file.Folder(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listing)
        return;
    const QByteArray own = '.' + file.Name();
    const time_t before = std::time(nullptr) - LeftoverSeconds;
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        const bool save = name.startsWith(own + SaveKind) || name.startsWith(own + backupSuffix + SaveKind);
        const bool copy = name.startsWith(own + CopyKind);
        struct stat info {
        };
        if ((!save && !copy) || name.size() != name.lastIndexOf('-') + 1 + RandomLetters ||
            ::fstatat(file.Folder(), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
            info.st_mtime >= before)
            continue;
        if (copy) {
            const Descriptor fd(::openat(file.Folder(), entry->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
            if (!fd.valid() || !HoldsExactly(fd.get(), current))
                continue;
        }
        ::unlinkat(file.Folder(), entry->d_name, 0);
    }
    ::closedir(listing);
}

// The one-time backup: made once, complete or not at all, and never over anything of its name. The
// cause of a failure, or nothing. Where the folder refuses new files there is none; the copy kept
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
    if (!cause) {
        int made = ::renameat2(folder, temp->name.constData(), folder, backup.constData(), RENAME_NOREPLACE);
        // No such rename here: a hard link does the same; without hard links only a look first.
        if (made != 0 && IsRefusal(errno))
            made = ::linkat(folder, temp->name.constData(), folder, backup.constData(), 0);
        if (made != 0 && IsRefusal(errno))
            made = ::fstatat(folder, backup.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0
                       ? 0
                       : ::renameat(folder, temp->name.constData(), folder, backup.constData());
        // One made meanwhile by someone else is as good.
        if (made != 0 && errno != EEXIST)
            cause = CauseOfError(errno);
        else if (!SyncFolder(folder))
            cause = CauseOfError(errno);
    }
    ::unlinkat(folder, temp->name.constData(), 0);
    return cause;
}

// A verified copy of the file's bytes, kept while the file is written in place.
struct KeptCopy {
    Descriptor folder;
    QByteArray name; // empty: the backup holds the bytes, nothing to remove
    QString shownPath;

    void Remove() const
    {
        if (!name.isEmpty())
            ::unlinkat(folder.get(), name.constData(), 0);
    }
};

// The copy made beside the file, or in `folderPath`: the copy, or the cause of the failure.
std::variant<KeptCopy, QString> CopyInto(const QByteArray &folderPath, const QByteArray &name, const QByteArray &bytes)
{
    Descriptor folder(::open(folderPath.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid())
        return CauseOfError(errno);
    auto copy = CreateBeside(folder.get(), name, CopyKind, 0600);
    if (!copy)
        return FolderCannotBeWritten(QFile::decodeName(folderPath), errno);
    auto cause = Fill(folder.get(), *copy, bytes);
    if (!cause && !SyncFolder(folder.get()))
        cause = CauseOfError(errno);
    if (cause) {
        ::unlinkat(folder.get(), copy->name.constData(), 0);
        return *cause;
    }
    return KeptCopy{std::move(folder), copy->name, QFile::decodeName(folderPath + '/' + copy->name)};
}

std::variant<KeptCopy, QString> KeepCopy(const OpenedFile &file, const QByteArray &bytes, const FileUpdate &update,
                                         bool folderWritable)
{
    if (!update.backupSuffix.isEmpty()) {
        const QByteArray backup = file.Name() + update.backupSuffix;
        const Descriptor fd(
            ::openat(file.Folder(), backup.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat info {
        };
        if (fd.valid() && ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) && HoldsExactly(fd.get(), bytes))
            return KeptCopy{Descriptor(), QByteArray(), QFile::decodeName(file.FolderPath() + '/' + backup)};
    }
    std::variant<KeptCopy, QString> copy = QString();
    if (folderWritable)
        copy = CopyInto(file.FolderPath(), file.Name(), bytes);
    if (std::holds_alternative<KeptCopy>(copy))
        return copy;
    const QString perUser = PerUserCopyFolder();
    QDir().mkpath(perUser);
    auto elsewhere = CopyInto(QFile::encodeName(perUser), file.Name(), bytes);
    return std::holds_alternative<KeptCopy>(elsewhere) || !folderWritable ? std::move(elsewhere) : std::move(copy);
}

// Writes the file where it stands. Nothing when it changed since it was read.
std::optional<UpdateResult> WriteInPlace(const OpenedFile &file, const QByteArray &current, const QByteArray &content,
                                         const FileUpdate &update, bool folderWritable)
{
    const int folder = file.Folder();
    const Descriptor out(::openat(folder, file.Name().constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {
    };
    if (!out.valid() && errno != ELOOP && errno != ENOENT)
        return Failed(CauseOfError(errno));
    if (!out.valid() || ::fstat(out.get(), &info) != 0 ||
        !FileIdentity::Of(info).SameFile(FileIdentity::Of(file.Info())))
        return std::nullopt;

    auto copy = KeepCopy(file, current, update, folderWritable);
    if (const QString *cause = std::get_if<QString>(&copy))
        return Failed(*cause);
    const KeptCopy &kept = std::get<KeptCopy>(copy);
    if (!file.Unchanged(current, true)) {
        kept.Remove();
        return std::nullopt;
    }
    // Shorter content cuts the file; it never grows by a cut (some file systems refuse that).
    QString cause;
    if (!WriteAllAt(out.get(), content) ||
        (content.size() < current.size() && ::ftruncate(out.get(), content.size()) != 0) || ::fsync(out.get()) != 0)
        cause = CauseOfError(errno);
    else if (!ReadsBack(folder, file.Name(), info, content))
        cause = ReadBackFailed;
    if (cause.isEmpty()) {
        kept.Remove();
        return UpdateResult{};
    }
    // The old bytes are put back from memory; the copy stays where even that fails.
    const bool restored = WriteAllAt(out.get(), current) &&
                          (content.size() <= current.size() || ::ftruncate(out.get(), current.size()) == 0) &&
                          ::fsync(out.get()) == 0 && ReadsBack(folder, file.Name(), info, current);
    if (restored) {
        kept.Remove();
        return Failed(cause);
    }
    return Failed(cause + QStringLiteral(" The file as it was is kept in %1.").arg(kept.shownPath));
}

// Puts the new file in the old one's place. Nothing when the old one changed since it was read.
std::optional<UpdateResult> Replace(const OpenedFile &file, const QByteArray &current, const QByteArray &content,
                                    const NewFile &temp)
{
    const int folder = file.Folder();
    const auto drop = [&] { ::unlinkat(folder, temp.name.constData(), 0); };
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
            drop();
            return SyncFolder(folder) ? UpdateResult{} : Failed(CauseOfError(errno));
        }
        ::renameat2(folder, temp.name.constData(), folder, file.Name().constData(), RENAME_EXCHANGE);
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
                                      const FileUpdate &update)
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
    const bool folderWritable = ::faccessat(folder, ".", W_OK, AT_EACCESS) == 0;

    std::optional<NewFile> temp;
    if (info.st_nlink == 1 && folderWritable) {
        temp = CreateBeside(folder, file.Name(), SaveKind, 0600);
        if (!temp && !IsRefusal(errno))
            return Failed(CauseOfError(errno));
        if (temp && !TakeOwnerAndMode(temp->fd.get(), info)) {
            ::unlinkat(folder, temp->name.constData(), 0);
            temp.reset();
        }
    }
    if (temp)
        return Replace(file, current, content, *temp);
    return WriteInPlace(file, current, content, update, folderWritable);
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
    const auto drop = [&] { ::unlinkat(folder.get(), temp->name.constData(), 0); };
    if (const auto cause = Fill(folder.get(), *temp, content)) {
        drop();
        return Failed(*cause);
    }
    int made = ::renameat2(folder.get(), temp->name.constData(), folder.get(), name.constData(), RENAME_NOREPLACE);
    if (made != 0 && errno != EEXIST)
        made = ::renameat(folder.get(), temp->name.constData(), folder.get(), name.constData());
    if (made != 0) {
        const int error = errno;
        drop();
        return error == EEXIST ? std::nullopt : std::optional(Failed(CauseOfError(error)));
    }
    return SyncFolder(folder.get()) ? UpdateResult{} : Failed(CauseOfError(errno));
}

} // namespace

UpdateResult UpdateFile(const FileUpdate &update)
{
    const auto links = update.followLink ? OpenedFile::Links::Follow : OpenedFile::Links::Refuse;
    for (int attempt = 0; attempt < MaxAttempts; ++attempt) {
        auto opened = OpenedFile::Open(update.path, links);
        std::optional<UpdateResult> result;
        if (const FileFault *fault = std::get_if<FileFault>(&opened)) {
            // A link where the file was read: whatever it leads to is not the file read.
            if (fault->link)
                return Failed(QStringLiteral("Its name has been turned into a symbolic link since it was read."));
            if (!fault->missing || !update.create)
                return {fault->missing ? Kind::Missing : Kind::Unreadable, fault->cause};
            const auto content = update.contentFor(QByteArray());
            if (!content)
                return {Kind::Declined, QString()};
            result = Create(update.path, *content);
        } else {
            const OpenedFile &file = std::get<OpenedFile>(opened);
            auto read = file.ReadAll(update.maxBytes);
            if (const FileFault *unread = std::get_if<FileFault>(&read))
                return {Kind::Unreadable, unread->cause};
            const QByteArray &current = std::get<QByteArray>(read);
            const auto content = update.contentFor(current);
            if (!content)
                return {Kind::Declined, QString()};
            if (attempt == 0)
                RemoveLeftovers(file, current, update.backupSuffix);
            result = WriteOnce(file, current, *content, update);
        }
        if (result)
            return *result;
    }
    return Failed(QStringLiteral("Another program changed the file again and again while it was saved."));
}

QString PerUserCopyFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Penhallow/Korsa Sorvena Trainer/Copies");
}

} // namespace korsa
