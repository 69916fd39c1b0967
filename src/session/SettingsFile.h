#pragma once

#include <QString>

namespace korsa {

// The one-line settings file "Korsa Gridwell.ini": the folder of the last accepted track file.
// It lives beside the program; where the program's folder cannot be written, in the user's
// configuration folder instead, and from then on that per-user file is the one read and written.
class SettingsFile
{
public:
    explicit SettingsFile(QString programFolder);

    QString BesideProgramPath() const;
    QString PerUserPath() const;

    // TrackFolder at start-up: the first line of the per-user file, else of the file beside the
    // program, else the program's folder. Anything but a regular file of sane size counts as absent.
    QString ReadTrackFolder() const;
    // Writes the folder and CR LF: per user when that file exists or the program's folder cannot
    // be written, else beside the program. Never reports.
    void WriteTrackFolder(const QString &trackFolder) const;

private:
    QString programFolder_;
};

} // namespace korsa
