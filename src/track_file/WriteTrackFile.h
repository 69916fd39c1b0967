#pragma once

#include "track_file/SessionState.h"
#include "track_file/TrackFileOutcome.h"

#include <QByteArray>

#include <functional>

namespace korsa {

// The bytes a save puts on disk for the state: each line ended by CR LF, then the marker section
// when the file had none.
QByteArray TrackFileBytes(const SessionState &state);

// Edits the lines of a track file as just read; anything but Ok leaves the file alone and is the
// save's result.
using TrackChange = std::function<TrackFileResult(SessionState &fresh)>;

// Reads the track file that the state names afresh, lets `change` edit it, and writes it back,
// keeping a one-time backup first and appending the marker section when the file had none. The file
// keeps its owner, group, mode and links; another program's edit made before the new content takes
// its place is read and the change made again, never lost. On Ok the state holds the file as
// written; otherwise the file keeps its previous bytes and the result says why (Unreadable,
// SaveFailed, also for a file that has gone, or what `change` answered).
TrackFileResult UpdateTrackFile(SessionState &state, const TrackChange &change);

} // namespace korsa
