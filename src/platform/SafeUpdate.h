#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace korsa {

// One change of a file's content, as UpdateFile makes it.
struct FileUpdate {
    // The file's path as the system spells it.
    QByteArray path;
    // A symbolic link at the name is followed to the file it leads to; otherwise it is refused.
    bool followLink = false;
    // A missing file is created; otherwise it is reported Missing.
    bool create = false;
    // Appended to the file's name, the name of the one-time copy kept before the file is first
    // changed (".bak"); empty: none.
    QByteArray backupSuffix;
    qint64 maxBytes = 0;
    // The new content for the content now in the file (empty where there is no file yet); nothing
    // leaves the file alone (Declined). Called again whenever the file changed while it was saved.
    std::function<std::optional<QByteArray>(const QByteArray &current)> contentFor;
};

struct UpdateResult {
    enum class Kind { Written, Missing, Unreadable, Declined, Failed };
    Kind kind = Kind::Written;
    // Why it failed, in one sentence for the user; may be empty.
    QString cause;
};

// Gives a regular file new content so that it keeps what it was: its owner, group, mode and hard
// links, and any change another program made to it before the new content takes its place.
//
// The new content goes into a new file beside it, written, synced and read back, which then takes
// the name (and the folder is synced). Where that new file could not be what the old one was (a
// file with other hard links, an owner or group this user cannot give, a folder that cannot be
// written, a file system that refuses the new file or its owner or mode) the file is written in
// place instead, and only once a verified copy of its bytes exists: its one-time backup when that
// holds them, else a copy beside it or, where its folder cannot be written, in PerUserCopyFolder(),
// removed again after success. A failure there puts the old bytes back.
//
// Right before the new content takes the name the file must still be the one read, unchanged;
// otherwise it is read again and contentFor asked again, a few times at most. Where the system can
// exchange two names atomically it does, and checks what came out.
UpdateResult UpdateFile(const FileUpdate &update);

// Where the copies go of files whose own folder cannot be written.
QString PerUserCopyFolder();

} // namespace korsa
