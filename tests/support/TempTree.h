#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace korsa::test {

// A temporary folder with helpers to put files into it and read them back.
class TempTree
{
public:
    QString path() const { return dir_.path(); }
    QString file(const QString &name) const { return dir_.filePath(name); }

    QString write(const QString &name, const QByteArray &bytes) const
    {
        QFile f(file(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(file(name)));
        return file(name);
    }

    QByteArray read(const QString &name) const
    {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir dir_;
};

} // namespace korsa::test
