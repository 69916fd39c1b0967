#pragma once

#include "platform/ProgramFolder.h"

#include <QByteArray>
#include <QString>

namespace korsa {

// The window's size as chosen in Options (Larger Window, Smaller Window, Fit to Screen): a factor on
// the size it takes with nothing chosen, or the largest that fits the screen.
struct WindowSizeChoice {
    bool fitToScreen = false;
    double factor = 1.0;

    bool IsLayoutSize() const { return !fitToScreen && factor == 1.0; }
    bool operator==(const WindowSizeChoice &) const = default;
};

// What the settings file keeps between runs.
struct RememberedSettings {
    // The folder of the last accepted track file; the program's folder when there is no file.
    QString trackFolder;
    // The last accepted track file's name in that folder; empty when none is remembered.
    QString trackFileName;
    bool trackAnnouncer = false;
    WindowSizeChoice windowSize;
};

// The settings file "Korsa Gridwell.ini". Its first line is the folder of the last accepted track
// file, so a copy of the program that reads only that line still finds the folder; the lines after
// it are "file=" with that file's name, "announcer=on" while the Track Announcer is on, and
// "window=" with the window size chosen ("fit", or the factor with "." as its decimal point) unless
// it is the layout's own.
// It lives beside a copy of the program in a writable folder of its own; for an installed program,
// or where the program's folder cannot be written, in the user's configuration folder (on Windows the
// application-data folder, PerUserSettingsFolder) instead, and
// from then on that per-user file is the one read and written.
class SettingsFile
{
public:
    // installFolder: where an installed program lives (see KeepsFilesBesideItself).
    explicit SettingsFile(QString programFolder, QString installFolder = InstalledProgramFolder());

    QString BesideProgramPath() const;
    QString PerUserPath() const;

    // The per-user file, else the file beside the program. Anything but a regular file of sane size
    // counts as absent.
    RememberedSettings Read() const;
    // Each keeps what the file holds besides. Never reports.
    void RememberTrack(const QString &trackFolder, const QString &trackFileName) const;
    void RememberTrackAnnouncer(bool on) const;
    void RememberWindowSize(const WindowSizeChoice &choice) const;

private:
    // Beside the program when it keeps its files beside itself and there is no per-user file yet,
    // else per user; a file that already holds these bytes is left alone.
    void Write(const QByteArray &content) const;

    QString programFolder_;
    QString installFolder_;
};

} // namespace korsa
