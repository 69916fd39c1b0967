#pragma once

#include "platform/Platform.h"
#include "track_file/SessionState.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace korsa {

inline constexpr int MaxTrackLines = 32767;
inline const QByteArray MarkerLine = QByteArrayLiteral("[ GRIDWELL ]");

namespace messages {
inline const QString FileLocationText = QStringLiteral("Could not find the Track.ini File");
inline const QString FileLocationCaption = QStringLiteral("File Location Error");
inline const QString FileReadText = QStringLiteral(
    "There is an unknown error in the Track.ini file probably caused by a nonstandard format.");
inline const QString FileReadCaption = QStringLiteral("File Read Error");
inline const QString FileSaveText = QStringLiteral(
    "There was an error while attempting to save the Track.ini file.  Check that the file is not marked "
    "Read Only.");
inline const QString FileSaveCaption = QStringLiteral("File Save Error");
} // namespace messages

// True when a file or folder of that name exists. The last name may hold the wildcards * and ?.
// A root folder, an empty path and a path that ends in a separator are never found.
bool FileExists(const QString &path);
// True when an entry of exactly that name exists: "*" and "?" are plain characters here, as they
// may be in a file name.
bool EntryExists(const QString &path);

// Splits 8-bit text into lines: CR or CR LF ends a line, a lone LF stays inside its line, and a
// last line without terminator is a line. Returns nothing for more than MaxTrackLines lines.
std::optional<QList<QByteArray>> SplitTrackLines(const QByteArray &bytes);

// The number text of a key line: from the first digit after the first "=", digits and points,
// skipping "/". Empty when the line holds no digit there.
std::optional<QByteArray> NumberAfterEquals(QByteArray line);

// The longest leading decimal number of the text ("." as the point, blanks skipped, optional sign
// and exponent); 0 when there is none. Empty when the number does not fit a 32-bit float.
std::optional<float> LeadingNumber(const QByteArray &text);

// Reads TrackFolder/TrackFileName into the state. A missing file shows its message and leaves the
// state as it was (returns false); an unreadable one shows its message and terminates.
bool ReadTrackFile(SessionState &state, Platform &platform);

// The bytes WriteTrackFile puts on disk for the state.
QByteArray TrackFileBytes(const SessionState &state);

// Writes the state's lines over the track file, keeping a one-time backup first and appending the
// marker section when the file had none. Any failure shows its message and terminates; the track
// file then keeps its previous bytes.
void WriteTrackFile(const SessionState &state, Platform &platform);

} // namespace korsa
