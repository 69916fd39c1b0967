#pragma once

#include "session/Sections.h"
#include "session/SettingsFile.h"
#include "track_file/SessionState.h"
#include "track_file/TrackFileOutcome.h"

#include <QString>

#include <functional>
#include <optional>

namespace korsa {

// What the session shows; the main window and the command-line tool each show it their own way.
class SessionView
{
public:
    virtual ~SessionView() = default;
    virtual void ShowTrackLengthCaption(const QString &caption) = 0;
    virtual void ShowStartPositionCaption(const QString &caption) = 0;
    // Sets the scroll bar; a different value raises its change handler at once, as the bar does.
    virtual void SetStartPositionBar(int value) = 0;
    virtual void ShowPlainMap() = 0;
    // Enables Save and Revert (menu and buttons), the scroll bar and the nine section pictures.
    virtual void EnableTrackCommands() = 0;
    // Told after every change of the start shown or of the file's: whether the start shown is one the
    // file does not hold yet (see HasUnsavedStart).
    virtual void ShowUnsavedStart(bool /*unsaved*/) {}
};

// Reads TrackFolder/TrackFileName as a chosen file is read, and tells the Sorvena track's file from
// any other: Ok, Missing, Unreadable or NotSorvena. Only Ok changes the state.
TrackFileResult ReadSorvenaTrackFile(SessionState &state);

// The start-position logic of the main window: accepting a chosen track file, the section clicks,
// the scroll bar, Save and Revert. A command that fails reports its outcome and changes nothing:
// neither what the view shows nor the file on disk.
class StartPositionSession
{
public:
    // settings may be null: the file is then never written.
    StartPositionSession(SessionState &state, SessionView &view, const SettingsFile *settings);

    const SectionTable &Sections() const { return sections_; }

    // Everything after the finder has closed and left its choice in TrackFolder / TrackFileName:
    // Ok when the file is accepted, else Cancelled, Missing, Unreadable or NotSorvena.
    TrackFileResult AcceptChosenTrack();
    void SectionClick(int index);
    // The bar reports only changes, and the program's own settings of it are ignored, so every
    // value that arrives here is a user's move: even one back onto a value a click or Revert set.
    void ScrollChange(int value);
    // The second status line a move of the bar to `value` shows.
    QString BarCaption(int value) const;
    // Puts the start a typed distance beyond the start line (the command-line tool, the typed start
    // and its nudges); a distance beyond the lap is taken round it, as an accepted file's start is.
    void StartAtMetres(float metres);
    // Both act on the accepted file as it is on disk now, read again by the same rules, so a change
    // another program made meanwhile is kept: Ok, Unreadable, NotSorvena or SaveFailed
    // (also for a file that has gone).
    TrackFileResult Save();
    TrackFileResult Revert();

    // The last accepted track file as Save and Revert act on it.
    bool HasAcceptedTrack() const { return accepted_.has_value(); }
    const SessionState &AcceptedTrack() const { return *accepted_; }
    // True while the start shown differs from the file's stall_0 number as the trainer last read or
    // wrote it: compared as the whole metres Save writes, each taken round the lap as an accepted
    // file's start is. So a file's start beyond the lap, taken round it on acceptance, is nothing
    // unsaved, and neither is a fraction of a metre that Save would drop.
    bool HasUnsavedStart() const;
    float PositionPerMille() const { return positionPerMille_; }
    float TrackLengthMetres() const { return trackLengthMetres_; }

private:
    // Writes the accepted file, as it is on disk now, with the stall_0 line made for it (still the
    // Sorvena track's file, or NotSorvena) and, on success, makes it the accepted file: the state as
    // written, the start position the one shown.
    TrackFileResult WriteStallLine(const std::function<QByteArray(const SessionState &fresh)> &stallLineFor);
    void SetScrollFromProgram(float perMille);
    void ShowWhetherUnsaved();

    SessionState &state_;
    SessionView &view_;
    const SettingsFile *settings_;
    SectionTable sections_;
    // Save and Revert only ever write this file: a refused or vanished choice never replaces it.
    std::optional<SessionState> accepted_;
    float trackLengthMetres_ = 0.0f;
    float positionPerMille_ = 0.0f;
    bool scrollChangeEnabled_ = false;
    // The start position in the file's stall_0 line, as last read or written.
    float fileStartPosition_ = 0.0f;
};

} // namespace korsa
