#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace korsa {

// The whole content of a regular file of at most maxBytes bytes (links are followed). Anything
// else gives nothing, at once: no such file, a folder, a named pipe, a device, a socket, a file
// larger than maxBytes, a read error. Nothing the program reads may block it or fill its memory.
std::optional<QByteArray> ReadRegularFile(const QString &path, qint64 maxBytes);

} // namespace korsa
