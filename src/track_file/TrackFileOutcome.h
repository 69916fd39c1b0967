#pragma once

#include <QString>

namespace korsa {

// What became of a command on the track file. The track file code only reports it; the window
// shows its message box and the command-line tool turns it into a message and an exit status.
enum class TrackFileOutcome {
    Ok,
    // The finder was closed without a choice: nothing to do, nothing to say.
    Cancelled,
    // No file of that name.
    Missing,
    // Not a readable track file: no regular file, too large, a read error or a format fault.
    Unreadable,
    // A readable track file of another track.
    NotSorvena,
    // The new content is not on disk; the file keeps its previous bytes.
    SaveFailed,
};

// An outcome and, for a failure, its cause where one is known: one sentence for the user, shown
// under the message ("The disk is full.").
struct TrackFileResult {
    TrackFileResult(TrackFileOutcome kind = TrackFileOutcome::Ok, QString why = QString())
        : outcome(kind), cause(std::move(why))
    {}
    operator TrackFileOutcome() const { return outcome; }

    TrackFileOutcome outcome;
    QString cause;
    // A one-line note for the user whatever the outcome: "An interrupted save of PATH was undone."
    QString notice;
};

// The note for a file whose half-written state, left by a save ended by force, was put back.
inline QString InterruptedSaveUndone(const QString &path)
{
    return QStringLiteral("An interrupted save of %1 was undone.").arg(path);
}

} // namespace korsa
