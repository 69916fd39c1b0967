#include "session/StartPositionSession.h"

#include "session/Captions.h"
#include "session/Numbers.h"
#include "track_file/ReadTrackFile.h"
#include "track_file/WriteTrackFile.h"

namespace korsa {

StartPositionSession::StartPositionSession(SessionState &state, SessionView &view, const SettingsFile *settings)
    : state_(state), view_(view), settings_(settings)
{
    FillSectionNames(sections_);
}

TrackFileResult ReadSorvenaTrackFile(SessionState &state)
{
    SessionState read = state;
    TrackFileResult result = ReadTrackFile(read);
    if (result != TrackFileOutcome::Ok)
        return result;
    if (!IsSorvenaTrackLength(read.TrackLength)) {
        result.outcome = TrackFileOutcome::NotSorvena;
        return result;
    }
    state = std::move(read);
    return result;
}

TrackFileResult StartPositionSession::AcceptChosenTrack()
{
    if (state_.TrackFileName.isEmpty())
        return TrackFileOutcome::Cancelled;

    // Read into a copy: a refused or vanished choice leaves everything as it was.
    SessionState read = state_;
    const TrackFileResult result = ReadSorvenaTrackFile(read);
    if (result != TrackFileOutcome::Ok)
        return result;
    state_ = read;
    accepted_ = std::move(read);
    SessionState &track = *accepted_;
    fileStartPosition_ = track.StartPosition;

    if (settings_)
        settings_->RememberTrack(state_.TrackFolder, state_.TrackFileName);
    trackLengthMetres_ = TrackLengthInMetres(track.TrackLength);
    view_.ShowTrackLengthCaption(captions::TrackLengthCaption(track.TrackNameShort, trackLengthMetres_));
    track.StartPosition = ReduceBeyondTrack(track.StartPosition, trackLengthMetres_);
    positionPerMille_ = PerMilleOf(track.StartPosition, trackLengthMetres_);
    view_.ShowStartPositionCaption(captions::SelectedPositionCaption(track.StartPosition, positionPerMille_));
    SetScrollFromProgram(positionPerMille_);
    view_.ShowPlainMap();
    view_.EnableTrackCommands();
    ShowWhetherUnsaved();
    return result;
}

void StartPositionSession::SectionClick(int index)
{
    if (!accepted_ || index < 0 || index >= SectionCount)
        return;
    const float start = sections_.SectionStarts[index];
    accepted_->StartPosition = start;
    positionPerMille_ = PerMilleOf(start, trackLengthMetres_);
    view_.ShowStartPositionCaption(
        captions::SectionPositionCaption(sections_.SectionNames[index], start, positionPerMille_));
    SetScrollFromProgram(positionPerMille_);
    ShowWhetherUnsaved();
}

void StartPositionSession::ScrollChange(int value)
{
    if (!scrollChangeEnabled_ || !accepted_)
        return;
    positionPerMille_ = static_cast<float>(value);
    accepted_->StartPosition = StartPositionOfPerMille(positionPerMille_, trackLengthMetres_);
    view_.ShowStartPositionCaption(BarCaption(value));
    ShowWhetherUnsaved();
}

QString StartPositionSession::BarCaption(int value) const
{
    const auto perMille = static_cast<float>(value);
    return captions::ScrollPositionCaption(StartPositionOfPerMille(perMille, trackLengthMetres_), perMille);
}

void StartPositionSession::StartAtMetres(float metres)
{
    if (!accepted_)
        return;
    accepted_->StartPosition = ReduceBeyondTrack(metres, trackLengthMetres_);
    positionPerMille_ = PerMilleOf(accepted_->StartPosition, trackLengthMetres_);
    view_.ShowStartPositionCaption(captions::ScrollPositionCaption(accepted_->StartPosition, positionPerMille_));
    SetScrollFromProgram(positionPerMille_);
    ShowWhetherUnsaved();
}

TrackFileResult
StartPositionSession::WriteStallLine(const std::function<QByteArray(const SessionState &fresh)> &stallLineFor)
{
    SessionState fresh;
    fresh.TrackFolder = accepted_->TrackFolder;
    fresh.TrackFileName = accepted_->TrackFileName;
    fresh.TrackFileBytesPath = accepted_->TrackFileBytesPath;
    fresh.TrackFileIsLink = accepted_->TrackFileIsLink;
    TrackFileResult result = UpdateTrackFile(fresh, [&](SessionState &read) -> TrackFileResult {
        if (!IsSorvenaTrackLength(read.TrackLength))
            return TrackFileOutcome::NotSorvena;
        read.TrackLines[read.StallLineIndex - 1] = stallLineFor(read);
        return TrackFileOutcome::Ok;
    });
    if (result == TrackFileOutcome::Ok) {
        fresh.StartPosition = accepted_->StartPosition;
        accepted_ = std::move(fresh);
    }
    return result;
}

TrackFileResult StartPositionSession::Save()
{
    if (!accepted_)
        return TrackFileOutcome::Cancelled;
    const QByteArray stallLine = SavedStallLine(accepted_->StartPosition);
    TrackFileResult result = WriteStallLine([&](const SessionState &) { return stallLine; });
    if (result == TrackFileOutcome::Ok) {
        fileStartPosition_ = accepted_->StartPosition;
        ShowWhetherUnsaved();
    }
    return result;
}

TrackFileResult StartPositionSession::Revert()
{
    if (!accepted_)
        return TrackFileOutcome::Cancelled;
    // The original line of the file as it was written: another program may have changed it.
    const TrackFileResult result = WriteStallLine([](const SessionState &fresh) { return fresh.OriginalStallLine; });
    if (result != TrackFileOutcome::Ok)
        return result;
    SessionState &track = *accepted_;
    track.StartPosition = OriginalStartPositionValue(track.OriginalStartPosition);
    positionPerMille_ = PerMilleOf(track.StartPosition, trackLengthMetres_);
    view_.ShowStartPositionCaption(captions::OriginalPositionCaption(track.StartPosition, positionPerMille_));
    view_.ShowPlainMap();
    SetScrollFromProgram(positionPerMille_);
    fileStartPosition_ = track.StartPosition;
    ShowWhetherUnsaved();
    return result;
}

bool StartPositionSession::HasUnsavedStart() const
{
    if (!accepted_)
        return false;
    const auto saved = [this](float start) { return WholeMetresText(ReduceBeyondTrack(start, trackLengthMetres_)); };
    return saved(accepted_->StartPosition) != saved(fileStartPosition_);
}

void StartPositionSession::ShowWhetherUnsaved() { view_.ShowUnsavedStart(HasUnsavedStart()); }

void StartPositionSession::SetScrollFromProgram(float perMille)
{
    const int value = ScrollValueOf(perMille);
    scrollChangeEnabled_ = false;
    view_.SetStartPositionBar(value);
    scrollChangeEnabled_ = true;
}

} // namespace korsa
