#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#ifndef Q_OS_WIN
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace korsa::test {

inline QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Returns the path; a file the test cannot write ends the test run.
inline QString WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// What a test may put where the program expects a regular file.
enum class NoRegularFile { Folder, NamedPipe, LinkToDevZero, Socket, Oversized };

// A temporary folder with helpers to put files into it and read them back.
class TempTree
{
public:
    QString path() const { return dir_.path(); }
    QString file(const QString &name) const { return dir_.filePath(name); }

    QString write(const QString &name, const QByteArray &bytes) const { return WriteFile(file(name), bytes); }
    QByteArray read(const QString &name) const { return ReadFile(file(name)); }

#ifndef Q_OS_WIN
    // Puts a folder, a named pipe without writer, a link to /dev/zero, a socket or a sparse file of
    // 64 MiB + 1 (larger than any file the program reads) under the name.
    QString make(const QString &name, NoRegularFile kind) const
    {
        const QByteArray at = QFile::encodeName(file(name));
        bool made = false;
        switch (kind) {
        case NoRegularFile::Folder:
            made = ::mkdir(at.constData(), 0755) == 0;
            break;
        case NoRegularFile::NamedPipe:
            made = ::mkfifo(at.constData(), 0644) == 0;
            break;
        case NoRegularFile::LinkToDevZero:
            made = ::symlink("/dev/zero", at.constData()) == 0;
            break;
        case NoRegularFile::Socket: {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            made = fd >= 0 && at.size() < qsizetype(sizeof address.sun_path);
            if (made) {
                qstrncpy(address.sun_path, at.constData(), sizeof address.sun_path);
                made = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
            }
            if (fd >= 0)
                ::close(fd);
            break;
        }
        case NoRegularFile::Oversized:
            made = QFile(file(name)).open(QIODevice::WriteOnly) && ::truncate(at.constData(), (64 << 20) + 1) == 0;
            break;
        }
        if (!made)
            qFatal("cannot make %s", at.constData());
        return file(name);
    }
#endif

private:
    QTemporaryDir dir_;
};

} // namespace korsa::test
