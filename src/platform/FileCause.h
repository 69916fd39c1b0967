#pragma once

#include <QString>

namespace korsa {

// Why the system refused a file operation, as one sentence the user can act on: "The disk is
// full.", "Permission denied." The system's own words, in English whatever the language.
QString CauseOfError(int error);

// The system's own words for an error, in English, with no full stop: "Permission denied". Each
// system has its own (FileCausePosix.cpp, FileCauseWindows.cpp).
QString SystemWords(int error);

// "The folder PATH cannot be written (permission denied)."
QString FolderCannotBeWritten(const QString &folder, int error);

} // namespace korsa
