#pragma once

#include "platform/ProgramFolder.h"

#include <QString>

namespace korsa {

// The one-line settings file "Korsa Gridwell.ini": the folder of the last accepted track file.
// It lives beside a copy of the program in a writable folder of its own; for an installed program,
// or where the program's folder cannot be written, in the user's configuration folder instead, and
// from then on that per-user file is the one read and written.
class SettingsFile
{
public:
    // installFolder: where an installed program lives (see KeepsFilesBesideItself).
    explicit SettingsFile(QString programFolder, QString installFolder = InstalledProgramFolder());

    QString BesideProgramPath() const;
    QString PerUserPath() const;

    // TrackFolder at start-up: the first line of the per-user file, else of the file beside the
    // program, else the program's folder. Anything but a regular file of sane size counts as absent.
    QString ReadTrackFolder() const;
    // Writes the folder and CR LF: beside the program when it keeps its files beside itself and
    // there is no per-user file yet, else per user. Never reports.
    void WriteTrackFolder(const QString &trackFolder) const;

private:
    QString programFolder_;
    QString installFolder_;
};

} // namespace korsa
