#include "track_file/TrackLines.h"

#include "platform/Platform.h"
#include "track_file/SessionState.h"

#include <cstring>

namespace korsa {

QString SessionState::TrackFilePath() const
{
    return JoinPath(TrackFolder, TrackFileName);
}

std::optional<QList<QByteArray>> SplitTrackLines(const QByteArray &bytes)
{
    const char *const begin = bytes.constData();
    const char *const end = begin + bytes.size();
    qsizetype returns = 0;
    for (const char *p = begin; (p = static_cast<const char *>(std::memchr(p, '\r', end - p))); ++p)
        ++returns;
    if (returns > MaxTrackLines)
        return std::nullopt;

    QList<QByteArray> lines;
    lines.reserve(returns + 1);
    const char *line = begin;
    while (line < end) {
        const char *cr = static_cast<const char *>(std::memchr(line, '\r', end - line));
        if (!cr) {
            // A last line without a terminator.
            if (lines.size() == MaxTrackLines)
                return std::nullopt;
            lines.append(QByteArray(line, end - line));
            break;
        }
        lines.append(QByteArray(line, cr - line));
        line = cr + 1;
        if (line < end && *line == '\n')
            ++line;
    }
    return lines;
}

} // namespace korsa
