// The file test on Windows: the system's own directory-entry search, FindFirstFileW.

#include "track_file/FileExists.h"

#include <QDir>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace korsa {

namespace {

bool EndsInSeparator(const QString &path)
{
    return path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'));
}

} // namespace

bool FileExists(const QString &path)
{
    // The search finds nothing for an empty name or one that ends in a separator, which also covers
    // a drive's root folder; "C:" alone would be the drive's current folder, no entry either.
    if (path.isEmpty() || EndsInSeparator(path) || (path.size() == 2 && path.at(1) == QLatin1Char(':')))
        return false;
    WIN32_FIND_DATAW entry{};
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE search = ::FindFirstFileW(native.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    ::FindClose(search);
    return true;
}

bool EntryExists(const QString &path)
{
    // Windows names hold no "*" or "?": a name with them names no entry.
    const QString last = QDir::fromNativeSeparators(path).section(QLatin1Char('/'), -1);
    if (last.isEmpty() || last == QLatin1String(".") || last == QLatin1String("..") ||
        last.contains(QLatin1Char('*')) || last.contains(QLatin1Char('?')))
        return false;
    return FileExists(path);
}

} // namespace korsa
