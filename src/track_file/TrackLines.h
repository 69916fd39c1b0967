#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

namespace korsa {

// Line indices are 16-bit: a track file holds at most this many lines.
inline constexpr int MaxTrackLines = 32767;
inline const QByteArray MarkerLine = QByteArrayLiteral("[ GRIDWELL ]");

// Splits 8-bit text into lines: CR or CR LF ends a line, a lone LF stays inside its line, and a
// last line without terminator is a line. Returns nothing for more than MaxTrackLines lines.
// The lines are views into `bytes` (QByteArray::fromRawData), not copies: nothing is allocated
// per line, and `bytes` must stay alive and unchanged for as long as the lines are used.
std::optional<QList<QByteArray>> SplitTrackLines(const QByteArray &bytes);

} // namespace korsa
