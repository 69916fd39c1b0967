#pragma once

#include <QByteArray>
#include <QString>

#include <variant>

namespace korsa {

// A path as the program hands it to the system's file functions, in bytes: UTF-8. Linux takes the
// bytes as they are; on Windows they stand for the UTF-16 name, so every name, whatever its
// letters, survives the trip (the 8-bit code page would lose what it has no character for).
QByteArray SystemPath(const QString &path);
// The text of such bytes. On Windows, bytes that are no UTF-8 are taken in the 8-bit code page, as
// a settings file written by an earlier copy of the program spells a folder.
QString PathText(const QByteArray &path);

// A regular file's whole content, and whether its name was a link that was followed to it.
struct FileContent {
    QByteArray bytes;
    bool followedLink = false;
};

// Why a file could not be read: there is none, or it may not or cannot be read.
struct ReadFault {
    bool missing = false;
    // One sentence for the user, or empty.
    QString cause;
};

// Reads a regular file of at most maxBytes bytes, links followed, in one open that decides
// everything: whether it is a regular file (a folder, a named pipe, a device or a socket is refused
// at once, so nothing read can block the program) and what it holds.
std::variant<FileContent, ReadFault> ReadFileContent(const QByteArray &path, qint64 maxBytes);

// True when a program in this folder is an installed one by where it lies: the system's own trees
// (/usr, /bin, /sbin, /opt; on Windows the Program Files folders and the Windows folder).
bool InSystemProgramTree(const QString &folder);

// The folder the settings of an installed program go to, per user.
QString PerUserSettingsFolder();

} // namespace korsa
