#include "track_file/FileExists.h"

#include <QFile>

#include <filesystem>
#include <fnmatch.h>

namespace korsa {

namespace {

bool IsSeparator(char c) { return c == '/'; }

} // namespace

bool FileExists(const QString &path)
{
    namespace fs = std::filesystem;
    const QByteArray bytes = QFile::encodeName(path);
    // Like a directory-entry search: nothing is found for an empty name or a name that ends in a
    // separator (which also covers the root folder).
    if (bytes.isEmpty() || IsSeparator(bytes.back()))
        return false;

    qsizetype cut = bytes.size() - 1;
    while (cut >= 0 && !IsSeparator(bytes[cut]))
        --cut;
    const QByteArray lastName = bytes.mid(cut + 1);
    std::error_code error;

    if (lastName.contains('*') || lastName.contains('?')) {
        const fs::path folder = cut < 0 ? fs::path(".") : fs::path(bytes.left(cut + 1).toStdString());
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (::fnmatch(lastName.constData(), name.c_str(), FNM_PERIOD) == 0)
                return true;
        }
        return false;
    }
    return EntryExists(path);
}

bool EntryExists(const QString &path)
{
    namespace fs = std::filesystem;
    const QByteArray bytes = QFile::encodeName(path);
    if (bytes.isEmpty() || IsSeparator(bytes.back()) || bytes.endsWith("/.") || bytes.endsWith("/..") || bytes == "." ||
        bytes == "..")
        return false;
    std::error_code error;
    // A dangling link is still an entry of its folder.
    return fs::exists(fs::symlink_status(fs::path(bytes.toStdString()), error));
}

} // namespace korsa
