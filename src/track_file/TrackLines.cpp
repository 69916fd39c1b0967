#include "track_file/TrackLines.h"

#include "platform/Platform.h"
#include "track_file/SessionState.h"

namespace korsa {

QString SessionState::TrackFilePath() const { return JoinPath(TrackFolder, TrackFileName); }

std::optional<QList<QByteArray>> SplitTrackLines(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    const auto addLine = [&](qsizetype from, qsizetype to) {
        if (lines.size() == MaxTrackLines)
            return false;
        lines.append(QByteArray::fromRawData(bytes.constData() + from, to - from));
        return true;
    };
    qsizetype line = 0;
    for (qsizetype cr = bytes.indexOf('\r'); cr >= 0; cr = bytes.indexOf('\r', line)) {
        if (!addLine(line, cr))
            return std::nullopt;
        line = cr + 1;
        if (line < bytes.size() && bytes[line] == '\n')
            ++line;
    }
    // Text after the last line end is one more line.
    if (line < bytes.size() && !addLine(line, bytes.size()))
        return std::nullopt;
    return lines;
}

} // namespace korsa
