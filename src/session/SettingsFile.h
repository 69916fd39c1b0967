#pragma once

#include <QString>

namespace korsa {

// The one-line settings file "Korsa Gridwell.ini": the folder of the last accepted track file.
// It lives beside the program; where the program's folder cannot be written, in the user's
// configuration folder instead.
class SettingsFile
{
public:
    explicit SettingsFile(QString programFolder);

    QString BesideProgramPath() const;
    QString PerUserPath() const;

    // TrackFolder at start-up: the first line of the file beside the program, else of the per-user
    // file, else the program's folder. A file that cannot be opened counts as absent.
    QString ReadTrackFolder() const;
    // Writes the folder and CR LF, beside the program if it can, else per user. Never reports.
    void WriteTrackFolder(const QString &trackFolder) const;

private:
    QString programFolder_;
};

} // namespace korsa
