#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#ifndef Q_OS_WIN
#include <sys/stat.h>
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
enum class NoRegularFile { Folder, NamedPipe, LinkToDevZero, Oversized };

// A temporary folder with helpers to put files into it and read them back.
class TempTree
{
public:
    QString path() const { return dir_.path(); }
    QString file(const QString &name) const { return dir_.filePath(name); }

    QString write(const QString &name, const QByteArray &bytes) const { return WriteFile(file(name), bytes); }
    QByteArray read(const QString &name) const { return ReadFile(file(name)); }

#ifndef Q_OS_WIN
    // Puts a folder, a named pipe without writer, a link to /dev/zero or a sparse file of
    // 64 MiB + 1 (larger than any file the program reads) under the name.
    QString make(const QString &name, NoRegularFile kind) const
    {
        const QByteArray at = QFile::encodeName(file(name));
        const char *const c = at.constData();
        const bool made = kind == NoRegularFile::Folder      ? ::mkdir(c, 0755) == 0
                          : kind == NoRegularFile::NamedPipe ? ::mkfifo(c, 0644) == 0
                          : kind == NoRegularFile::LinkToDevZero
                              ? ::symlink("/dev/zero", c) == 0
                              : QFile(file(name)).open(QIODevice::WriteOnly) && ::truncate(c, (64 << 20) + 1) == 0;
        if (!made)
            qFatal("cannot make %s", at.constData());
        return file(name);
    }
#endif

private:
    QTemporaryDir dir_;
};

} // namespace korsa::test
