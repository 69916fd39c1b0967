// Saving a file on Windows with the guarantees of the Linux build: the new content goes into a new
// file beside the old one, flushed and read back, and ReplaceFileW puts it in the old one's place,
// which keeps the file's attributes, access list, streams and creation time. A file with other hard
// links, or one the system will not replace, is written in place after a verified copy.

#include "platform/SafeUpdate.h"

#include "platform/FileCause.h"
#include "platform/SystemFiles.h"
#include "platform/WindowsFiles.h"

#include <QDir>
#include <QRandomGenerator>
#include <QStandardPaths>

namespace korsa {

namespace {

using namespace windows;
using Kind = UpdateResult::Kind;

// The file is read again and the change made again at most this often before the save gives up.
constexpr int MaxAttempts = 5;
// A leftover younger than this may belong to a save still running (in 100 ns ticks).
constexpr qint64 LeftoverTicks = 10LL * 60 * 10'000'000;

// The program's own files beside the one it saves: `.NAME.korsa-save-XXXXXX` is new content on its
// way to the name, `.NAME.korsa-copy-XXXXXX` the old content while the file is written in place.
const QString SaveKind = QStringLiteral(".korsa-save-");
const QString CopyKind = QStringLiteral(".korsa-copy-");
constexpr int RandomLetters = 6;

const QString ReadBackFailed = QStringLiteral("What was written could not be read back unchanged.");
const QString MarkedReadOnly = QStringLiteral("The file is marked read-only.");

UpdateResult Failed(QString cause) { return {Kind::Failed, std::move(cause)}; }
QString CauseOfLastError() { return CauseOfError(static_cast<int>(::GetLastError())); }

// Errors by which a file system, a folder or another program's hold on the file refuses a new file
// or the replacing of the old one, rather than fails to write.
bool IsRefusal(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
           error == ERROR_INVALID_PARAMETER || error == ERROR_FILENAME_EXCED_RANGE || error == ERROR_INVALID_NAME ||
           error == ERROR_NETWORK_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD ||
           error == ERROR_SHARING_VIOLATION || error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

// The outcome of one attempt: done, the file changed meanwhile (read it again), or the system refused
// to replace it (write it in place).
struct Attempt {
    enum class Then { Done, Changed, WriteInPlace };
    Then then = Then::Changed;
    UpdateResult result;
};
Attempt Done(UpdateResult result) { return {Attempt::Then::Done, std::move(result)}; }
Attempt Changed() { return {}; }

// Opens the file afresh to compare what it holds.
bool ReadsBack(const std::wstring &path, const BY_HANDLE_FILE_INFORMATION &written, const QByteArray &expected)
{
    const Handle again = OpenExisting(path, GENERIC_READ, ShareAll, FILE_FLAG_OPEN_REPARSE_POINT);
    BY_HANDLE_FILE_INFORMATION info{};
    return again.valid() && ::GetFileInformationByHandle(again.get(), &info) && SameFile(info, written) &&
           HoldsExactly(again.get(), expected);
}

struct NewFile {
    std::wstring path;
    Handle handle;

    void Drop()
    {
        handle.Close();
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
    }
};

std::wstring RandomName(const std::wstring &name, const QString &kind)
{
    static constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString made = QLatin1Char('.') + FromWide(name) + kind;
    for (int i = 0; i < RandomLetters; ++i)
        made += QLatin1Char(Letters[QRandomGenerator::global()->bounded(static_cast<int>(sizeof Letters - 1))]);
    return Wide(made);
}

// A new empty file `.NAME KIND XXXXXX` in the folder; nothing (the last error tells why) where none
// can be made.
std::optional<NewFile> CreateBeside(const std::wstring &folder, const std::wstring &name, const QString &kind)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring path = Join(folder, RandomName(name, kind));
        Handle made(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (made.valid())
            return NewFile{path, std::move(made)};
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return std::nullopt;
    }
    return std::nullopt;
}

// Writes the bytes into the new file, flushes it and reads it back, then closes it: the cause of a
// failure, or nothing.
std::optional<QString> Fill(NewFile &file, const QByteArray &bytes)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!WriteAllAt(file.handle.get(), bytes) || !::FlushFileBuffers(file.handle.get()) ||
        !::GetFileInformationByHandle(file.handle.get(), &info))
        return CauseOfLastError();
    file.handle.Close();
    return ReadsBack(file.path, info, bytes) ? std::nullopt : std::optional(ReadBackFailed);
}

