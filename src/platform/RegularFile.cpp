#include "platform/RegularFile.h"

#include "platform/SystemFiles.h"

namespace korsa {

std::optional<QByteArray> ReadRegularFile(const QString &path, qint64 maxBytes)
{
    auto content = ReadFileContent(SystemPath(path), maxBytes);
    if (auto *read = std::get_if<FileContent>(&content))
        return std::move(read->bytes);
    return std::nullopt;
}

} // namespace korsa
