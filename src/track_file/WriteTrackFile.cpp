#include "track_file/WriteTrackFile.h"

#include "platform/SafeUpdate.h"
#include "track_file/ReadTrackFile.h"
#include "track_file/TrackLines.h"

namespace korsa {

namespace {

const QByteArray LineEnd = QByteArrayLiteral("\r\n");

// The marker section a save appends when the file has none.
QList<QByteArray> MarkerTail(const SessionState &state)
{
    if (!state.NoMarkerSection)
        return {};
    return {QByteArray(), MarkerLine, state.OriginalStallLine};
}

// What the update's result means for the track file; `declined` is what the change answered.
TrackFileResult Outcome(const UpdateResult &result, const TrackFileResult &declined)
{
    switch (result.kind) {
    case UpdateResult::Kind::Written:
        return TrackFileOutcome::Ok;
    case UpdateResult::Kind::Missing:
        // The file was read when it was chosen: a save that finds it gone is a save that failed.
        return {TrackFileOutcome::SaveFailed, QStringLiteral("The file no longer exists.")};
    case UpdateResult::Kind::Unreadable:
        return {TrackFileOutcome::Unreadable, result.cause};
    case UpdateResult::Kind::Declined:
        return declined;
    case UpdateResult::Kind::Failed:
        break;
    }
    return {TrackFileOutcome::SaveFailed, result.cause};
}

} // namespace

QByteArray TrackFileBytes(const SessionState &state)
{
    const QList<QByteArray> tail = MarkerTail(state);
    qsizetype size = 0;
    for (const QList<QByteArray> *part : {&state.TrackLines, &tail})
        for (const QByteArray &line : *part)
            size += line.size() + LineEnd.size();
    QByteArray bytes;
    bytes.reserve(size);
    for (const QList<QByteArray> *part : {&state.TrackLines, &tail})
        for (const QByteArray &line : *part)
            bytes.append(line).append(LineEnd);
    return bytes;
}

TrackFileResult UpdateTrackFile(SessionState &state, const TrackChange &change)
{
    TrackFileResult declined;
    SessionState written;
    FileUpdate update;
    update.path = state.SystemTrackFilePath();
    update.followLink = state.TrackFileIsLink;
    update.backupSuffix = QByteArrayLiteral(".bak");
    update.maxBytes = MaxTrackFileBytes;
    update.contentFor = [&](const QByteArray &current) -> std::optional<QByteArray> {
        SessionState fresh = state;
        declined = ReadTrackBytes(current, fresh);
        if (declined == TrackFileOutcome::Ok)
            declined = change(fresh);
        if (declined != TrackFileOutcome::Ok)
            return std::nullopt;
        // A save must leave a file the trainer can read again: the marker section may not push it
        // past the most lines a track file can have.
        if (fresh.TrackLines.size() + MarkerTail(fresh).size() > MaxTrackLines) {
            declined = {TrackFileOutcome::SaveFailed,
                        QStringLiteral("The file would have more than %1 lines.").arg(MaxTrackLines)};
            return std::nullopt;
        }
        written = std::move(fresh);
        return TrackFileBytes(written);
    };
    const UpdateResult result = UpdateFile(update);
    TrackFileResult outcome = Outcome(result, declined);
    if (result.undidInterrupted)
        outcome.notice = InterruptedSaveUndone(state.TrackFilePath());
    if (outcome == TrackFileOutcome::Ok)
        state = std::move(written);
    return outcome;
}

} // namespace korsa
