#pragma once

#include <QByteArray>
#include <QString>

namespace korsa::captions {

inline const QString ProgramTitle = QStringLiteral("Korsa Sorvena Trainer");
inline const QString WelcomeLine1 = QStringLiteral("Welcome to Korsa Sorvena Trainer.");
inline const QString WelcomeLine2 = QStringLiteral("Please select your Sorvena track.ini file.");
inline const QString ScreenTooSmallText =
    QStringLiteral("Korsa Sorvena Trainer does not support screen resolutions less than 800x600.  You should increase "
                   "your screen resolution if possible.");

// "v1.0.0 by Penhallow"
QString AboutText();

// First status line once a track file is accepted.
QString TrackLengthCaption(const QByteArray &trackNameShort, float trackLengthMetres);
// Second status line after a track file is accepted.
QString SelectedPositionCaption(float startPosition, float perMille);
// Second status line after a click on a section.
QString SectionPositionCaption(const QString &sectionName, float sectionStart, float perMille);
// Second status line after a move of the scroll bar.
QString ScrollPositionCaption(float startPosition, float perMille);
// Second status line after Revert (it has no full stop).
QString OriginalPositionCaption(float startPosition, float perMille);

} // namespace korsa::captions
