#include "platform/RegularFile.h"

#ifdef Q_OS_WIN
#include <QFile>
#include <QFileInfo>
#else
#include "platform/OpenedFile.h"

#include <QFile>
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
    auto file = OpenedFile::Open(QFile::encodeName(path), OpenedFile::Links::Follow);
    if (const auto *opened = std::get_if<OpenedFile>(&file))
        if (auto bytes = opened->ReadAll(maxBytes); std::holds_alternative<QByteArray>(bytes))
            return std::get<QByteArray>(std::move(bytes));
    return std::nullopt;
}

#endif

} // namespace korsa
