#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

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

// A temporary folder with helpers to put files into it and read them back.
class TempTree
{
public:
    QString path() const { return dir_.path(); }
    QString file(const QString &name) const { return dir_.filePath(name); }

    QString write(const QString &name, const QByteArray &bytes) const { return WriteFile(file(name), bytes); }
    QByteArray read(const QString &name) const { return ReadFile(file(name)); }

private:
    QTemporaryDir dir_;
};

} // namespace korsa::test
