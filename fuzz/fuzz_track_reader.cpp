// Feeds arbitrary bytes to the track-file reader and to the number rules, all in memory. The reader
// accepts the bytes or finds them unreadable, changing nothing. Accepted bytes, written as a save
// writes them, read back as the lines written with the same numbers; written again as read, they no
// longer change. (What a save does on disk is the writer's tests' business: here a sync per input
// would slow the fuzzer a hundredfold.)

#include "track_file/NumberRules.h"
#include "track_file/ReadTrackFile.h"
#include "track_file/TrackLines.h"
#include "track_file/WriteTrackFile.h"

#include <cmath>
#include <cstdint>

namespace {

using namespace korsa;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    if (const auto number = LeadingNumber(bytes))
        Check(std::isfinite(*number));
    if (const auto text = NumberAfterEquals(bytes))
        Check(!text->isEmpty() && text->front() >= '0' && text->front() <= '9');

    SessionState first;
    first.TrackFileName = QStringLiteral("unchanged");
    if (ReadTrackBytes(bytes, first) != TrackFileOutcome::Ok) {
        Check(first.TrackFileName == QStringLiteral("unchanged") && first.TrackLines.isEmpty());
        return 0;
    }
    const auto lines = SplitTrackLines(bytes);
    Check(lines && first.TrackLines == *lines);
    Check(first.StallLineIndex >= 1 && first.StallLineIndex <= first.TrackLines.size());
    QList<QByteArray> expected = first.TrackLines;
    if (first.NoMarkerSection)
        expected << QByteArray() << MarkerLine << first.OriginalStallLine;
    // A save refuses what the marker section would take past the line limit.
    if (expected.size() > MaxTrackLines)
        return 0;

    const QByteArray written = TrackFileBytes(first);
    SessionState second;
    Check(ReadTrackBytes(written, second) == TrackFileOutcome::Ok);
    Check(second.TrackLines == expected && !second.NoMarkerSection);
    Check(second.StartPosition == first.StartPosition && second.TrackLength == first.TrackLength);
    Check(second.TrackNameShort == first.TrackNameShort && second.StallLineIndex == first.StallLineIndex);
    Check(second.OriginalStallLine == first.OriginalStallLine);
    Check(TrackFileBytes(second) == written);
    return 0;
}
