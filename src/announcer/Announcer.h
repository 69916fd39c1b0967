#pragma once

#include <QAudioDevice>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <memory>

class QAudioSink;
class QIODevice;

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

    // Gets the sound output ready ahead of the first announcement, which then starts at once.
    void PrepareOutput();

    // What the announcement playing was started from: empty before the first, after StopSound,
    // and when the player's file for the section cannot be played.
    QUrl CurrentSource() const;

private:
    void Feed();

    QString programFolder_;
    // The output, kept between announcements, and the device it plays on.
    std::unique_ptr<QAudioSink> sink_;
    QAudioDevice sinkDevice_;
    // The announcement playing: the stream it is written to, its samples, how many of them the
    // server has, and where they came from.
    QIODevice *output_ = nullptr;
    QByteArray samples_;
    qsizetype written_ = 0;
    QTimer feeder_;
    QUrl source_;
};

} // namespace korsa
