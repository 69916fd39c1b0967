#include "session/StartMarks.h"

#include "session/Numbers.h"

#include <cmath>

namespace korsa {

namespace {

// A start beyond the lap (or before it) lies that far round it; a start no number can place has
// no mark.
std::optional<float> WithinLap(float metres, float lapMetres)
{
    if (!std::isfinite(metres) || !(lapMetres > 0))
        return std::nullopt;
    if (metres >= 0 && metres <= lapMetres)
        return metres;
    const float round = std::fmod(metres, lapMetres);
    return round < 0 ? round + lapMetres : round;
}

} // namespace

StartMarks StartMarksOf(const StartPositionSession &session, std::optional<int> barDraggedTo)
{
    if (!session.HasAcceptedTrack())
        return {};
    const SessionState &track = session.AcceptedTrack();
    const float lap = session.TrackLengthMetres();
    const float start =
        barDraggedTo ? StartPositionOfPerMille(static_cast<float>(*barDraggedTo), lap) : track.StartPosition;
    return {WithinLap(start, lap), WithinLap(OriginalStartPositionValue(track.OriginalStartPosition), lap)};
}

} // namespace korsa
