#pragma once

#include <QBuffer>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class QAudioSink;

namespace korsa {

// Speaks the announcement of a training section. A player may replace a section's announcement
// with "<programFolder>/Track Sounds/TrackSound <i>.wav"; otherwise the embedded sound plays.
// At most one announcement plays at a time, and nothing is ever reported to the user.
class Announcer : public QObject
{
    Q_OBJECT

public:
    explicit Announcer(const QString &programFolder, QObject *parent = nullptr);
    ~Announcer() override;

    // The player's announcement file for section i: "<folder>/Track Sounds/TrackSound <i>.wav".
    QString SoundFilePath(int i) const;

    // Starts the announcement of section i and returns at once, stopping the one still playing.
    // The file is looked for at every call. A file that exists but cannot be played leaves the
    // announcement silent; the embedded sound does not stand in for it.
    void PlaySectionSound(int i);

    // Stops the announcement that is playing, if any.
    void StopSound();

    // What the announcement playing was started from: empty before the first, after StopSound,
    // and when the player's file for the section cannot be played.
    QUrl CurrentSource() const;

private:
    QString programFolder_;
    // The announcement playing: its output, the samples it reads, and where they came from.
    std::unique_ptr<QAudioSink> sink_;
    QBuffer samples_;
    QUrl source_;
};

} // namespace korsa
