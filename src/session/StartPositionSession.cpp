#include "session/StartPositionSession.h"

#include "session/Captions.h"
#include "session/Numbers.h"
#include "track_file/TrackFileWriter.h"
#include "track_file/TrackIniFileReader.h"

namespace korsa {

StartPositionSession::StartPositionSession(SessionState &state, SessionView &view, const SettingsFile *settings)
    : state_(state), view_(view), settings_(settings)
{
    FillSectionNames(sections_);
}

TrackFileOutcome StartPositionSession::AcceptChosenTrack()
{
    if (state_.TrackFileName.isEmpty())
        return TrackFileOutcome::Cancelled;

    // Read into a copy: a refused or vanished choice leaves everything as it was.
    SessionState read = state_;
    if (const TrackFileOutcome outcome = ReadTrackFile(read); outcome != TrackFileOutcome::Ok)
        return outcome;
    if (!IsSorvenaTrackLength(read.TrackLength))
        return TrackFileOutcome::NotSorvena;
    state_ = read;
    accepted_ = std::move(read);
    SessionState &track = *accepted_;

    if (settings_)
        settings_->WriteTrackFolder(state_.TrackFolder);
    trackLengthMetres_ = TrackLengthInMetres(track.TrackLength);
    view_.ShowTrackLengthCaption(captions::TrackLengthCaption(track.TrackNameShort, trackLengthMetres_));
    track.StartPosition = ReduceBeyondTrack(track.StartPosition, trackLengthMetres_);
    positionPerMille_ = PerMilleOf(track.StartPosition, trackLengthMetres_);
    view_.ShowStartPositionCaption(captions::SelectedPositionCaption(track.StartPosition, positionPerMille_));
    SetScrollFromProgram(positionPerMille_);
    view_.ShowPlainMap();
    view_.EnableTrackCommands();
    return TrackFileOutcome::Ok;
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
}

void StartPositionSession::ScrollChange(int value)
{
    if (!scrollChangeEnabled_ || !accepted_)
        return;
    positionPerMille_ = static_cast<float>(value);
    accepted_->StartPosition = StartPositionOfPerMille(positionPerMille_, trackLengthMetres_);
    view_.ShowStartPositionCaption(captions::ScrollPositionCaption(accepted_->StartPosition, positionPerMille_));
}

void StartPositionSession::StartAtMetres(float metres)
{
    if (!accepted_)
        return;
    accepted_->StartPosition = ReduceBeyondTrack(metres, trackLengthMetres_);
    positionPerMille_ = PerMilleOf(accepted_->StartPosition, trackLengthMetres_);
    view_.ShowStartPositionCaption(captions::ScrollPositionCaption(accepted_->StartPosition, positionPerMille_));
    SetScrollFromProgram(positionPerMille_);
}

TrackFileOutcome StartPositionSession::ReadAcceptedAgain(SessionState &fresh) const
{
    fresh.TrackFolder = accepted_->TrackFolder;
    fresh.TrackFileName = accepted_->TrackFileName;
    const TrackFileOutcome outcome = ReadTrackFile(fresh);
    if (outcome == TrackFileOutcome::Ok && !IsSorvenaTrackLength(fresh.TrackLength))
        return TrackFileOutcome::NotSorvena;
    return outcome;
}

TrackFileOutcome StartPositionSession::WriteWithStallLine(SessionState &fresh, const QByteArray &stallLine)
{
    fresh.TrackLines[fresh.StallLineIndex - 1] = stallLine;
    const TrackFileOutcome outcome = WriteTrackFile(fresh);
    if (outcome == TrackFileOutcome::Ok) {
        // What is on disk now is the accepted file; the start position stays the one shown.
        fresh.StartPosition = accepted_->StartPosition;
        accepted_ = std::move(fresh);
    }
    return outcome;
}

TrackFileOutcome StartPositionSession::Save()
{
    if (!accepted_)
        return TrackFileOutcome::Cancelled;
    SessionState fresh;
    if (const TrackFileOutcome outcome = ReadAcceptedAgain(fresh); outcome != TrackFileOutcome::Ok)
        return outcome;
    return WriteWithStallLine(fresh, SavedStallLine(accepted_->StartPosition));
}

TrackFileOutcome StartPositionSession::Revert()
{
    if (!accepted_)
        return TrackFileOutcome::Cancelled;
    SessionState fresh;
    if (const TrackFileOutcome outcome = ReadAcceptedAgain(fresh); outcome != TrackFileOutcome::Ok)
        return outcome;
    const QByteArray original = fresh.OriginalStallLine;
    const QByteArray originalStart = fresh.OriginalStartPosition;
    if (const TrackFileOutcome outcome = WriteWithStallLine(fresh, original); outcome != TrackFileOutcome::Ok)
        return outcome;
    SessionState &track = *accepted_;
    track.StartPosition = OriginalStartPositionValue(originalStart);
    positionPerMille_ = PerMilleOf(track.StartPosition, trackLengthMetres_);
    view_.ShowStartPositionCaption(captions::OriginalPositionCaption(track.StartPosition, positionPerMille_));
    view_.ShowPlainMap();
    SetScrollFromProgram(positionPerMille_);
    return TrackFileOutcome::Ok;
}

void StartPositionSession::SetScrollFromProgram(float perMille)
{
    const int value = ScrollValueOf(perMille);
    scrollChangeEnabled_ = false;
    view_.SetStartPositionBar(value);
    scrollChangeEnabled_ = true;
}

} // namespace korsa
