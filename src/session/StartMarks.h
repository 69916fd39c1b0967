#pragma once

#include "session/StartPositionSession.h"

#include <optional>

namespace korsa {

// What the map marks, in metres beyond the start line within one lap: where the car will start,
// and where the file's own start was (the line the program keeps in its section of the file, or
// the stall_0 line read when there is none yet). Nothing before a file is accepted.
struct StartMarks {
    std::optional<float> start;
    std::optional<float> original;

    bool operator==(const StartMarks &) const = default;
};

// `barDraggedTo`: while the scroll bar's thumb is dragged, the value it stands at; the start then
// follows the thumb, though the session takes the value only when the drag ends.
StartMarks StartMarksOf(const StartPositionSession &session, std::optional<int> barDraggedTo);

} // namespace korsa
