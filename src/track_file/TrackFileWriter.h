#pragma once

#include "track_file/SessionState.h"
#include "track_file/TrackFileOutcome.h"

#include <QByteArray>

namespace korsa {

// The bytes WriteTrackFile puts on disk for the state.
QByteArray TrackFileBytes(const SessionState &state);

// Writes the state's lines over the track file, keeping a one-time backup first and appending the
// marker section when the file had none: Ok or SaveFailed. The new content replaces the file only
// once all of it is on disk, so after a failure the file keeps its previous bytes.
TrackFileOutcome WriteTrackFile(const SessionState &state);

} // namespace korsa
