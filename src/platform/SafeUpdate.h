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
    // A save of the file that was ended by force had left it half written, and its old bytes were
    // put back before this update read it.
    bool undidInterrupted = false;
};

// Gives a regular file new content so that it keeps what it was: its owner, group, mode and hard
// links, and any change another program made to it before the new content takes its place.
//
// The new content goes into a new file beside it, written, synced and read back, which then takes
// the name (and the folder is synced). Where that new file could not be what the old one was (a
// file with other hard links, an owner or group this user cannot give, a folder that cannot be
// written, a file system that refuses the new file or its owner or mode) the file is written in
// place instead, and only once a journal holding its old bytes is on disk: beside it or, where its
// folder cannot be written, in PerUserCopyFolder(), removed again after success. A failure there puts
// the old bytes back while the file still holds what this update wrote, and never over what another
// program wrote meanwhile; a journal left by an update ended by force is settled by the next update
// or UndoInterruptedSave. Two updates of one file, in one process or two, take turns.
//
// Right before the new content takes the name the file must still be the one read, unchanged;
// otherwise it is read again and contentFor asked again, a few times at most. Where the system can
// exchange two names atomically it does, and checks what came out.
UpdateResult UpdateFile(const FileUpdate &update);

// Where the journals go of files whose own folder cannot be written.
QString PerUserCopyFolder();

// Called before a file is read: where an update of it was ended by force while it wrote the file in
// place, and the file holds neither its old nor its new bytes, puts the old bytes back from that
// update's journal; removes what such updates left behind once it is old enough. Never waits: while
// another update of the file runs, does nothing. True when old bytes were put back.
bool UndoInterruptedSave(const QByteArray &path, bool followLink);

} // namespace korsa
