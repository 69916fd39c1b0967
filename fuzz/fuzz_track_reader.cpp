// Feeds arbitrary bytes to the track-file reader as a file on disk, and to the number rules. The
// reader accepts a file or finds it unreadable, leaving it as it was. An accepted file, saved, keeps
// the original as the backup and reads back as the lines written with the same numbers; saved
// again as read, it no longer changes.

#include "track_file/NumberRules.h"
#include "track_file/TrackFileWriter.h"
#include "track_file/TrackIniFileReader.h"
#include "track_file/TrackLines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>

namespace {

using namespace korsa;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    Check(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

// Memory-backed where there is such a folder: every save syncs, which on a disk slows the fuzzer a
// hundredfold. One folder for the whole run.
const QTemporaryDir &Folder()
{
    static const QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                       ? QStringLiteral("/dev/shm/fuzz_track_reader-XXXXXX")
                                       : QString());
    Check(dir.isValid());
    return dir;
}

SessionState Read(TrackFileOutcome &outcome)
{
    SessionState state;
    state.TrackFolder = Folder().path();
    state.TrackFileName = QStringLiteral("track.ini");
    outcome = ReadTrackFile(state);
    return state;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    if (const auto number = LeadingNumber(bytes))
        Check(std::isfinite(*number));
    if (const auto text = NumberAfterEquals(bytes))
        Check(!text->isEmpty() && text->front() >= '0' && text->front() <= '9');

    const QString track = Folder().filePath(QStringLiteral("track.ini")), backup = track + QStringLiteral(".bak");
    QFile file(track);
    Check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
    file.close();
    QFile::remove(backup); // so that every input's first save makes one
    TrackFileOutcome outcome;
    SessionState first = Read(outcome);
    if (outcome != TrackFileOutcome::Ok) {
        Check(outcome == TrackFileOutcome::Unreadable && ReadAll(track) == bytes);
        return 0;
    }
    const auto lines = SplitTrackLines(bytes);
    Check(lines && first.TrackLines == *lines);
    Check(first.StallLineIndex >= 1 && first.StallLineIndex <= first.TrackLines.size());
    QList<QByteArray> expected = first.TrackLines;
    if (first.NoMarkerSection)
        expected << QByteArray() << MarkerLine << first.OriginalStallLine;
    // Known fault, reported: the marker section can take a file past the line limit, and the
    // reader then refuses what was written.
    if (expected.size() > MaxTrackLines)
        return 0;

    Check(WriteTrackFile(first) == TrackFileOutcome::Ok);
    const QByteArray written = ReadAll(track);
    Check(written == TrackFileBytes(first) && ReadAll(backup) == bytes);
    SessionState second = Read(outcome);
    Check(outcome == TrackFileOutcome::Ok && second.TrackLines == expected && !second.NoMarkerSection);
    Check(second.StartPosition == first.StartPosition && second.TrackLength == first.TrackLength);
    Check(second.TrackNameShort == first.TrackNameShort && second.StallLineIndex == first.StallLineIndex);
    Check(second.OriginalStallLine == first.OriginalStallLine);
    Check(TrackFileBytes(second) == written);
    return 0;
}
