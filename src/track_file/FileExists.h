#pragma once

#include <QString>

namespace korsa {

// True when a file or folder of that name exists. The last name may hold the wildcards * and ?.
// A root folder, an empty path and a path that ends in a separator are never found.
bool FileExists(const QString &path);
// True when an entry of exactly that name exists: "*" and "?" are plain characters here, as they
// may be in a file name.
bool EntryExists(const QString &path);

} // namespace korsa
