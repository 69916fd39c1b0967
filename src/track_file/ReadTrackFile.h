#pragma once

#include "track_file/SessionState.h"
#include "track_file/TrackFileOutcome.h"

namespace korsa {

// Real track files are well under 1 MB; 32 MiB leaves room for any file of MaxTrackLines long
// lines while a device or an endless file is refused before it fills the memory.
inline constexpr qint64 MaxTrackFileBytes = 32 * 1024 * 1024;

// Reads TrackFolder/TrackFileName into the state: Ok, Missing or Unreadable (with its cause where
// the system gave one). Only Ok changes the state.
TrackFileResult ReadTrackFile(SessionState &state);

// Reads a track file's bytes into the state as ReadTrackFile reads the file's: Ok or Unreadable,
// and only Ok changes the state (the bytes become its TrackLinesBuffer).
TrackFileResult ReadTrackBytes(QByteArray bytes, SessionState &state);

} // namespace korsa
