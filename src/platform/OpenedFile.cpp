#include "platform/OpenedFile.h"

#include "platform/FileCause.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace korsa {

namespace {

// Links that lead to links are followed this far.
constexpr int MaxLinkDepth = 8;

bool SameTime(const timespec &a, const timespec &b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// Reads an open file from its start into `bytes`, at most maxBytes + 1 of them (so a larger file
// shows); false after a read error.
bool ReadFrom(int fd, QByteArray &bytes, qint64 maxBytes)
{
    struct stat info {
    };
    if (::fstat(fd, &info) != 0)
        return false;
    // The file may grow while it is read: one byte more than allowed tells.
    bytes.resize(static_cast<qsizetype>(std::min<qint64>(info.st_size, maxBytes) + 1));
    qsizetype size = 0;
    for (;;) {
        if (size == bytes.size()) {
            if (size > maxBytes)
                break;
            bytes.resize(static_cast<qsizetype>(std::min<qint64>(qint64(size) * 2, maxBytes + 1)));
        }
        const ssize_t got = ::pread(fd, bytes.data() + size, static_cast<size_t>(bytes.size() - size), size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        size += got;
    }
    bytes.truncate(size);
    return true;
}

std::variant<OpenedFile, FileFault> Refused(QString cause) { return FileFault{false, false, std::move(cause)}; }

} // namespace

Descriptor &Descriptor::operator=(Descriptor &&other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

Descriptor::~Descriptor()
{
    if (fd_ >= 0)
        ::close(fd_);
}

FileIdentity FileIdentity::Of(const struct stat &info)
{
    return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

bool FileIdentity::SameContentTime(const FileIdentity &other) const
{
    return SameFile(other) && size == other.size && SameTime(modified, other.modified);
}

bool FileIdentity::operator==(const FileIdentity &other) const
{
    return SameContentTime(other) && SameTime(changed, other.changed);
}

std::pair<QByteArray, QByteArray> SplitPath(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return {QByteArray("."), path};
    return {slash == 0 ? QByteArray("/") : path.left(slash), path.mid(slash + 1)};
}

bool HoldsExactly(int fd, const QByteArray &expected)
{
    char piece[64 * 1024];
    qsizetype at = 0;
    // One byte more than expected is asked for at the end: a longer file shows there.
    for (;;) {
        const auto want = static_cast<size_t>(std::min<qsizetype>(sizeof piece, expected.size() + 1 - at));
        const ssize_t got = ::pread(fd, piece, want, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0 && at == expected.size();
        if (at + got > expected.size() || std::memcmp(piece, expected.constData() + at, static_cast<size_t>(got)) != 0)
            return false;
        at += got;
    }
}

std::variant<OpenedFile, FileFault> OpenedFile::Open(const QByteArray &path, Links links)
{
    QByteArray current = path;
    bool followed = false;
    for (int depth = 0;; ++depth) {
        auto [folderPath, name] = SplitPath(current);
        if (name.isEmpty())
            return FileFault{true, false, QString()};
        OpenedFile file;
        // A folder that may be searched but not listed still gives its files.
        file.folder_ = Descriptor(::open(folderPath.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!file.folder_.valid())
            return FileFault{errno == ENOENT || errno == ENOTDIR, false, CauseOfError(errno)};
        // Without O_NONBLOCK, opening a named pipe waits for a writer that may never come.
        file.file_ = Descriptor(
            ::openat(file.Folder(), name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (!file.file_.valid()) {
            if (errno == ENOENT)
                return FileFault{true, false, QString()};
            if (errno != ELOOP)
                return Refused(CauseOfError(errno));
            // The name is a symbolic link: decided here, by the same open that would read the file.
            if (links == Links::Refuse)
                return FileFault{false, true, QStringLiteral("Its name is a symbolic link.")};
            char target[4096];
            const ssize_t length = ::readlinkat(file.Folder(), name.constData(), target, sizeof target);
            if (length <= 0 || length == sizeof target || depth == MaxLinkDepth)
                return Refused(CauseOfError(length < 0 ? errno : ELOOP));
            const QByteArray leadsTo(target, length);
            current = leadsTo.startsWith('/') ? leadsTo : folderPath + '/' + leadsTo;
            followed = true;
            continue;
        }
        if (::fstat(file.Fd(), &file.info_) != 0)
            return Refused(CauseOfError(errno));
        if (S_ISDIR(file.info_.st_mode))
            return Refused(QStringLiteral("It is a folder, not a file."));
        if (!S_ISREG(file.info_.st_mode))
            return Refused(QStringLiteral("It is not a regular file."));
        file.folderPath_ = std::move(folderPath);
        file.name_ = std::move(name);
        file.followedLink_ = followed;
        return file;
    }
}

std::variant<QByteArray, FileFault> OpenedFile::ReadAll(qint64 maxBytes) const
{
    QByteArray bytes;
    if (!ReadFrom(Fd(), bytes, maxBytes))
        return FileFault{false, false, CauseOfError(errno)};
    if (bytes.size() > maxBytes)
        return FileFault{false, false, QStringLiteral("The file is larger than %1 MiB.").arg(maxBytes >> 20)};
    return bytes;
}

bool OpenedFile::Unchanged(const QByteArray &bytes, bool compareBytes) const
{
    struct stat named {
    }, now{};
    return ::fstatat(Folder(), name_.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(Fd(), &now) == 0 &&
           FileIdentity::Of(named).SameFile(FileIdentity::Of(info_)) &&
           FileIdentity::Of(now) == FileIdentity::Of(info_) && (!compareBytes || Holds(bytes));
}

bool OpenedFile::Holds(const QByteArray &bytes) const { return HoldsExactly(Fd(), bytes); }

} // namespace korsa