// True when the name still names the file read, unchanged since: same size and last write and,
// where asked, the bytes read (the last write time of a file another program holds open may lag).
bool Unchanged(const OpenFile &file, const QByteArray &bytes, bool compareBytes)
{
    const Handle named =
        OpenExisting(file.Path(), FILE_READ_ATTRIBUTES, ShareAll, file.reopenFlags | FILE_FLAG_BACKUP_SEMANTICS);
    BY_HANDLE_FILE_INFORMATION there{}, now{};
    return named.valid() && ::GetFileInformationByHandle(named.get(), &there) && SameFile(there, file.info) &&
           ::GetFileInformationByHandle(file.handle.get(), &now) && SameContentTime(now, file.info) &&
           (!compareBytes || HoldsExactly(file.handle.get(), bytes));
}

bool Exists(const std::wstring &path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Removes the program's own files that a save ended by force left beside the file, once they are old
// enough to belong to no save still running. A copy of the old bytes goes only where the file still
// holds those bytes: otherwise the save may have stopped half way and it is the good one.
void RemoveLeftovers(const OpenFile &file, const QByteArray &current, const QByteArray &backupSuffix)
{
    const QString own = QLatin1Char('.') + FromWide(file.name);
    const QString backupOwn = own + QString::fromUtf8(backupSuffix);
    WIN32_FIND_DATAW entry{};
    const HANDLE search = ::FindFirstFileW(Join(file.folder, Wide(own + QLatin1Char('*'))).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FILETIME nowTime{};
    ::GetSystemTimeAsFileTime(&nowTime);
    const auto ticks = [](const FILETIME &time) {
        return static_cast<qint64>((static_cast<quint64>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    };
    const qint64 before = ticks(nowTime) - LeftoverTicks;
    do {
        const QString name = QString::fromWCharArray(entry.cFileName);
        const bool save = name.startsWith(own + SaveKind, Qt::CaseInsensitive) ||
                          (!backupSuffix.isEmpty() && name.startsWith(backupOwn + SaveKind, Qt::CaseInsensitive));
        const bool copy = name.startsWith(own + CopyKind, Qt::CaseInsensitive);
        if ((!save && !copy) || name.size() != name.lastIndexOf(QLatin1Char('-')) + 1 + RandomLetters ||
            (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
            ticks(entry.ftLastWriteTime) >= before)
            continue;
        const std::wstring path = Join(file.folder, entry.cFileName);
        if (copy) {
            const Handle kept = OpenExisting(path, GENERIC_READ, ShareAll, FILE_FLAG_OPEN_REPARSE_POINT);
            if (!kept.valid() || !HoldsExactly(kept.get(), current))
                continue;
        }
        ::DeleteFileW(path.c_str());
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
}

// The one-time backup: made once, complete or not at all, and never over anything of its name. The
// cause of a failure, or nothing. Where the folder refuses new files there is none; the copy kept for
// writing in place then stands in for it.
std::optional<QString> MakeBackup(const OpenFile &file, const QByteArray &bytes, const std::wstring &backupName)
{
    const std::wstring backup = Join(file.folder, backupName);
    if (Exists(backup))
        return std::nullopt;
    auto temp = CreateBeside(file.folder, backupName, SaveKind);
    if (!temp)
        return IsRefusal(::GetLastError()) ? std::nullopt : std::optional(CauseOfLastError());
    auto cause = Fill(*temp, bytes);
    // Without replacing: one made meanwhile by someone else is as good.
    if (!cause && ::MoveFileExW(temp->path.c_str(), backup.c_str(), MOVEFILE_WRITE_THROUGH)) {
        // As near to the file as it gets: a new file, with the attributes the file has.
        ::SetFileAttributesW(backup.c_str(),
                             (file.info.dwFileAttributes & SettableAttributes) | FILE_ATTRIBUTE_ARCHIVE);
    } else if (!cause && ::GetLastError() != ERROR_ALREADY_EXISTS && ::GetLastError() != ERROR_FILE_EXISTS) {
        cause = CauseOfLastError();
    }
    temp->Drop();
    return cause;
}

// A verified copy of the file's bytes, kept while the file is written in place.
struct KeptCopy {
    std::wstring path; // empty: the backup holds the bytes, nothing to remove
    QString shownPath;

    void Remove() const
    {
        if (!path.empty())
            ::DeleteFileW(path.c_str());
    }
};

// The copy made in the folder: the copy, or the cause of the failure.
std::variant<KeptCopy, QString> CopyInto(const std::wstring &folder, const std::wstring &name, const QByteArray &bytes)
{
    auto copy = CreateBeside(folder, name, CopyKind);
    if (!copy)
        return FolderCannotBeWritten(ShownPath(folder), static_cast<int>(::GetLastError()));
    if (auto cause = Fill(*copy, bytes)) {
        copy->Drop();
        return *cause;
    }
    return KeptCopy{copy->path, ShownPath(copy->path)};
}

std::variant<KeptCopy, QString> KeepCopy(const OpenFile &file, const QByteArray &bytes, const FileUpdate &update,
                                         bool folderWritable)
{
    if (!update.backupSuffix.isEmpty()) {
        const std::wstring backup = Join(file.folder, file.name + Wide(QString::fromUtf8(update.backupSuffix)));
        const Handle kept = OpenExisting(backup, GENERIC_READ, ShareAll, FILE_FLAG_OPEN_REPARSE_POINT);
        BY_HANDLE_FILE_INFORMATION info{};
        if (kept.valid() && ::GetFileInformationByHandle(kept.get(), &info) &&
            !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            ::GetFileType(kept.get()) == FILE_TYPE_DISK && HoldsExactly(kept.get(), bytes))
            return KeptCopy{std::wstring(), ShownPath(backup)};
    }
    std::variant<KeptCopy, QString> copy = QString();
    if (folderWritable)
        copy = CopyInto(file.folder, file.name, bytes);
    if (std::holds_alternative<KeptCopy>(copy))
        return copy;
    const QString perUser = PerUserCopyFolder();
    QDir().mkpath(perUser);
    auto elsewhere = CopyInto(WidePath(perUser), file.name, bytes);
    return std::holds_alternative<KeptCopy>(elsewhere) || !folderWritable ? std::move(elsewhere) : std::move(copy);
}

// Writes the file where it stands, through `out`, opened for writing it.
Attempt WriteInPlace(const OpenFile &file, const Handle &out, const QByteArray &current, const QByteArray &content,
                     const FileUpdate &update, bool folderWritable)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(out.get(), &info) || !SameFile(info, file.info))
        return Changed();
    auto copy = KeepCopy(file, current, update, folderWritable);
    if (const QString *cause = std::get_if<QString>(&copy))
        return Done(Failed(*cause));
    const KeptCopy &kept = std::get<KeptCopy>(copy);
    if (!Unchanged(file, current, true)) {
        kept.Remove();
        return Changed();
    }
    // Shorter content cuts the file; it never grows by a cut.
    QString cause;
    if (!WriteAllAt(out.get(), content) || (content.size() < current.size() && !SetLength(out.get(), content.size())) ||
        !::FlushFileBuffers(out.get()))
        cause = CauseOfLastError();
    else if (!ReadsBack(file.Path(), info, content))
        cause = ReadBackFailed;
    if (cause.isEmpty()) {
        kept.Remove();
        return Done({});
    }
    // The old bytes are put back from memory; the copy stays where even that fails.
    const bool restored = WriteAllAt(out.get(), current) &&
                          (content.size() <= current.size() || SetLength(out.get(), current.size())) &&
                          ::FlushFileBuffers(out.get()) && ReadsBack(file.Path(), info, current);
    if (restored) {
        kept.Remove();
        return Done(Failed(cause));
    }
    return Done(Failed(cause + QStringLiteral(" The file as it was is kept in %1.").arg(kept.shownPath)));
}

// Puts the new file in the old one's place.
Attempt Replace(OpenFile &file, Handle &out, const QByteArray &current, const QByteArray &content, NewFile &temp)
{
    if (const auto cause = Fill(temp, content)) {
        temp.Drop();
        return Done(Failed(*cause));
    }
    // The file's own attributes (hidden, system, not indexed) on the new one; ReplaceFileW brings the
    // rest. Changed content is to be backed up again, as writing it in place would mark it.
    ::SetFileAttributesW(temp.path.c_str(), (file.info.dwFileAttributes & SettableAttributes) | FILE_ATTRIBUTE_ARCHIVE);
    if (!Unchanged(file, current, true)) {
        temp.Drop();
        return Changed();
    }
    // The file is let go of only now, so that no other program could rename it away meanwhile.
    out.Close();
    file.handle.Close();
    const std::wstring target = file.Path();
    if (::ReplaceFileW(target.c_str(), temp.path.c_str(), nullptr,
                       REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr))
        return Done({});
    const DWORD error = ::GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
        // The old file has left the name and the new one has not taken it yet.
        if (::MoveFileExW(temp.path.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
            return Done({});
        return Done(
            Failed(CauseOfLastError() + QStringLiteral(" The new content is kept in %1.").arg(ShownPath(temp.path))));
    }
    temp.Drop();
    if (IsRefusal(error))
        return {Attempt::Then::WriteInPlace, {}};
    return Done(Failed(CauseOfError(static_cast<int>(error))));
}

// One attempt at writing the content over the file read.
Attempt WriteOnce(OpenFile &file, const QByteArray &current, const QByteArray &content, const FileUpdate &update,
                  bool inPlace)
{
    if (!update.backupSuffix.isEmpty())
        if (auto cause = MakeBackup(file, current, file.name + Wide(QString::fromUtf8(update.backupSuffix))))
            return Done(Failed(*cause));
    if (file.info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        return Done(Failed(MarkedReadOnly));
    // Whether this user may write the file at all; in place, this is what writes it.
    Handle out = OpenExisting(file.Path(), GENERIC_WRITE, ShareReadWrite, file.reopenFlags);
    if (!out.valid()) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return Changed();
        return Done(Failed(CauseOfError(static_cast<int>(error))));
    }
    bool folderWritable = true;
    if (!inPlace && file.info.nNumberOfLinks == 1) {
        auto temp = CreateBeside(file.folder, file.name, SaveKind);
        if (temp)
            return Replace(file, out, current, content, *temp);
        if (!IsRefusal(::GetLastError()))
            return Done(Failed(CauseOfLastError()));
        folderWritable = false;
    }
    return WriteInPlace(file, out, current, content, update, folderWritable);
}

// A file of that name where there was none.
Attempt Create(const QByteArray &path, const QByteArray &content)
{
    const std::wstring target = WidePath(path);
    const size_t cut = target.find_last_of(L'\\');
    const std::wstring folder = target.substr(0, cut == std::wstring::npos ? 0 : cut);
    const std::wstring name = target.substr(cut == std::wstring::npos ? 0 : cut + 1);
    auto temp = CreateBeside(folder, name, SaveKind);
    if (!temp) {
        const auto error = static_cast<int>(::GetLastError());
        return Done(Failed(Exists(folder) ? FolderCannotBeWritten(ShownPath(folder), error) : CauseOfError(error)));
    }
    if (const auto cause = Fill(*temp, content)) {
        temp->Drop();
        return Done(Failed(*cause));
    }
    if (!::MoveFileExW(temp->path.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ::GetLastError();
        temp->Drop();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
            return Changed();
        return Done(Failed(CauseOfError(static_cast<int>(error))));
    }
    return Done({});
}

} // namespace

UpdateResult UpdateFile(const FileUpdate &update)
{
    const auto links = update.followLink ? Links::Follow : Links::Refuse;
    bool inPlace = false;
    for (int attempt = 0; attempt < MaxAttempts; ++attempt) {
        auto opened = OpenForReading(update.path, links);
        Attempt result;
        if (const Fault *fault = std::get_if<Fault>(&opened)) {
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
            OpenFile &file = std::get<OpenFile>(opened);
            auto read = ReadAll(file, update.maxBytes);
            if (const Fault *unread = std::get_if<Fault>(&read))
                return {Kind::Unreadable, unread->cause};
            const QByteArray &current = std::get<QByteArray>(read);
            const auto content = update.contentFor(current);
            if (!content)
                return {Kind::Declined, QString()};
            if (attempt == 0)
                RemoveLeftovers(file, current, update.backupSuffix);
            result = WriteOnce(file, current, *content, update, inPlace);
        }
        if (result.then == Attempt::Then::Done)
            return result.result;
        inPlace = inPlace || result.then == Attempt::Then::WriteInPlace;
    }
    return Failed(QStringLiteral("Another program changed the file again and again while it was saved."));
}

QString PerUserCopyFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Penhallow/Korsa Sorvena Trainer/Copies");
}

} // namespace korsa

namespace korsa {

// Saves here write in place only after a verified copy is kept beside the file and keep no journal,
// so there is nothing to settle before a read.
bool UndoInterruptedSave(const QByteArray &, bool) { return false; }

} // namespace korsa
