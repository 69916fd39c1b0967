#include "session/StartPositionSession.h"

#include "session/Captions.h"
#include "session/Numbers.h"
#include "track_file/TrackIniFileReader.h"

#include <limits>

namespace korsa {

StartPositionSession::StartPositionSession(SessionState &state, Platform &platform, SessionView &view,
                                           const SettingsFile *settings)
    : state_(state), platform_(platform), view_(view), settings_(settings)
{
    FillSectionNames(sections_);
}

StartPositionSession::Selection StartPositionSession::AcceptChosenTrack()
{
    if (state_.TrackFileName.isEmpty())
        return Selection::Cancelled;

    const bool read = ReadTrackFile(state_, platform_);
    if (!IsSorvenaTrackLength(state_.TrackLength) || (!read && !accepted_)) {
        platform_.ShowMessage(captions::NotSorvenaText, captions::NotSorvenaCaption);
        return Selection::Refused;
    }
    // A chosen file that vanished before it was read leaves the last accepted one in charge.
    if (read)
        accepted_ = state_;
    SessionState &track = *accepted_;

    if (settings_)
        settings_->WriteTrackFolder(state_.TrackFolder);
    trackLengthMetres_ = TrackLengthInMetres(track.TrackLength);
    view_.SetLabel1(captions::TrackLengthCaption(track.TrackNameShort, trackLengthMetres_));
    track.StartPosition = ReduceBeyondTrack(track.StartPosition, trackLengthMetres_);
    positionPerMille_ = PerMilleOf(track.StartPosition, trackLengthMetres_);
    view_.SetLabel2(captions::SelectedPositionCaption(track.StartPosition, positionPerMille_));
    SetScrollFromProgram(positionPerMille_);
    view_.ShowPlainMap();
    view_.EnableTrackCommands();
    return Selection::Accepted;
}

void StartPositionSession::SectionClick(int index)
{
    if (!accepted_ || index < 0 || index >= SectionCount)
        return;
    const float start = sections_.SectionStarts[index];
    accepted_->StartPosition = start;
    positionPerMille_ = PerMilleOf(start, trackLengthMetres_);
    view_.SetLabel2(captions::SectionPositionCaption(sections_.SectionNames[index], start, positionPerMille_));
    SetScrollFromProgram(positionPerMille_);
}

void StartPositionSession::ScrollChange(int value)
{
    if (!scrollChangeEnabled_ || !accepted_)
        return;
    const float perMille = static_cast<float>(value);
    if (perMille == lastScrollValue_)
        return;
    positionPerMille_ = perMille;
    lastScrollValue_ = perMille;
    accepted_->StartPosition = StartPositionOfPerMille(positionPerMille_, trackLengthMetres_);
    view_.SetLabel2(captions::ScrollPositionCaption(accepted_->StartPosition, positionPerMille_));
}

void StartPositionSession::Save()
{
    if (!accepted_)
        return;
    SessionState &track = *accepted_;
    track.TrackLines[track.StallLineIndex - 1] = SavedStallLine(track.StartPosition);
    WriteTrackFile(track, platform_);
}

void StartPositionSession::Revert()
{
    if (!accepted_)
        return;
    SessionState &track = *accepted_;
    track.TrackLines[track.StallLineIndex - 1] = track.OriginalStallLine;
    WriteTrackFile(track, platform_);
    track.StartPosition = OriginalStartPositionValue(track.OriginalStartPosition);
    positionPerMille_ = PerMilleOf(track.StartPosition, trackLengthMetres_);
    view_.SetLabel2(captions::OriginalPositionCaption(track.StartPosition, positionPerMille_));
    view_.ShowPlainMap();
    SetScrollFromProgram(positionPerMille_);
}

void StartPositionSession::ForgetLastScrollValue()
{
    lastScrollValue_ = std::numeric_limits<float>::quiet_NaN();
}

void StartPositionSession::SetScrollFromProgram(float perMille)
{
    const int value = ScrollValueOf(perMille);
    scrollChangeEnabled_ = false;
    view_.SetScrollValue(value);
    scrollChangeEnabled_ = true;
    // The bar now stands here: a user's move away from it, even back to the value the handler last
    // acted on, is a real move.
    lastScrollValue_ = static_cast<float>(value);
}

} // namespace korsa
