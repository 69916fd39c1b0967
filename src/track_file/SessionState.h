#pragma once

#include "platform/SystemFiles.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

namespace korsa {

// The program-wide state of one run. Track file lines are kept as raw 8-bit bytes so that
// every line not changed by the program is written back exactly as it was read.
struct SessionState {
    QString TrackFolder;
    QString TrackFileName;
    // The track file's bytes as read. The lines of TrackLines that the program has not replaced
    // are views into it (QByteArray::fromRawData) rather than copies: a state that holds those
    // lines holds this buffer too, and it is never changed in place.
    QByteArray TrackLinesBuffer;
    // Lines 1..n of the track file; line k is TrackLines[k - 1].
    QList<QByteArray> TrackLines;
    QByteArray TrackNameShort;
    float TrackLength = 0.0f;
    // 1-based index of the stall_0 line in TrackLines.
    std::int16_t StallLineIndex = 0;
    float StartPosition = 0.0f;
    bool NoMarkerSection = false;
    QByteArray OriginalStallLine;
    QByteArray OriginalStartPosition;
    // Whether the track file's name was a symbolic link when the file was read (decided by the open
    // that read it): the writer writes through such a link, and refuses a name that has been turned
    // into one since.
    bool TrackFileIsLink = false;

    // The track file's path as the system spells it, where that is no text (a name given on the
    // command line that is not UTF-8); empty: TrackFilePath() stands for it.
    QByteArray TrackFileBytesPath;

    QString TrackFilePath() const;
    QByteArray SystemTrackFilePath() const
    {
        return TrackFileBytesPath.isEmpty() ? SystemPath(TrackFilePath()) : TrackFileBytesPath;
    }
};

} // namespace korsa
