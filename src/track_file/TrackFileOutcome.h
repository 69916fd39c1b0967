#pragma once

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

} // namespace korsa
