#include "platform/RegularFile.h"

#include <QFile>

#ifdef Q_OS_WIN
#include <QFileInfo>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korsa {

#ifdef Q_OS_WIN

std::optional<QByteArray> ReadRegularFile(const QString &path, qint64 maxBytes)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > maxBytes)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > maxBytes)
        return std::nullopt;
    return bytes;
}

#else

std::optional<QByteArray> ReadRegularFile(const QString &path, qint64 maxBytes)
{
    // Without O_NONBLOCK, opening a named pipe waits for a writer that may never come.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> result;
    struct stat info {
    };
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= maxBytes) {
        // The file may grow while it is read: one byte more than allowed tells.
        QByteArray bytes(static_cast<qsizetype>(info.st_size) + 1, Qt::Uninitialized);
        qsizetype size = 0;
        bool failed = false;
        for (;;) {
            if (size == bytes.size()) {
                if (bytes.size() > maxBytes)
                    break;
                bytes.resize(std::min<qsizetype>(bytes.size() * 2, maxBytes + 1));
            }
            const ssize_t got = ::read(fd, bytes.data() + size, static_cast<size_t>(bytes.size() - size));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                failed = got < 0;
                break;
            }
            size += got;
        }
        if (!failed && size <= maxBytes) {
            bytes.truncate(size);
            result = std::move(bytes);
        }
    }
    ::close(fd);
    return result;
}

#endif

} // namespace korsa
