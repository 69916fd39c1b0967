#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

namespace korsa {

class SoundOutput;

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
    // The sound output, created when a sound is first wanted; null when the sound module cannot
    // be loaded, which leaves every announcement silent.
    SoundOutput *Output();

    QString programFolder_;
    std::unique_ptr<SoundOutput> output_;
    bool outputCreated_ = false;
    // Where the announcement playing came from.
    QUrl source_;
};

} // namespace korsa
