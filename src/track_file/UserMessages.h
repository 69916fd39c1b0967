#pragma once

#include "track_file/TrackFileOutcome.h"

#include <QString>

#include <optional>

namespace korsa {

namespace messages {
inline const QString FileLocationText = QStringLiteral("Could not find the Track.ini File");
inline const QString FileLocationCaption = QStringLiteral("File Location Error");
inline const QString FileReadText =
    QStringLiteral("There is an unknown error in the Track.ini file probably caused by a nonstandard format.");
inline const QString FileReadCaption = QStringLiteral("File Read Error");
inline const QString NotSorvenaText = QStringLiteral("This is not a Sorvena track.ini file.  Please try again.");
inline const QString FileSaveText =
    QStringLiteral("There was an error while attempting to save the Track.ini file.  Check that the file is not marked "
                   "Read Only.");
inline const QString FileSaveCaption = QStringLiteral("File Save Error");
} // namespace messages

struct UserMessage {
    QString text;
    QString caption;
    // What went wrong, in one sentence, or empty.
    QString cause;

    // The text, and the cause on a line of its own under it.
    QString Body() const { return cause.isEmpty() ? text : text + QLatin1Char('\n') + cause; }
};

// The message a failed command shows; nothing for a command that succeeded or was cancelled.
inline std::optional<UserMessage> MessageFor(const TrackFileResult &result)
{
    switch (result.outcome) {
    case TrackFileOutcome::Missing:
        return UserMessage{messages::FileLocationText, messages::FileLocationCaption, result.cause};
    case TrackFileOutcome::Unreadable:
        return UserMessage{messages::FileReadText, messages::FileReadCaption, result.cause};
    case TrackFileOutcome::NotSorvena:
        return UserMessage{messages::NotSorvenaText, messages::FileReadCaption, result.cause};
    case TrackFileOutcome::SaveFailed:
        return UserMessage{messages::FileSaveText, messages::FileSaveCaption, result.cause};
    case TrackFileOutcome::Ok:
    case TrackFileOutcome::Cancelled:
        break;
    }
    return std::nullopt;
}

} // namespace korsa
